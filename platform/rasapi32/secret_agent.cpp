// SPDX-License-Identifier: MIT
#include "platform/rasapi32/secret_agent.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>

namespace nmras {
namespace {

const QString kAgentPath = QStringLiteral("/org/freedesktop/NetworkManager/SecretAgent");
const QString kAgentManagerPath = QStringLiteral("/org/freedesktop/NetworkManager/AgentManager");
const QString kAgentManagerInterface = QStringLiteral("org.freedesktop.NetworkManager.AgentManager");
const QString kIdentifier = QStringLiteral("org.dirweigh.rasapi32");
const QString kNoSecrets = QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.NoSecrets");
const QString kPermissionDenied = QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.PermissionDenied");

// The key a VPN plugin reads its password from, where it is not "password":
// vpnc's is the XAUTH one, openconnect's the password field of the login
// form its authentication dialog would have filled in.
QString VpnPasswordKey(const Settings& connection) {
    const QString service = connection.value(QStringLiteral("vpn")).value(QStringLiteral("service-type")).toString();
    if (service == QStringLiteral("org.freedesktop.NetworkManager.vpnc")) return QStringLiteral("Xauth password");
    if (service == QStringLiteral("org.freedesktop.NetworkManager.openconnect")) {
        return QStringLiteral("form:main:password");
    }
    return QStringLiteral("password");
}

// Where the password goes in the setting NetworkManager asks for: a
// Wi-Fi key is a "psk", a VPN plugin keeps its secrets in a map of its own
// under a key of its own, and the rest (mobile broadband, PPPoE, 802.1X)
// call it "password". A hint names the key the caller expects where it
// gives one.
Settings SecretsFor(const Settings& connection, const QString& setting, const QStringList& hints,
                    const QString& password) {
    QString key = setting == QStringLiteral("802-11-wireless-security") ? QStringLiteral("psk")
                  : setting == QStringLiteral("vpn")                    ? VpnPasswordKey(connection)
                                                                        : QStringLiteral("password");
    for (const QString& hint : hints) {
        if (!hint.startsWith(QStringLiteral("x-vpn-message:"))) {
            key = hint;
            break;
        }
    }
    Settings secrets;
    if (setting == QStringLiteral("vpn")) {
        const QMap<QString, QString> vpnSecrets{{key, password}};
        secrets[setting][QStringLiteral("secrets")] = QVariant::fromValue(vpnSecrets);
    } else {
        secrets[setting][key] = password;
    }
    return secrets;
}

}  // namespace

SecretAgent::SecretAgent() {
    qDBusRegisterMetaType<Settings>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
}

// Never destroyed: the library stays loaded for the life of the process.
SecretAgent& SecretAgent::The() {
    static SecretAgent* agent = new SecretAgent;
    return *agent;
}

void SecretAgent::Offer(const QString& profilePath, const QString& password) {
    offered_[profilePath] = Offered{password, false};
    Register();
}

void SecretAgent::Withdraw(const QString& profilePath) {
    if (offered_.erase(profilePath) && offered_.empty()) Unregister();
}

bool SecretAgent::Register() {
    auto bus = SystemBus();
    if (!bus) return false;
    if (registeredOn_ == bus->name()) return true;
    bus->registerObject(kAgentPath, this, QDBusConnection::ExportAllSlots);
    const QDBusMessage reply =
        Call(kAgentManagerPath, kAgentManagerInterface, QStringLiteral("Register"), {kIdentifier});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus->unregisterObject(kAgentPath);
        return false;
    }
    registeredOn_ = bus->name();
    return true;
}

void SecretAgent::Unregister() {
    auto bus = SystemBus();
    if (!bus || registeredOn_ != bus->name()) {
        registeredOn_.clear();
        return;
    }
    Call(kAgentManagerPath, kAgentManagerInterface, QStringLiteral("Unregister"));
    bus->unregisterObject(kAgentPath);
    registeredOn_.clear();
}

// The agent's object is on the system bus, where any client may call it:
// only the one that owns NetworkManager's name now is NetworkManager.
bool SecretAgent::AskedByNetworkManager() const {
    const QDBusConnectionInterface* bus = connection().interface();
    if (!bus) return false;
    const QDBusReply<QString> owner = bus->serviceOwner(kService);
    return owner.isValid() && owner.value() == message().service();
}

// Once per activation: a second request from NetworkManager means it found
// the password wrong, and giving it again would only repeat the failure.
// Anyone else is refused without using the answer up.
Settings SecretAgent::GetSecrets(const Settings& connection, const QDBusObjectPath& path, const QString& setting,
                                 const QStringList& hints, uint) {
    if (!AskedByNetworkManager()) {
        sendErrorReply(kPermissionDenied, QStringLiteral("only NetworkManager is given the password"));
        return {};
    }
    auto it = offered_.find(path.path());
    if (it == offered_.end() || it->second.given) {
        sendErrorReply(kNoSecrets, QStringLiteral("no password was given for this connection"));
        return {};
    }
    it->second.given = true;
    return SecretsFor(connection, setting, hints, it->second.password);
}

void SecretAgent::CancelGetSecrets(const QDBusObjectPath&, const QString&) {}
// Nothing is ever stored, so there is nothing to save or delete.
void SecretAgent::SaveSecrets(const Settings&, const QDBusObjectPath&) {}
void SecretAgent::DeleteSecrets(const Settings&, const QDBusObjectPath&) {}

}  // namespace nmras
