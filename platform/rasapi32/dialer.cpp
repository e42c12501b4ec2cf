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

#include <algorithm>

namespace nmras {
namespace {

// NetworkManager's states of an active connection.
constexpr std::uint32_t kActivating = 1;
constexpr std::uint32_t kActivated = 2;
constexpr std::uint32_t kDeactivating = 3;
constexpr std::uint32_t kDeactivated = 4;
// Activation flag: the link is up and the addresses are being configured.
constexpr std::uint32_t kLayer2Ready = 0x4;
// NetworkManager's states of a VPN connection, within its activation.
constexpr std::uint32_t kVpnNeedAuth = 2;
constexpr std::uint32_t kVpnConnect = 3;
constexpr std::uint32_t kVpnIpConfigGet = 4;
constexpr std::uint32_t kVpnActivated = 5;

// The dial-up states they are reported as.
constexpr ras::DWORD kConnectDevice = 2;  // "Dialing..."
constexpr ras::DWORD kAuthenticate = 5;   // "Verifying user name and password"
constexpr ras::DWORD kLogonNetwork = 21;  // "Logging on to Network"

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kVpnInterface = QStringLiteral("org.freedesktop.NetworkManager.VPN.Connection");

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

std::uint32_t UintProperty(const QString& path, const char* name, bool& ok,
                           const QString& interface = kActiveInterface) {
    auto value = Property(path, interface, QString::fromLatin1(name));
    ok = value.has_value();
    return value ? value->toUInt() : 0;
}

// An activation under way, as a dial-up state: a VPN tells its steps in
// states of its own (asking for the password, connecting, getting its
// address), other links in the activation's flags.
ras::DWORD DialingState(std::uint32_t flags, std::uint32_t vpnState) {
    switch (vpnState) {
        case kVpnNeedAuth: return kAuthenticate;
        case kVpnConnect: return kConnectDevice;
        case kVpnIpConfigGet:
        case kVpnActivated: return kLogonNetwork;
        default: break;
    }
    return (flags & kLayer2Ready) ? kLogonNetwork : kConnectDevice;
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
    Watch(*bus);
    const QDBusObjectPath any(QStringLiteral("/"));
    const QDBusMessage activate = MethodCall(
        kManagerPath, kManagerInterface, QStringLiteral("ActivateConnection"),
        {QVariant::fromValue(QDBusObjectPath(profilePath)), QVariant::fromValue(any), QVariant::fromValue(any)});
    *handle = NewHandle();
    Record& record = dials_[*handle];
    record.notifier = notifier;
    record.profile = profilePath;
    record.before = ActiveProfiles();
    if (!password.isEmpty()) {
        SecretAgent::The().Offer(profilePath, password);
        record.offered = true;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus->asyncCall(activate), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, dialled = *handle](QDBusPendingCallWatcher* call) { Answered(dialled, call); });
    return 0;
}

// Every active connection's signals, from before the first activation: a
// step that NetworkManager announces before its answer, or right after it,
// is never missed. Those of connections no dial knows are passed over.
void Dialer::Watch(QDBusConnection& bus) {
    if (watchedBus_ == bus.name()) return;
    bus.connect(kService, QString(), kActiveInterface, QStringLiteral("StateChanged"), this,
                SLOT(StateChanged(QDBusMessage)));
    bus.connect(kService, QString(), kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                SLOT(PropertiesChanged(QDBusMessage)));
    watchedBus_ = bus.name();
}

// A bus that was left (DBUS_SYSTEM_BUS_ADDRESS changed) may still have
// signals queued for delivery: its paths mean nothing on the new one.
bool Dialer::FromWatchedBus() const { return connection().name() == watchedBus_; }

bool Dialer::AwaitingAnswer() const {
    return std::any_of(dials_.begin(), dials_.end(), [](const auto& dial) { return !dial.second.answered; });
}

void Dialer::Answered(ras::HRASCONN handle, QDBusPendingCallWatcher* call) {
    call->deleteLater();
    auto it = dials_.find(handle);
    if (it == dials_.end()) return;
    Record& record = it->second;
    record.answered = true;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError() || record.hungUp) Withdraw(record);
    if (!reply.isError()) {
        Accepted(handle, record, reply.value().path());
    } else if (record.hungUp) {
        dials_.erase(it);
    } else {
        record.ended = true;
        Post(record, 0, RefusalError(reply.reply()));
    }
    if (!AwaitingAnswer()) early_.clear();
}

// NetworkManager took the activation on: followed from here, or taken down
// at once when the caller hung up meanwhile.
void Dialer::Accepted(ras::HRASCONN handle, Record& record, const QString& path) {
    record.path = path;
    record.devices = DevicesOf(path);
    if (record.hungUp) {
        TakeDown(record);
        dials_.erase(handle);
        return;
    }
    Bind(handle, path);
    Follow(handle, path);
}

