// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

// NetworkManager keeps one profile up on a device at a time: activating
// another takes the place of the one that was up, which comes back on its
// own only if it connects automatically. So what is up where is noted
// before a dial, and what the dial took the place of is brought back once
// the dial's connection ends.
namespace nmras {

struct ActiveProfile {
    QString profile;  // the connection profile's path
    QString device;
};

// Every profile that is up now, once for each of its devices.
QList<ActiveProfile> ActiveProfiles();
QList<QString> DevicesOf(const QString& activePath);
// Those of `before` that were up on one of `devices` and are no longer up.
QList<ActiveProfile> Replaced(const QList<ActiveProfile>& before, const QList<QString>& devices);
void BringBack(const QList<ActiveProfile>& replaced);

}  // namespace nmras
