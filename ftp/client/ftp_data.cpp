// SPDX-License-Identifier: MIT
// Opening a listing's data connection, in either mode, and the waits that
// go with it; the connection itself is a TznDataConnection.
//
// Active mode (RFC 959, section 3.2): the client listens, announces the
// address with PORT, and the server connects to it. Passive mode (section
// 4.1.2, PASV): the server listens and the client connects. Only the port
// of the 227 reply is used; the address is always the control connection's
// peer, so a reply cannot send the data connection to a third host.
//
// EPRT and EPSV (RFC 2428) do the same for any address family; they are
// used where FEAT lists them, and a server that then refuses one gets the
// older command for the rest of the session.

#include "ftp/client/ftp.h"

#include "net/core/errors.h"
#include "net/core/socket_address.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace zn {
namespace {

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)": the port, 0 when the
// reply holds no such numbers.
std::uint16_t PassivePort(const std::string& reply) {
    for (std::size_t at = reply.find_first_of("0123456789", 3); at != std::string::npos;
         at = reply.find_first_of("0123456789", at + 1)) {
        unsigned h1, h2, h3, h4, p1, p2;
        if (std::sscanf(reply.c_str() + at, "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) == 6 && p1 < 256 &&
            p2 < 256) {
            return static_cast<std::uint16_t>(p1 * 256 + p2);
        }
    }
    return 0;
}

// "229 Entering Extended Passive Mode (|||6446|)": the port, 0 when the
// reply holds none. The delimiter is whichever character the server chose.
std::uint16_t ExtendedPassivePort(const std::string& reply) {
    const std::size_t open = reply.find('(');
    if (open == std::string::npos || open + 5 >= reply.size()) return 0;
    const char delimiter = reply[open + 1];
    if (reply[open + 2] != delimiter || reply[open + 3] != delimiter) return 0;
    unsigned port = 0;
    std::size_t at = open + 4;
    for (; at < reply.size() && std::isdigit(static_cast<unsigned char>(reply[at])) && port <= 65535; ++at) {
        port = port * 10 + static_cast<unsigned>(reply[at] - '0');
    }
    const bool whole = at > open + 4 && at < reply.size() && reply[at] == delimiter && port <= 65535;
    return whole ? static_cast<std::uint16_t>(port) : 0;
}

}  // namespace

// FEAT's reply has a line naming `verb` (" EPSV").
bool FeatureListed(const std::vector<std::string>& features, const char* verb) {
    for (const std::string& line : features) {
        const std::size_t start = line.find_first_not_of(' ');
        const std::size_t end = line.find_last_not_of(' ');
        if (start != std::string::npos && strncasecmp(line.c_str() + start, verb, end + 1 - start) == 0 &&
            std::strlen(verb) == end + 1 - start) {
            return true;
        }
    }
    return false;
}

void TznFTP::OpenDataConnection(const std::string& command) {
    Data_ = std::make_unique<TznDataConnection>();
    if (!Passive_ && OpenActiveDataConnection(command)) {
        SecureDataConnection();
        return;
    }
    if (!Passive_) FallBackToPassive();
    ConnectPassiveData();
    if (Exchange(command, Expect::DataOpening).Said != Answer::AsExpected) throw EServerError(LastReply());
    SecureDataConnection();
}

// The listener is bound to the local address of the control connection,
// not to every interface, so that it is reachable only where the server
// is; its own address is then the one to announce. False when the server
// could not connect back and passive mode may be tried instead: the
// dialogue is then in step again.
bool TznFTP::OpenActiveDataConnection(const std::string& command) {
    winsock::sockaddr_storage local{};
    int length = sizeof local;
    if (WinsockInstance.getsockname(SocketHandle(), reinterpret_cast<winsock::sockaddr*>(&local), &length) != 0) {
        RaiseError(static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()));
    }
    RaiseIfError(Data_->Listen(CopySocketAddress(reinterpret_cast<const winsock::sockaddr*>(&local), length)));
    SendPort();
    if (Exchange(command, Expect::DataOpening).Said == Answer::Refused) {
        if (PassiveFallback_) return NoteConnectBackFailure(LastReply());
        throw EServerError(LastReply() + ConnectBackFailed());
    }
    return AcceptDataConnection();
}

std::string TznFTP::ConnectBackFailed() const {
    return " (the server could not connect back" +
           (ConnectBackAdvice_.empty() ? std::string() : "; " + ConnectBackAdvice_) + ")";
}

