// SPDX-License-Identifier: MIT
#pragma once

#include "platform/rasapi32/nm_bus.h"

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>

#include <map>

namespace nmras {

// Gives NetworkManager the password a caller passed with a dial, for that
// activation only: while the activation runs, this process is a secret agent
// that answers NetworkManager alone, for that one profile, once; nothing is
// stored with the profile, and once no dial holds a password the agent is
// gone.
class SecretAgent : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager.SecretAgent")
public:
    static SecretAgent& The();

    void Offer(const QString& profilePath, const QString& password);
    void Withdraw(const QString& profilePath);

    // The settings are spelled out rather than named by their alias, so that
    // the bus finds the slots' types by name.
    // NOLINTNEXTLINE(readability-redundant-access-specifiers): opens the slots for moc.
public slots:
    QMap<QString, QVariantMap> GetSecrets(const QMap<QString, QVariantMap>& connection, const QDBusObjectPath& path,
                                          const QString& setting, const QStringList& hints, uint flags);
    void CancelGetSecrets(const QDBusObjectPath& path, const QString& setting);
    void SaveSecrets(const QMap<QString, QVariantMap>& connection, const QDBusObjectPath& path);
    void DeleteSecrets(const QMap<QString, QVariantMap>& connection, const QDBusObjectPath& path);

private:
    SecretAgent();
    bool Register();
    void Unregister();
    bool AskedByNetworkManager() const;

    struct Offered {
        QString password;
        bool given = false;
    };
    std::map<QString, Offered> offered_;
    QString registeredOn_;  // the bus connection the agent is registered on
};

}  // namespace nmras
