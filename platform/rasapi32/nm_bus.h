// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMap>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

// NetworkManager on the system bus, as the dial-up functions need it: short
// blocking calls (the caller is the program's one thread, and NetworkManager
// answers at once), its properties, and its connection profiles.
namespace nmras {

inline const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
inline const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
inline const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
inline const QString kManagerInterface = QStringLiteral("org.freedesktop.NetworkManager");
inline const QString kSettingsInterface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
inline const QString kProfileInterface = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
inline const QString kActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
inline const QString kIp4Interface = QStringLiteral("org.freedesktop.NetworkManager.IP4Config");

using Settings = QMap<QString, QVariantMap>;

// The system bus that DBUS_SYSTEM_BUS_ADDRESS names now (the standard one
// when it is unset); none when there is no bus to reach.
std::optional<QDBusConnection> SystemBus();

// True when NetworkManager owns its name on the bus. Asked of the bus
// itself, so a system that could start NetworkManager on demand is not
// made to start it.
bool NetworkManagerPresent();

QDBusMessage MethodCall(const QString& path, const QString& interface, const QString& method,
                        const QList<QVariant>& args = {});
// A method call on NetworkManager; an error reply is returned as it came.
QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                  const QList<QVariant>& args = {});
std::optional<QVariant> Property(const QString& path, const QString& interface, const QString& name);

// Every connection profile that someone made, with its settings (secrets
// are never asked for).
struct Profile {
    QString path;
    Settings settings;
    QString Id() const { return settings.value(QStringLiteral("connection")).value(QStringLiteral("id")).toString(); }
};
// False with the error reply in `error` when NetworkManager refused.
bool Profiles(QList<Profile>& profiles, QDBusMessage& error);
// The profile a dial-up entry names: 0, or the library's error number for
// why there is none (not found, two of that name, NetworkManager refused).
std::uint32_t ProfileNamed(const QString& id, Profile& profile);

QList<QString> ObjectPaths(const QVariant& value);

}  // namespace nmras
