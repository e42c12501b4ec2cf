// SPDX-License-Identifier: MIT
#include "platform/rasapi32/dialer.h"

#include "platform/messages.h"
#include "platform/rasapi32/errors.h"
#include "platform/rasapi32/functions.h"
#include "platform/rasapi32/nm_bus.h"
#include "platform/rasapi32/secret_agent.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace nmras {
namespace {

// NetworkManager's states of an active connection.
constexpr std::uint32_t kActivating = 1;
constexpr std::uint32_t kActivated = 2;
constexpr std::uint32_t kDeactivating = 3;
constexpr std::uint32_t kDeactivated = 4;
// Activation flag: the link is up and the addresses are being configured.
constexpr std::uint32_t kLayer2Ready = 0x4;

// The dial-up states they are reported as.
constexpr ras::DWORD kConnectDevice = 2;  // "Dialing..."
constexpr ras::DWORD kLogonNetwork = 21;  // "Logging on to Network"

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

struct HandleTable {
    std::map<QString, ras::HRASCONN> byPath;
    std::map<ras::HRASCONN, QString> byHandle;
    ras::HRASCONN next = 1;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

ras::HRASCONN NewHandle() { return Table().next++; }

void Bind(ras::HRASCONN handle, const QString& path) {
    Table().byPath[path] = handle;
    Table().byHandle[handle] = path;
}

void Forget(ras::HRASCONN handle) {
    auto it = Table().byHandle.find(handle);
    if (it == Table().byHandle.end()) return;
    auto byPath = Table().byPath.find(it->second);
    if (byPath != Table().byPath.end() && byPath->second == handle) Table().byPath.erase(byPath);
    Table().byHandle.erase(it);
}

std::uint32_t UintProperty(const QString& path, const char* name, bool& ok) {
    auto value = Property(path, kActiveInterface, QString::fromLatin1(name));
    ok = value.has_value();
    return value ? value->toUInt() : 0;
}

void Deactivate(const QString& path) {
    // Its answer changes nothing: the connection is forgotten either way.
    Call(kManagerPath, kManagerInterface, QStringLiteral("DeactivateConnection"),
         {QVariant::fromValue(QDBusObjectPath(path))});
}

}  // namespace

ras::HRASCONN HandleFor(const QString& activePath) {
    auto it = Table().byPath.find(activePath);
    if (it != Table().byPath.end()) return it->second;
    const ras::HRASCONN handle = NewHandle();
    Bind(handle, activePath);
    return handle;
}

QString PathOf(ras::HRASCONN handle) {
    auto it = Table().byHandle.find(handle);
    return it == Table().byHandle.end() ? QString() : it->second;
}

// Never destroyed: the library stays loaded for the life of the process.
Dialer& Dialer::The() {
    static Dialer* dialer = new Dialer;
    return *dialer;
}

// The activation is asked for without waiting for the answer: it may take
// NetworkManager a while (polkit), and the caller waits in its own loop,
// where it can time out or be cancelled.
ras::DWORD Dialer::Dial(const QString& profilePath, const QString& password, ras::HWND notifier,
                        ras::HRASCONN* handle) {
    auto bus = SystemBus();
    if (!bus) return kErrorNoNetworkManager;
    const QDBusObjectPath any(QStringLiteral("/"));
    const QDBusMessage activate = MethodCall(
        kManagerPath, kManagerInterface, QStringLiteral("ActivateConnection"),
        {QVariant::fromValue(QDBusObjectPath(profilePath)), QVariant::fromValue(any), QVariant::fromValue(any)});
    *handle = NewHandle();
    Record& record = dials_[*handle];
    record.notifier = notifier;
    record.profile = profilePath;
    if (!password.isEmpty()) {
        SecretAgent::The().Offer(profilePath, password);
        record.offered = true;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus->asyncCall(activate), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, dialled = *handle](QDBusPendingCallWatcher* call) { Answered(dialled, call); });
    return 0;
}

void Dialer::Answered(ras::HRASCONN handle, QDBusPendingCallWatcher* call) {
    call->deleteLater();
    auto it = dials_.find(handle);
    if (it == dials_.end()) return;
    Record& record = it->second;
    record.answered = true;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError() || record.hungUp) Withdraw(record);
    if (reply.isError()) {
        const ras::DWORD error = RefusalError(reply.reply());
        if (record.hungUp) {
            dials_.erase(it);
            return;
        }
        record.ended = true;
        Post(record, 0, error);
        return;
    }
    const QString path = reply.value().path();
    if (record.hungUp) {
        dials_.erase(it);
        Deactivate(path);
        return;
    }
    record.path = path;
    Bind(handle, path);
    Follow(handle, path);
}

// Signals first, then the state as it is now: a step taken between the two
// is seen twice at worst, never missed.
void Dialer::Follow(ras::HRASCONN handle, const QString& path) {
    auto bus = SystemBus();
    if (bus) {
        bus->connect(kService, path, kActiveInterface, QStringLiteral("StateChanged"), this,
                     SLOT(StateChanged(QDBusMessage)));
        bus->connect(kService, path, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                     SLOT(PropertiesChanged(QDBusMessage)));
    }
    bool haveState = false;
    bool haveFlags = false;
    const std::uint32_t state = UintProperty(path, "State", haveState);
    const std::uint32_t flags = UintProperty(path, "StateFlags", haveFlags);
    // Gone already: it failed before we could look.
    Report(handle, haveState ? state : kDeactivated, flags, 0);
}

