// SPDX-License-Identifier: MIT
#pragma once

#include "platform/rasapi32/ras_api.h"
#include "platform/rasapi32/replaced_profiles.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <map>

class QDBusPendingCallWatcher;

namespace nmras {

// Small numbers for NetworkManager's active connections: the same number
// for the same active connection while the library knows it.
ras::HRASCONN HandleFor(const QString& activePath);
// Empty for an unknown handle, or for a dial NetworkManager has not
// answered yet.
QString PathOf(ras::HRASCONN handle);

// Activates profiles and follows them to the end of their activation,
// posting each step to the caller's notifier window as the dial-up service
// does, and brings back what an activation took the place of once it has
// ended. Everything arrives through the Qt event loop of the program's one
// thread: the answer to the activation and NetworkManager's signals.
class Dialer : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static Dialer& The();

    // A password, when given, goes to NetworkManager for this activation only.
    ras::DWORD Dial(const QString& profilePath, const QString& password, ras::HWND notifier, ras::HRASCONN* handle);
    ras::DWORD HangUp(ras::HRASCONN handle);

private slots:
    void StateChanged(const QDBusMessage& signal);
    void PropertiesChanged(const QDBusMessage& signal);

    // NOLINTNEXTLINE(readability-redundant-access-specifiers): ends the slots for moc.
private:
    struct Record {
        ras::HWND notifier = 0;
        QString profile;        // the connection profile activated
        bool offered = false;   // a password is on offer for it
        QString path;           // empty until NetworkManager answers
        bool answered = false;  // NetworkManager answered the activation
        bool hungUp = false;    // hung up before that answer
        bool ended = false;     // failed or dropped; nothing more is posted
        ras::DWORD posted = ~0u;
        std::uint32_t vpnState = 0;   // a VPN's own state; 0 for other links
        QList<ActiveProfile> before;  // what was up where before the dial
        QList<QString> devices;       // the devices the activation took
    };
    // A state announced for an activation whose answer had not come yet.
    struct Announced {
        std::uint32_t state = 0;
        std::uint32_t reason = 0;
    };

    void Watch(QDBusConnection& bus);
    void Answered(ras::HRASCONN handle, QDBusPendingCallWatcher* call);
    void Accepted(ras::HRASCONN handle, Record& record, const QString& path);
    void Follow(ras::HRASCONN handle, const QString& path);
    void Report(ras::HRASCONN handle, std::uint32_t state, std::uint32_t flags, std::uint32_t reason);
    void End(Record& record, std::uint32_t reason);
    void TakeDown(const Record& record);
    void Post(Record& record, ras::DWORD state, ras::DWORD error);
    void Withdraw(Record& record);
    Record* Find(const QString& path, ras::HRASCONN* handle = nullptr);
    bool AwaitingAnswer() const;
    bool FromWatchedBus() const;

    std::map<ras::HRASCONN, Record> dials_;
    std::map<QString, Announced> early_;  // by active connection, until answered
    QString watchedBus_;                  // the bus connection the signals come from
};

}  // namespace nmras
