// SPDX-License-Identifier: MIT
// TLS on the control connection (RFC 4217 asks for it after "AUTH TLS"):
// the handshake runs in the same waits as everything else, so a time-out,
// Cancel or a close ends it like any other operation.

#include "net/core/errors.h"
#include "net/core/message_table.h"
#include "net/socket.h"

#include <algorithm>
#include <cstring>

namespace zn {

void TznSocket::StartTls(const std::string& host) {
    if (!Connected()) RaiseError(kMsgNotConnected);
    // Bytes that came in clear after the reply agreeing to TLS did not come
    // through it, and must never be read as if they had.
    if (InboxHolds())
        RaiseErrorText("The server sent data in clear after agreeing to TLS; the connection was closed", true);
    TlsContext_ = std::make_shared<TlsContext>();
    Tls_ = std::make_unique<TlsChannel>(TlsContext_, SocketHandle_, host);
    CompleteHandshake(*Tls_);
}

void TznSocket::CompleteHandshake(TlsChannel& channel) {
    WaitScope wait(*this);
    for (;;) {
        const TlsChannel::Io io = channel.Handshake();
        if (io == TlsChannel::Io::Ok) return;
        if (io != TlsChannel::Io::WouldBlock) RaiseTlsFailure(channel);
        Pump();
        StopWaitingForHandshake();
        // The read that found nothing asked the socket to wake the loop.
        Block();
        // A Cancel or a close from a handler may have ended the control
        // connection's channel: nothing of it is touched after that.
        StopWaitingForHandshake();
    }
}

void TznSocket::StopWaitingForHandshake() {
    RaiseIfStopped(StopReasons::CancelOrTimeOut, " (TLS handshake)");
    if (!Connected()) RaiseError(kMsgNotConnected);
}

// Whatever failed, the dialogue cannot go on in step (and must not go on in
// plain text), so the connection is closed.
void TznSocket::RaiseTlsFailure(const TlsChannel& channel) {
    const int code = channel.SocketError();
    const std::string advice = TlsFailureAdvice_.empty() ? std::string() : "; " + TlsFailureAdvice_;
    RaiseErrorText((code != 0 ? LoadMessage(static_cast<std::uint16_t>(code)) : channel.Error()) + advice, true);
}

// A close_notify goes out when the socket takes it at once; the close does
// not wait for the peer's.
void TznSocket::EndTls() {
    if (Tls_) Tls_->Shutdown();
    Tls_.reset();
    TlsContext_.reset();
}

// recv on the control connection, through TLS when it is up: returns the
// bytes, 0 at the end of the stream, SOCKET_ERROR with nothing there yet.
// A TLS failure raises here.
int TznSocket::Receive(char* chunk, int capacity, bool peek) {
    if (Tls_) return ReadThrough(*Tls_, chunk, capacity, peek);
    if (!InboxHolds()) {
        if (!inbox_) inbox_.reset(new char[kInboxSize]);
        const int n = WinsockInstance.recv(SocketHandle_, inbox_.get(), kInboxSize, 0);
        if (n <= 0) return n;
        inboxStart_ = 0;
        inboxEnd_ = static_cast<std::size_t>(n);
    }
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(capacity, 0)), inboxEnd_ - inboxStart_);
    std::memcpy(chunk, inbox_.get() + inboxStart_, count);
    if (!peek) inboxStart_ += count;
    return static_cast<int>(count);
}

int TznSocket::ReadThrough(TlsChannel& channel, char* buffer, int capacity, bool peek) {
    int count = 0;
    switch (channel.Read(buffer, capacity, peek, count)) {
        case TlsChannel::Io::Ok: return count;
        case TlsChannel::Io::Closed: return 0;
        case TlsChannel::Io::WouldBlock: return winsock::SOCKET_ERROR;
        case TlsChannel::Io::Failed: break;
    }
    RaiseTlsFailure(channel);
}

}  // namespace zn
