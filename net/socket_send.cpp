// SPDX-License-Identifier: MIT
// Command lines out on the control connection, whole or not at all.

#include "net/core/errors.h"
#include "net/core/message_table.h"
#include "net/socket.h"

#include <algorithm>
#include <cstring>

namespace zn {

// A CR, LF or NUL inside a line would end the command early and let the
// rest reach the server as a command of its own ("CWD x\r\nDELE y"). Every
// command passes through SendLine, so the check lives here. The text names
// the command only: the argument may be a password.
void TznSocket::RefuseLineBreaks(const std::string& line) {
    const std::size_t bad = line.find_first_of(std::string_view("\r\n\0", 3));
    if (bad == std::string::npos) return;
    const std::string command = line.substr(0, std::min(line.find(' '), bad));
    const std::string what = line[bad] == '\0' ? "a zero byte" : "a line break";
    RaiseErrorText("The argument of " + command + " contains " + what + "; nothing was sent", false);
}

void TznSocket::SendLine(const std::string& line) {
    if (!Connected()) RaiseError(kMsgNotConnected);
    RefuseLineBreaks(line);
    const std::string data = line + "\r\n";
    const bool sent = SendAll(data);
    RaiseIfStopped();
    if (!sent) RaiseError(kMsgNotConnected);  // closed by an event handler
    FireChecked(OnLineSent, this, line);
}

// Sends until all is gone (true), the time-out, a cancel or a close.
// Through TLS, the line is encrypted at once and counts as sent once the
// socket has taken all of its encrypted bytes.
bool TznSocket::SendAll(const std::string& data) {
    WaitScope wait(*this);
    std::size_t position = 0;
    // Events are let in only when the socket takes no more for now: a
    // command line nearly always goes at once, and a turn of the event loop
    // per command costs more than the send.
    for (;;) {
        if (!Connected()) return false;
        const int n = SendSome(data, position);
        const bool done = position == data.size() && !(Tls_ && Tls_->OutputPending());
        if (done) return true;
        Pump();
        if (Stopped() || !Connected()) return false;
        if (n == winsock::SOCKET_ERROR) Block();
    }
}

// One send: the bytes taken are added to `position`; SOCKET_ERROR when the
// socket took nothing and the caller should wait.
int TznSocket::SendSome(const std::string& data, std::size_t& position) {
    if (Tls_) {
        const TlsChannel::Io io =
            position == 0 ? Tls_->Write(data.data(), static_cast<int>(data.size())) : Tls_->Flush();
        if (io == TlsChannel::Io::Failed) RaiseTlsFailure(*Tls_);
        position = data.size();
        return io == TlsChannel::Io::Ok ? static_cast<int>(data.size()) : winsock::SOCKET_ERROR;
    }
    if (SendLost_) {
        position = data.size();
        return static_cast<int>(data.size());
    }
    const int n =
        WinsockInstance.send(SocketHandle_, data.data() + position, static_cast<int>(data.size() - position), 0);
    if (n == winsock::SOCKET_ERROR) {
        const int code = WinsockInstance.WSAGetLastError();
        if (code == winsock::WSAEWOULDBLOCK || Canceled_) return n;
        // A server that ends the session answers what came before, says
        // why ("421 ...") and closes; the commands sent after that meet the
        // reset. The replies it left come first: they are read as usual,
        // and the reader meets the end, with the server's words, after them.
        if (code == winsock::WSAECONNRESET && ReplyLeft() && !ClosingReplyNext()) {
            SendLost_ = true;
            position = data.size();
            return static_cast<int>(data.size());
        }
        RaiseError(static_cast<std::uint16_t>(code));
    } else {
        position += static_cast<std::size_t>(n);
    }
    return n;
}

}  // namespace zn
