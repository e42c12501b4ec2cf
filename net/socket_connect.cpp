// SPDX-License-Identifier: MIT
// Reaching the server: its addresses looked up, its port, and a connect to
// each address in turn (IPv6 and IPv4, in the resolver's order) until one
// takes the connection, all within the one time-out and Cancel of the wait.

#include "net/core/errors.h"
#include "net/core/message_table.h"
#include "net/socket.h"

namespace zn {

void TznSocket::ResolveHost() {
    const std::string name = HostPart();
    // Refused rather than cut: a cut name would quietly reach another host.
    if (name.size() > kHostNameMax) {
        RaiseErrorText("Host name is longer than " + std::to_string(kHostNameMax) + " characters", false);
    }
    Candidates_.clear();
    Candidate_ = 0;
    // An address typed as one needs no lookup: IPv4 in every form inet_addr
    // takes ("127.1" too), or IPv6.
    if (const winsock::u_long dotted = WinsockInstance.inet_addr(name.c_str()); dotted != winsock::kInaddrNone) {
        SocketAddress address;
        auto& in = *reinterpret_cast<winsock::sockaddr_in*>(&address.Storage);
        in.sin_family = winsock::kAfInet;
        in.sin_addr = dotted;
        address.Length = sizeof in;
        Candidates_.push_back(address);
    } else if (auto literal = MakeSocketAddress(name, 0)) {
        Candidates_.push_back(*literal);
    } else {
        LookUpAddresses(name);
    }
    UseCandidate(0);
}

void TznSocket::LookUpAddresses(const std::string& name) {
    winsock::addrinfo hints{};
    hints.ai_family = winsock::kAfUnspec;
    hints.ai_socktype = winsock::kSockStream;
    PendingRequest_ = WinsockInstance.WSAAsyncGetAddrInfo(NotifyWindow_, WM_HOSTLOOKUP, name.c_str(), nullptr, &hints,
                                                          LookupAnswer_, sizeof LookupAnswer_);
    if (PendingRequest_ == 0) RaiseError(static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()));
    {
        WaitScope wait(*this);
        WaitUntil([&] { return Notified_.HostLookupDone || Stopped(); });
        if (Notified_.HostLookupDone) PendingRequest_ = 0;
    }
    RaiseIfStopped(StopReasons::CancelTimeOutOrError);
    Pump();
    for (const auto* ai = reinterpret_cast<const winsock::addrinfo*>(LookupAnswer_); ai; ai = ai->ai_next) {
        const SocketAddress address = CopySocketAddress(ai->ai_addr, static_cast<int>(ai->ai_addrlen));
        if (address.Length != 0) Candidates_.push_back(address);
    }
    if (Candidates_.empty()) RaiseError(kMsgErrorResolvingHost);
}

// HostAddress is the IPv4 address in use, for the data connections that
// speak IPv4 only. While the address in use is IPv6 it is all ones, which
// no connection reaches: 0 would reach this very machine.
void TznSocket::UseCandidate(std::size_t index) {
    Candidate_ = index;
    const SocketAddress& address = Candidates_[index];
    HostAddress_ = address.Family() == winsock::kAfInet
                       ? reinterpret_cast<const winsock::sockaddr_in*>(&address.Storage)->sin_addr
                       : winsock::kInaddrNone;
}

void TznSocket::ResolvePort() {
    if (const auto fromServer = static_cast<std::uint16_t>(PortPart() & 0xFFFF); fromServer != 0) {
        Port_ = fromServer;
        return;
    }
    if (ServiceName_.empty()) RaiseError(kMsgServiceNameRequired);
    if (Canceled_) RaiseCanceled();
    if (ServiceName_.size() > kServiceNameMax) {
        RaiseErrorText("Service name is longer than " + std::to_string(kServiceNameMax) + " characters", false);
    }
    PendingRequest_ = WinsockInstance.WSAAsyncGetServByName(NotifyWindow_, WM_SERVLOOKUP, ServiceName_.c_str(), "tcp",
                                                            LookupAnswer_, sizeof LookupAnswer_);
    if (PendingRequest_ == 0) {
        Port_ = DefaultPort_;
        return;
    }
    {
        // A late lookup is cancelled when the wait ends, so its answer can
        // never land in a later attempt's buffer.
        WaitScope wait(*this);
        WaitUntil([&] { return Notified_.ServiceLookupDone || Stopped(); });
        if (Notified_.ServiceLookupDone) PendingRequest_ = 0;
    }
    if (Canceled_) RaiseCanceled();
    // A failed or late service lookup falls back to the default port; a
    // time-out here stays set, so the connect that follows ends at once.
    if (AsyncError_ || TimeCounter_.TimedOut()) {
        Port_ = DefaultPort_;
        return;
    }
    const auto* service = reinterpret_cast<const winsock::servent*>(LookupAnswer_);
    Port_ = WinsockInstance.htons(static_cast<std::uint16_t>(service->s_port));
}