// What was announced before the answer, then the state as it is now. An
// activation already gone is left to its StateChanged, which carries the
// reason: the signals were watched from before the activation, so that
// one has come (and was kept) or is on its way.
void Dialer::Follow(ras::HRASCONN handle, const QString& path) {
    Record& record = dials_.at(handle);
    bool ok = false;
    record.vpnState = UintProperty(path, "VpnState", ok, kVpnInterface);
    if (auto announced = early_.find(path); announced != early_.end()) {
        Report(handle, announced->second.state, 0, announced->second.reason);
        early_.erase(announced);
    }
    bool haveState = false;
    const std::uint32_t state = UintProperty(path, "State", haveState);
    const std::uint32_t flags = UintProperty(path, "StateFlags", ok);
    if (haveState) Report(handle, state, flags, 0);
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

// A connection no dial knows yet may be one whose activation has not been
// answered: what it announces is kept for that answer.
void Dialer::StateChanged(const QDBusMessage& signal) {
    if (!FromWatchedBus() || signal.arguments().size() < 2) return;
    const std::uint32_t state = signal.arguments()[0].toUInt();
    const std::uint32_t reason = signal.arguments()[1].toUInt();
    ras::HRASCONN handle = -1;
    if (!Find(signal.path(), &handle)) {
        if (AwaitingAnswer()) early_[signal.path()] = {state, reason};
        return;
    }
    bool ok = false;
    const std::uint32_t flags = UintProperty(signal.path(), "StateFlags", ok);
    Report(handle, state, flags, reason);
}

// For the steps within an activation (the flags, a VPN's own state) and for
// a NetworkManager that announces its states only this way. The end of an
// activation waits for StateChanged, which carries the reason.
void Dialer::PropertiesChanged(const QDBusMessage& signal) {
    ras::HRASCONN handle = -1;
    Record* record = FromWatchedBus() ? Find(signal.path(), &handle) : nullptr;
    if (!record || signal.arguments().size() < 2) return;
    const QString interface = signal.arguments()[0].toString();
    QVariantMap changed;
    signal.arguments()[1].value<QDBusArgument>() >> changed;
    if (interface == kVpnInterface && changed.contains(QStringLiteral("VpnState"))) {
        record->vpnState = changed.value(QStringLiteral("VpnState")).toUInt();
    } else if (interface != kActiveInterface ||
               (!changed.contains(QStringLiteral("State")) && !changed.contains(QStringLiteral("StateFlags")))) {
        return;
    }
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
        case kActivating: Post(record, DialingState(flags, record.vpnState), 0); break;
        case kActivated:
            Withdraw(record);
            Post(record, ras::kConnected, 0);
            break;
        case kDeactivating:
        case kDeactivated: End(record, reason); break;
        default: break;  // unknown: wait for the next state
    }
}

// Failed while dialling, or dropped once up: an error either way, with the
// state it failed in, or "disconnected" for a link that was up.
void Dialer::End(Record& record, std::uint32_t reason) {
    Withdraw(record);
    record.ended = true;
    const ras::DWORD last = record.posted == ras::kConnected ? ras::kDisconnected
                            : record.posted == ~0u           ? 0
                                                             : record.posted;
    Post(record, last, kErrorActivationBase + (reason < kReasonCount ? reason : 0));
    BringBack(Replaced(record.before, record.devices));
}

// Only what this library activated is deactivated; what it took the place
// of on its device comes back.
void Dialer::TakeDown(const Record& record) {
    Deactivate(record.path);
    BringBack(Replaced(record.before, record.devices));
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
    if (!record.ended && !record.path.isEmpty()) TakeDown(record);
    dials_.erase(it);
    Forget(handle);
    return 0;
}

DWORD Dial(const ras::RASDIALPARAMSA* params, DWORD notifierType, ras::HWND notifier, ras::HRASCONN* connection) {
    if (!params || !connection || params->dwSize != sizeof(ras::RASDIALPARAMSA)) return kErrorInvalidSize;
    if (notifierType != ras::kNotifierWindow || notifier == 0) return kErrorInvalidParameter;
    if (!NetworkManagerPresent()) return kErrorNoNetworkManager;
    Profile profile;
    if (const DWORD error =
            ProfileNamed(QString::fromStdString(FieldText(params->szEntryName, sizeof params->szEntryName)), profile)) {
        return error;
    }
    const QString password = QString::fromStdString(FieldText(params->szPassword, sizeof params->szPassword));
    return Dialer::The().Dial(profile.path, password, notifier, connection);
}

DWORD HangUp(ras::HRASCONN connection) { return Dialer::The().HangUp(connection); }

}  // namespace nmras
