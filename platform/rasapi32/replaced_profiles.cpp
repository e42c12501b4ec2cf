// SPDX-License-Identifier: MIT
#include "platform/rasapi32/replaced_profiles.h"

#include "platform/rasapi32/nm_bus.h"

#include <QDBusObjectPath>

namespace nmras {
namespace {

QList<QString> ActivePaths() {
    auto paths = Property(kManagerPath, kManagerInterface, QStringLiteral("ActiveConnections"));
    return paths ? ObjectPaths(*paths) : QList<QString>();
}

QString ProfileOf(const QString& activePath) {
    auto profile = Property(activePath, kActiveInterface, QStringLiteral("Connection"));
    return profile ? profile->value<QDBusObjectPath>().path() : QString();
}

}  // namespace

QList<ActiveProfile> ActiveProfiles() {
    QList<ActiveProfile> up;
    for (const QString& active : ActivePaths()) {
        const QString profile = ProfileOf(active);
        for (const QString& device : DevicesOf(active)) up.append({profile, device});
    }
    return up;
}

QList<QString> DevicesOf(const QString& activePath) {
    auto devices = Property(activePath, kActiveInterface, QStringLiteral("Devices"));
    return devices ? ObjectPaths(*devices) : QList<QString>();
}

QList<ActiveProfile> Replaced(const QList<ActiveProfile>& before, const QList<QString>& devices) {
    QList<ActiveProfile> replaced;
    if (devices.isEmpty()) return replaced;
    QList<QString> stillUp;
    for (const QString& active : ActivePaths()) stillUp.append(ProfileOf(active));
    for (const ActiveProfile& was : before) {
        if (devices.contains(was.device) && !stillUp.contains(was.profile)) replaced.append(was);
    }
    return replaced;
}

void BringBack(const QList<ActiveProfile>& replaced) {
    for (const ActiveProfile& was : replaced) {
        // Its answer changes nothing: a device that went away cannot have
        // its profile back, and there is no one to tell.
        Call(kManagerPath, kManagerInterface, QStringLiteral("ActivateConnection"),
             {QVariant::fromValue(QDBusObjectPath(was.profile)), QVariant::fromValue(QDBusObjectPath(was.device)),
              QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))});
    }
}

}  // namespace nmras