void TznSocket::CreateSocket() {
    EmptyInbox();
    SocketHandle_ = WinsockInstance.socket(Candidates_[Candidate_].Family(), winsock::kSockStream, 0);
    if (SocketHandle_ == winsock::INVALID_SOCKET) {
        RaiseError(static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()));
    }
}

void TznSocket::ConnectSocket() {
    {
        WaitScope wait(*this);
        StartConnect();
        // A connect notification that carries an error (a refused
        // connection) ends the wait at once instead of waiting out the
        // time-out, unless another address is left to try; so does a Close
        // from an event handler.
        WaitUntil([&] { return ConnectSettled() || Stopped(); });
    }
    FinishConnect();
}

void TznSocket::StartConnect() {
    if (Canceled_) RaiseCanceled();
    int code = BeginConnect();
    if (code != 0 && !TryNextAddress(code)) RaiseError(static_cast<std::uint16_t>(code));
}

// The connect to the address in use, on the socket made for it: 0 once it
// is under way, else the sockets error that stopped it.
int TznSocket::BeginConnect() {
    SocketAddress address = Candidates_[Candidate_];
    SetAddressPort(address, Port_);
    if (WinsockInstance.WSAAsyncSelect(
            SocketHandle_, NotifyWindow_, WM_SOCKETEVENT,
            winsock::FD_READ | winsock::FD_WRITE | winsock::FD_CONNECT | winsock::FD_CLOSE) == winsock::SOCKET_ERROR) {
        return WinsockInstance.WSAGetLastError();
    }
    if (WinsockInstance.connect(SocketHandle_, address.Get(), address.Length) == winsock::SOCKET_ERROR) {
        const int code = WinsockInstance.WSAGetLastError();
        if (code != winsock::WSAEWOULDBLOCK) return code;
    }
    return 0;
}

// After the connect to one address failed with `code`: the next addresses
// are tried in turn, each on a new socket of its family, until one connect
// is under way (true). The sockets given up never connected, so no close
// event goes out for them. False when none is left; `code` is then the
// last failure, and the last socket stays for the caller to report it on.
// Runs from the connect notification too, so it raises nothing.
bool TznSocket::TryNextAddress(int& code) {
    while (Candidate_ + 1 < Candidates_.size()) {
        const winsock::SOCKET next =
            WinsockInstance.socket(Candidates_[Candidate_ + 1].Family(), winsock::kSockStream, 0);
        UseCandidate(Candidate_ + 1);
        if (next == winsock::INVALID_SOCKET) {
            code = WinsockInstance.WSAGetLastError();  // no IPv6 here, say: the next address may do
            continue;
        }
        WinsockInstance.closesocket(SocketHandle_);
        SocketHandle_ = next;
        if (const int started = BeginConnect(); started != 0) {
            code = started;
            continue;
        }
        return true;
    }
    return false;
}

bool TznSocket::ConnectSettled() const { return Notified_.ConnectDone || ConnectFailed_ || !Connected(); }

void TznSocket::FinishConnect() {
    RaiseIfStopped();
    if (!Connected()) RaiseError(kMsgNotConnected);
    if (!Notified_.ConnectDone) RaiseErrorText(LoadMessage(AsyncErrorCode_), true);
    FireChecked(OnConnected, this);
}

int TznSocket::AddressFamily() const {
    return Connected() && Candidate_ < Candidates_.size() ? Candidates_[Candidate_].Family() : 0;
}

std::string TznSocket::PeerAddress() const {
    return Connected() && Candidate_ < Candidates_.size() ? AddressText(Candidates_[Candidate_]) : std::string();
}

std::string TznSocket::LocalAddress() const {
    if (!Connected()) return {};
    SocketAddress local;
    int length = sizeof local.Storage;
    if (WinsockInstance.getsockname(SocketHandle_, local.Get(), &length) == winsock::SOCKET_ERROR) return {};
    return AddressText(CopySocketAddress(local.Get(), length));
}

}  // namespace zn
