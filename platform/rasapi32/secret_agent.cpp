// SPDX-License-Identifier: MIT
#include "platform/rasapi32/secret_agent.h"

#include <QDBusMetaType>

namespace nmras {
namespace {

const QString kAgentPath = QStringLiteral("/org/freedesktop/NetworkManager/SecretAgent");
const QString kAgentManagerPath = QStringLiteral("/org/freedesktop/NetworkManager/AgentManager");
const QString kAgentManagerInterface = QStringLiteral("org.freedesktop.NetworkManager.AgentManager");
const QString kIdentifier = QStringLiteral("org.dirweigh.rasapi32");
const QString kNoSecrets = QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.NoSecrets");

// Where the password goes in the setting NetworkManager asks for: a
// Wi-Fi key is a "psk", a VPN plugin keeps its secrets in a map of its own,
// and the rest (mobile broadband, PPPoE, 802.1X) call it "password". A hint
// names the key the caller expects where it gives one.
Settings SecretsFor(const QString& setting, const QStringList& hints, const QString& password) {
    QString key =
        setting == QStringLiteral("802-11-wireless-security") ? QStringLiteral("psk") : QStringLiteral("password");
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

// Once per activation: a second request means NetworkManager found the
// password wrong, and giving it again would only repeat the failure.
Settings SecretAgent::GetSecrets(const Settings&, const QDBusObjectPath& path, const QString& setting,
                                 const QStringList& hints, uint) {
    auto it = offered_.find(path.path());
    if (it == offered_.end() || it->second.given) {
        sendErrorReply(kNoSecrets, QStringLiteral("no password was given for this connection"));
        return {};
    }
    it->second.given = true;
    return SecretsFor(setting, hints, it->second.password);
}

void SecretAgent::CancelGetSecrets(const QDBusObjectPath&, const QString&) {}
// Nothing is ever stored, so there is nothing to save or delete.
void SecretAgent::SaveSecrets(const Settings&, const QDBusObjectPath&) {}
void SecretAgent::DeleteSecrets(const Settings&, const QDBusObjectPath&) {}

}  // namespace nmras