void Dialer::Unfollow(const QString& path) {
    auto bus = SystemBus();
    if (!bus || path.isEmpty()) return;
    bus->disconnect(kService, path, kActiveInterface, QStringLiteral("StateChanged"), this,
                    SLOT(StateChanged(QDBusMessage)));
    bus->disconnect(kService, path, kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                    SLOT(PropertiesChanged(QDBusMessage)));
}

Dialer::Record* Dialer::Find(const QString& path, ras::HRASCONN* handle) {
    for (auto& [number, record] : dials_) {
        if (record.path == path) {
            if (handle) *handle = number;
            return &record;
        }
    }
    return nullptr;
}

void Dialer::StateChanged(const QDBusMessage& signal) {
    ras::HRASCONN handle = -1;
    if (!Find(signal.path(), &handle) || signal.arguments().size() < 2) return;
    bool ok = false;
    const std::uint32_t flags = UintProperty(signal.path(), "StateFlags", ok);
    Report(handle, signal.arguments()[0].toUInt(), flags, signal.arguments()[1].toUInt());
}

// For the steps within an activation (the flags) and for a NetworkManager
// that announces its states only this way. The end of an activation waits
// for StateChanged, which carries the reason.
void Dialer::PropertiesChanged(const QDBusMessage& signal) {
    ras::HRASCONN handle = -1;
    if (!Find(signal.path(), &handle) || signal.arguments().size() < 2) return;
    if (signal.arguments()[0].toString() != kActiveInterface) return;
    QVariantMap changed;
    signal.arguments()[1].value<QDBusArgument>() >> changed;
    if (!changed.contains(QStringLiteral("State")) && !changed.contains(QStringLiteral("StateFlags"))) return;
    bool ok = false;
    const std::uint32_t state = changed.contains(QStringLiteral("State"))
                                    ? changed.value(QStringLiteral("State")).toUInt()
                                    : UintProperty(signal.path(), "State", ok);
    if (state == kDeactivating || state == kDeactivated) return;
    const std::uint32_t flags = changed.contains(QStringLiteral("StateFlags"))
                                    ? changed.value(QStringLiteral("StateFlags")).toUInt()
                                    : UintProperty(signal.path(), "StateFlags", ok);
    Report(handle, state, flags, 0);
}

void Dialer::Report(ras::HRASCONN handle, std::uint32_t state, std::uint32_t flags, std::uint32_t reason) {
    auto it = dials_.find(handle);
    if (it == dials_.end() || it->second.ended) return;
    Record& record = it->second;
    switch (state) {
        case kActivating: Post(record, (flags & kLayer2Ready) ? kLogonNetwork : kConnectDevice, 0); break;
        case kActivated:
            Withdraw(record);
            Post(record, ras::kConnected, 0);
            break;
        case kDeactivating:
        case kDeactivated: {
            // Failed while dialling, or dropped once up: an error either way.
            Withdraw(record);
            record.ended = true;
            Unfollow(record.path);
            const ras::DWORD last = record.posted == ~0u ? 0 : record.posted;
            Post(record, last, kErrorActivationBase + (reason < kReasonCount ? reason : 0));
            break;
        }
        default: break;  // unknown: wait for the next state
    }
}

void Dialer::Withdraw(Record& record) {
    if (record.offered) SecretAgent::The().Withdraw(record.profile);
    record.offered = false;
}

void Dialer::Post(Record& record, ras::DWORD state, ras::DWORD error) {
    if (error == 0 && state == record.posted) return;
    if (error == 0) record.posted = state;
    platform::PostMessage(record.notifier, platform::RegisterWindowMessage("RASDIALEVENT"), state,
                          static_cast<platform::LPARAM>(error));
}

// Only what this library activated is deactivated: a connection that was up
// before belongs to whoever brought it up.
ras::DWORD Dialer::HangUp(ras::HRASCONN handle) {
    auto it = dials_.find(handle);
    if (it == dials_.end()) return PathOf(handle).isEmpty() ? kErrorInvalidHandle : 0;
    Record& record = it->second;
    if (!record.answered) {
        record.hungUp = true;  // deactivated when the answer comes
        return 0;
    }
    Withdraw(record);
    const QString path = record.path;
    const bool live = !record.ended && !path.isEmpty();
    Unfollow(path);
    dials_.erase(it);
    Forget(handle);
    if (live) Deactivate(path);
    return 0;
}

DWORD Dial(const ras::RASDIALPARAMSA* params, DWORD notifierType, ras::HWND notifier, ras::HRASCONN* connection) {
    if (!params || !connection || params->dwSize != sizeof(ras::RASDIALPARAMSA)) return kErrorInvalidSize;
    if (notifierType != ras::kNotifierWindow || notifier == 0) return kErrorInvalidParameter;
    if (!NetworkManagerPresent()) return kErrorNoNetworkManager;
    QDBusMessage error;
    auto profile =
        ProfileNamed(QString::fromStdString(FieldText(params->szEntryName, sizeof params->szEntryName)), error);
    if (!profile) return error.type() == QDBusMessage::ErrorMessage ? RefusalError(error) : kErrorEntryNotFound;
    const QString password = QString::fromStdString(FieldText(params->szPassword, sizeof params->szPassword));
    return Dialer::The().Dial(profile->path, password, notifier, connection);
}

DWORD HangUp(ras::HRASCONN connection) { return Dialer::The().HangUp(connection); }

}  // namespace nmras
