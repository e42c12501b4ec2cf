// SPDX-License-Identifier: MIT
// Passive mode (RFC 959, section 4.1.2, PASV): the server listens and the
// client connects. Only the port of the 227 reply is used; the address is
// always the control connection's peer, so a reply cannot send the data
// connection to a third host.

#include "ftp/client/ftp.h"

#include "net/core/errors.h"

#include <cstdio>

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

}  // namespace

void TznFTP::ConnectPassiveData() {
    SendLine("PASV");
    ExpectCodes(ReadReply(), {227});
    const std::uint16_t port = PassivePort(LastReply());
    if (port == 0) throw EServerError(LastReply());

    DataSocket = WinsockInstance.socket(winsock::kAfInet, winsock::kSockStream, winsock::kIpprotoTcp);
    if (DataSocket == winsock::INVALID_SOCKET)
        RaiseError(static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()));
    DataWindow = platform::CreateHiddenWindow(
        [this](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) { return HandleDataMessage(msg, w, l); });
    // AsyncError belongs to the control connection; an error pending there
    // must still end the next wait, so only the data flag starts afresh.
    DataConnected = false;
    DataErrorCode = 0;
    if (WinsockInstance.WSAAsyncSelect(DataSocket, DataWindow, WM_SOCKETEVENT,
                                       winsock::FD_CONNECT | winsock::FD_CLOSE) == winsock::SOCKET_ERROR) {
        RaiseError(static_cast<std::uint16_t>(WinsockInstance.WSAGetLastError()));
    }
    winsock::sockaddr_in server{};
    server.sin_family = winsock::kAfInet;
    server.sin_port = WinsockInstance.htons(port);
    server.sin_addr = HostAddress();
    TimeCounter().Start();
    if (WinsockInstance.connect(DataSocket, reinterpret_cast<const winsock::sockaddr*>(&server), sizeof server) ==
        winsock::SOCKET_ERROR) {
        const int code = WinsockInstance.WSAGetLastError();
        if (code != winsock::WSAEWOULDBLOCK) RaiseError(static_cast<std::uint16_t>(code));
    }
    WaitUntil([&] { return DataConnected || DataErrorCode || Stopped(StopReasons::CancelTimeOutOrError); });
    TimeCounter().Stop();
    RaiseIfStopped(StopReasons::CancelTimeOutOrError);
    if (!DataConnected) RaiseError(DataErrorCode);
}

}  // namespace zn
