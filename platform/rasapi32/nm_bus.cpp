// SPDX-License-Identifier: MIT
#include "platform/rasapi32/nm_bus.h"

#include "platform/rasapi32/errors.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <functional>

namespace nmras {
namespace {

// NetworkManager answers these at once; a bus that does not answer within
// this is treated as one without NetworkManager rather than hanging the
// program's only thread for long.
constexpr int kCallTimeoutMs = 5000;

// Settings.Connection flags of the profiles NetworkManager made itself: the
// loopback's, and those that stand for a device set up outside it (a VPN's
// own tun device, a bridge of a container runtime).
constexpr std::uint32_t kGenerated = 0x2;
constexpr std::uint32_t kExternal = 0x8;

// Nobody dials those: they are no entries, and would only crowd out the
// real ones. A NetworkManager too old to have the flags made none.
bool MadeByNetworkManager(const QString& path) {
    const auto flags = Property(path, kProfileInterface, QStringLiteral("Flags"));
    return flags && (flags->toUInt() & (kGenerated | kExternal)) != 0;
}

// The one profile of `candidates` that `same` matches; `ambiguous` when
// more than one does.
const Profile* OnlyMatch(const QList<Profile>& candidates, const std::function<bool(const QString&)>& same,
                         bool& ambiguous) {
    const Profile* found = nullptr;
    for (const Profile& profile : candidates) {
        if (!same(profile.Id())) continue;
        ambiguous = found != nullptr;
        if (ambiguous) return nullptr;
        found = &profile;
    }
    return found;
}

}  // namespace

// A connection of our own rather than Qt's shared system bus: the shared one
// is made once per process, while the bus a user (or a test) names in
// DBUS_SYSTEM_BUS_ADDRESS may change, and a bus that went away must be
// reached again when it is back.
std::optional<QDBusConnection> SystemBus() {
    static QString name;
    static QByteArray address;
    static int serial = 0;
    const QByteArray now = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!name.isEmpty()) {
        QDBusConnection existing(name);
        if (now == address && existing.isConnected()) return existing;
        QDBusConnection::disconnectFromBus(name);
        name.clear();
    }
    address = now;
    const QString fresh = QStringLiteral("dirweigh-rasapi32-%1").arg(++serial);
    QDBusConnection bus = now.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, fresh)
                                        : QDBusConnection::connectToBus(QString::fromUtf8(now), fresh);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(fresh);
        return std::nullopt;
    }
    name = fresh;
    return bus;
}

bool NetworkManagerPresent() {
    auto bus = SystemBus();
    if (!bus || !bus->interface()) return false;
    const QDBusReply<bool> registered = bus->interface()->isServiceRegistered(kService);
    return registered.isValid() && registered.value();
}

// A NetworkManager that is installed but stopped is not started just
// because someone asked for its entries: it counts as not there.
QDBusMessage MethodCall(const QString& path, const QString& interface, const QString& method,
                        const QList<QVariant>& args) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(args);
    message.setAutoStartService(false);
    return message;
}

QDBusMessage Call(const QString& path, const QString& interface, const QString& method, const QList<QVariant>& args) {
    auto bus = SystemBus();
    if (!bus) return QDBusMessage::createError(QDBusError::Disconnected, QStringLiteral("there is no system bus"));
    return bus->call(MethodCall(path, interface, method, args), QDBus::Block, kCallTimeoutMs);
}

std::optional<QVariant> Property(const QString& path, const QString& interface, const QString& name) {
    const QDBusMessage reply =
        Call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    return reply.arguments().first().value<QDBusVariant>().variant();
}

QList<QString> ObjectPaths(const QVariant& value) {
    QList<QDBusObjectPath> paths;
    if (value.canConvert<QDBusArgument>()) {
        value.value<QDBusArgument>() >> paths;
    } else {
        paths = value.value<QList<QDBusObjectPath>>();
    }
    QList<QString> out;
    for (const QDBusObjectPath& path : paths) out.append(path.path());
    return out;
}

bool Profiles(QList<Profile>& profiles, QDBusMessage& error) {
    profiles.clear();
    const QDBusMessage list = Call(kSettingsPath, kSettingsInterface, QStringLiteral("ListConnections"));
    if (list.type() != QDBusMessage::ReplyMessage || list.arguments().isEmpty()) {
        error = list;
        return false;
    }
    for (const QString& path : ObjectPaths(list.arguments().first())) {
        const QDBusMessage reply = Call(path, kProfileInterface, QStringLiteral("GetSettings"));
        // A profile removed between the two calls is simply not there.
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) continue;
        if (MadeByNetworkManager(path)) continue;
        Profile profile{path, {}};
        reply.arguments().first().value<QDBusArgument>() >> profile.settings;
        profiles.append(profile);
    }
    return true;
}

// Entry names are chosen without regard to case by the dial-up component,
// so a name in other letters still finds its profile where no profile has
// it as written.
std::uint32_t ProfileNamed(const QString& id, Profile& profile) {
    QList<Profile> profiles;
    QDBusMessage error;
    if (!Profiles(profiles, error)) return RefusalError(error);
    bool ambiguous = false;
    const Profile* found = OnlyMatch(
        profiles, [&id](const QString& name) { return name == id; }, ambiguous);
    if (!found && !ambiguous) {
        found = OnlyMatch(
            profiles, [&id](const QString& name) { return name.compare(id, Qt::CaseInsensitive) == 0; }, ambiguous);
    }
    if (ambiguous) return kErrorAmbiguousEntry;
    if (!found) return kErrorEntryNotFound;
    profile = *found;
    return 0;
}

}  // namespace nmras