// Over IPv6 only EPRT can say where to connect; over IPv4, EPRT where
// FEAT lists it, else PORT.
void TznFTP::SendPort() {
    SocketAddress listening;
    RaiseIfError(Data_->ListeningAddress(listening));
    const std::uint16_t port = AddressPort(listening);
    const std::string address = AddressText(listening);
    const bool ipv6 = listening.Family() == winsock::kAfInet6;
    if (ipv6 || Eprt_ == Extended::Listed) {
        const std::string eprt =
            "EPRT |" + std::string(ipv6 ? "2" : "1") + "|" + address + "|" + std::to_string(port) + "|";
        if (Exchange(eprt, Expect::Offered).Said == Answer::AsExpected) return;
        if (ipv6) throw EServerError(LastReply());
        Eprt_ = Extended::Refused;
    }
    std::string numbers = address;
    std::replace(numbers.begin(), numbers.end(), '.', ',');
    Exchange("PORT " + numbers + "," + std::to_string(port / 256) + "," + std::to_string(port % 256), Expect::Positive);
}

// The wait ends as well when the server answers instead of connecting: a
// server that gives up at once says so with 425, and waiting out the
// time-out would only keep the user waiting.
bool TznFTP::AcceptDataConnection() {
    std::uint16_t error = 0;
    TimeCounter().Start();
    WaitUntil([&] { return Stopped() || error || Data_->Accept(PeerAddress(), error) || LineWaiting(); });
    TimeCounter().Stop();
    RaiseIfError(error);
    if (Data_->Connected()) return true;
    if (Canceled()) RaiseCanceled();
    const bool timedOut = TimeCounter().TimedOut();
    if (timedOut && !PassiveFallback_) RaiseTimeOut(ConnectBackFailed());
    if (timedOut) {
        // The listing command still owes its reply: once nobody listens, a
        // server that can reach this side is refused at once and says so.
        Data_->Close();
        TimeCounter().SetTimedOut(false);
    }
    // The listing command's final reply, owed since its "1xx", can now only
    // say why no connection came.
    Ahead_.front().Expects = Expect::ConnectBackFailure;
    const Reply reply = Receive(nullptr);
    if (!PassiveFallback_) throw EServerError(LastReply() + (reply.Code == 425 ? ConnectBackFailed() : std::string()));
    return NoteConnectBackFailure(
        timedOut ? "no connection within " + std::to_string(TimeOut()) + " seconds, then " + LastReply() : LastReply());
}

bool TznFTP::NoteConnectBackFailure(const std::string& what) {
    PassiveFallbackReason_ = "The server could not connect back for the listing (" + what +
                             "); trying it in passive mode, which stays on until Disconnect";
    return false;
}

void TznFTP::FallBackToPassive() {
    Passive_ = true;
    Data_ = std::make_unique<TznDataConnection>();
    FireChecked(OnPassiveFallback, this);
}

// The port the server listens on for this listing: from EPSV, which is
// the only way over IPv6, or from PASV.
std::uint16_t TznFTP::AskPassivePort() {
    const bool ipv6 = AddressFamily() == winsock::kAfInet6;
    if (ipv6 || Epsv_ == Extended::Listed) {
        const Answer said = Exchange("EPSV", Expect::Offered, {229}).Said;
        const std::uint16_t port = ExtendedPassivePort(LastReply());
        if (said == Answer::AsExpected && port != 0) return port;
        if (said == Answer::AsExpected || ipv6) throw EServerError(LastReply());
        Epsv_ = Extended::Refused;
    }
    Exchange("PASV", Expect::OneOf, {227});
    return PassivePort(LastReply());
}

void TznFTP::ConnectPassiveData() {
    const std::uint16_t port = AskPassivePort();
    if (port == 0) throw EServerError(LastReply());

    const std::optional<SocketAddress> server = MakeSocketAddress(PeerAddress(), port);
    if (!server) RaiseError(winsock::WSAEFAULT);
    TimeCounter().Start();
    RaiseIfError(Data_->Connect(*server));
    // AsyncError belongs to the control connection; an error pending there
    // must still end the wait, and the data connection's are its own.
    WaitUntil([&] { return Data_->Connected() || Data_->Error() || Stopped(StopReasons::CancelTimeOutOrError); });
    TimeCounter().Stop();
    RaiseIfStopped(StopReasons::CancelTimeOutOrError);
    if (!Data_->Connected()) RaiseError(Data_->Error());
}

}  // namespace zn
