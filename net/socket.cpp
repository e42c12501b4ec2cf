// SPDX-License-Identifier: MIT
#include "net/socket.h"

#include "dialup/ras.h"
#include "net/core/errors.h"
#include "net/core/message_table.h"
#include "platform/str_to_int.h"

#include <cstring>

namespace zn {

TznSocket::TznSocket(platform::TComponent* owner) : platform::TComponent(owner) {
    NotifyWindow_ = platform::CreateHiddenWindow(
        [this](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) { return HandleNotification(msg, w, l); });
    SetWinsockLoaded(false);
}

TznSocket::~TznSocket() {
    *Alive_ = false;
    SetRAS(nullptr);
    platform::DestroyWindow(NotifyWindow_);
    // A lookup still under way would write its answer into this object.
    if (WinsockInstance.IsLoaded()) {
        CancelPendingRequest();
        for (; StartupCount_ > 0; --StartupCount_) WinsockInstance.WSACleanup();
    }
}

bool TznSocket::WinsockLoaded() const { return WinsockInstance.IsLoaded(); }

void TznSocket::SetWinsockLoaded(bool value) {
    if (!value) {
        WinsockInstance.Unload();
    } else if (!WinsockInstance.IsLoaded()) {
        WinsockInstance.Load();
    }
}

void TznSocket::SetRAS(TznRas* value) {
    if (value == RAS_) return;
    if (RAS_) RAS_->RemoveFreeNotification(this);
    RAS_ = value;
    if (RAS_) RAS_->FreeNotification(this);
}

void TznSocket::Pump() {
    const std::shared_ptr<const bool> alive = Alive_;
    platform::ProcessMessages();
    StopIfDestroyed(*alive);
}

void TznSocket::Block() {
    const std::shared_ptr<const bool> alive = Alive_;
    platform::WaitForNextEvent();
    StopIfDestroyed(*alive);
}

void TznSocket::StopIfDestroyed(bool alive) {
    if (!alive) throw ECanceledError();
}

TznSocket::WaitScope::WaitScope(TznSocket& socket) : socket_(socket), alive_(socket.Alive_) {
    socket_.TimeCounter_.Start();
}

TznSocket::WaitScope::~WaitScope() {
    if (!*alive_) return;
    socket_.TimeCounter_.Stop();
    socket_.CancelPendingRequest();
}

void TznSocket::Notification(platform::TComponent* component, platform::TOperation operation) {
    platform::TComponent::Notification(component, operation);
    if (operation == platform::TOperation::Remove && component == RAS_) RAS_ = nullptr;
}

platform::LRESULT TznSocket::HandleNotification(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam) {
    switch (msg) {
        case WM_HOSTLOOKUP:
        case WM_SERVLOOKUP:
            (msg == WM_HOSTLOOKUP ? Notified_.HostLookupDone : Notified_.ServiceLookupDone) = true;
            NoteAsyncError(SelectError(lParam));
            return 0;
        case WM_SOCKETEVENT:
            if (SelectEvent(lParam) == winsock::FD_CONNECT && SelectError(lParam) != 0) {
                int code = SelectError(lParam);
                if (TryNextAddress(code)) return 0;
                NoteAsyncError(static_cast<std::uint16_t>(code));
                ConnectFailed_ = true;
                return 0;
            }
            NoteAsyncError(SelectError(lParam));
            if (!AsyncError_) {
                switch (SelectEvent(lParam)) {
                    case winsock::FD_READ: Notified_.DataArrived = true; break;
                    case winsock::FD_CONNECT: Notified_.ConnectDone = true; break;
                    case winsock::FD_CLOSE: Notified_.PeerClosed = true; break;
                    default: break;
                }
            }
            return 0;
        default: return platform::DefWindowProc(NotifyWindow_, msg, wParam, lParam);
    }
}

void TznSocket::NoteAsyncError(std::uint16_t code) {
    AsyncErrorCode_ = code;
    AsyncError_ = code != 0;
}

// The last error code stays: only whether one is pending starts afresh.
void TznSocket::ResetState() {
    Canceled_ = false;
    TimeCounter_.SetTimedOut(false);
    PendingRequest_ = 0;
    AsyncError_ = false;
    Notified_ = NotificationFlags{};
    ConnectFailed_ = false;
}

void TznSocket::CheckServer() {
    if (Server_.empty()) RaiseError(kMsgServerRequired);
}

void TznSocket::RaiseErrorText(std::string message, bool close) {
    TimeCounter_.Stop();
    const std::shared_ptr<const bool> alive = Alive_;
    Fire(OnError, this, message);
    if (close && *alive) Close();
    throw ESocketError(message);
}

// A server that ends the session says why ("421 Timeout.") and closes; the
// reset that the next command meets must not hide that reply.
void TznSocket::RaiseError(std::uint16_t code) {
    if (code == winsock::WSAECONNRESET) {
        const std::string reply = TakeClosingReply();
        if (!reply.empty()) RaiseErrorText(reply, true);
    }
    RaiseErrorText(LoadMessage(code), code == winsock::WSAECONNRESET);
}

void TznSocket::RaiseIfError(std::uint16_t code) {
    if (code != 0) RaiseError(code);
}

bool TznSocket::Stopped(StopReasons reasons) const {
    return Canceled_ || TimeCounter_.TimedOut() || (reasons == StopReasons::CancelTimeOutOrError && AsyncError_);
}

void TznSocket::RaiseIfStopped(StopReasons reasons, const std::string& timeOutDetail) {
    if (Canceled_) RaiseCanceled();
    if (TimeCounter_.TimedOut()) RaiseTimeOut(timeOutDetail);
    if (reasons == StopReasons::CancelTimeOutOrError && AsyncError_) RaiseError(AsyncErrorCode_);
}

// The "421" reply waiting to be read on the control connection, taken;
// empty when the next line is not one (or nothing is there).
std::string TznSocket::TakeClosingReply() {
    if (takingClosingReply_ || SocketHandle_ == winsock::INVALID_SOCKET) return {};
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{takingClosingReply_ = true};
    char chunk[kLineMax];
    int n = 0;
    try {
        n = Receive(chunk, sizeof chunk, true);
    } catch (const platform::Exception&) {
        return {};
    }
    if (n <= 4) return {};
    const char* lf = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<std::size_t>(n)));
    const std::string line(chunk, lf ? static_cast<std::size_t>(lf - chunk) : static_cast<std::size_t>(n));
    if (line.compare(0, 4, "421 ") != 0) return {};
    Receive(chunk, lf ? static_cast<int>(lf - chunk + 1) : n, false);
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    LastReply_ = text;
    return text;
}

void TznSocket::CancelPendingRequest() {
    if (PendingRequest_ == 0) return;
    WinsockInstance.WSACancelAsyncRequest(PendingRequest_);
    PendingRequest_ = 0;
}

void TznSocket::RaiseTimeOut(const std::string& detail) {
    TimeCounter_.Stop();
    std::string message = LoadMessage(kMsgTimedOut) + detail;
    const std::shared_ptr<const bool> alive = Alive_;
    Fire(OnError, this, message);
    if (!*alive) throw ETimedOutError(detail);
    CancelPendingRequest();
    if (WinsockInstance.WSAIsBlocking()) WinsockInstance.WSACancelBlockingCall();
    Close();
    throw ETimedOutError(detail);
}

void TznSocket::RaiseCanceled() {
    TimeCounter_.Stop();
    std::string message = LoadMessage(kMsgCanceled);
    Fire(OnError, this, message);
    throw ECanceledError();
}

std::string TznSocket::HostPart() const { return ServerHost(Server_); }

std::int32_t TznSocket::PortPart() const { return ServerPort(Server_); }

void TznSocket::Open() {
    if (RAS_) RAS_->Dial();
    FireChecked(OnOpen, this);
    CheckServer();
    if (WinsockInstance.WSAStartup(0x0101, &StartupRecord_) != 0) RaiseError(kMsgInvalidWinsockVersion);
    ++StartupCount_;
    ResolveHost();
    ResolvePort();
    // A Cancel that came before this point (from OnOpen, say) must not
    // leave a socket behind it.
    if (Canceled_) RaiseCanceled();
    CreateSocket();
}

void TznSocket::Close() {
    if (Connected()) {
        FireChecked(OnClosing, this);
        EndTls();
        WinsockInstance.closesocket(SocketHandle_);
        SocketHandle_ = winsock::INVALID_SOCKET;
        EmptyInbox();
        FireChecked(OnClosed, this);
    }
    if (RAS_) RAS_->HangUp();
}

void TznSocket::Cancel() {
    Canceled_ = true;
    FireChecked(OnCancel, this);
    CancelPendingRequest();
    Close();
}

}  // namespace zn
