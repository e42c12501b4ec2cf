// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/core/socket_address.h"
#include "net/core/winsock.h"
#include "net/tls_channel.h"
#include "platform/messages.h"

namespace zn {

// One listing's data connection (RFC 959, section 3.2): the listener of the
// active mode, the connect of the passive mode, and the connection itself
// with its TLS. Whatever it opened is closed in one place, Close, which its
// end calls too, so no way out of a listing leaves a socket behind.
//
// It never waits and never raises: the client owns the waits, with their
// time-out and Cancel, and asks it what its notifications said; a failed
// sockets call comes back as its code, for the client to report.
class TznDataConnection {
public:
    TznDataConnection() = default;
    ~TznDataConnection();
    TznDataConnection(const TznDataConnection&) = delete;
    TznDataConnection& operator=(const TznDataConnection&) = delete;

    // Active mode: listens on `local` (the control connection's own
    // address, so that only the server's side of the network can reach
    // it) at a port the system picks. 0, or the failure's code.
    std::uint16_t Listen(SocketAddress local);
    // The listener's address, to announce with PORT or EPRT. 0, or the code.
    std::uint16_t ListeningAddress(SocketAddress& address) const;
    // Takes a connection from `peer` (the control connection's server, as
    // text) and closes the listener; any other comer is turned away at
    // once, so nobody else can slip a listing in. False when none from the
    // server was waiting; `error` is set when accept failed.
    bool Accept(const std::string& peer, std::uint16_t& error);

    // Passive mode: starts the connect to `server`; Connected or Error
    // tells when it has settled. 0, or the code of a call that failed.
    std::uint16_t Connect(const SocketAddress& server);

    bool Connected() const { return Connected_; }
    // The server closed its end (after the data, which stays readable).
    bool Closed() const { return Closed_; }
    // The error the last notification carried; 0 for none.
    std::uint16_t Error() const { return Error_; }

    // The connection becomes a TLS client of `context`, the certificate to
    // name `host`, resuming `resume` when set; the client completes the
    // handshake, which waits.
    TlsChannel& StartTls(std::shared_ptr<TlsContext> context, const std::string& host, SSL_SESSION* resume);
    TlsChannel* Tls() const { return Tls_.get(); }

    // One plain read: the bytes, 0 at the end of the stream, SOCKET_ERROR
    // when nothing is there (`error` set unless that is only for now).
    int Receive(char* buffer, int size, std::uint16_t& error);

    // Ends TLS with close_notify, then closes the connection and the
    // listener. Safe to call again.
    void Close();

private:
    // Notifications of `events` on the connection go to a window of this
    // connection's own: its errors must neither hide nor clear one pending
    // on the control connection.
    std::uint16_t Watch(long events);
    platform::HWND Window();
    platform::LRESULT HandleMessage(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);

    winsock::SOCKET Listener_ = winsock::INVALID_SOCKET;
    winsock::SOCKET Socket_ = winsock::INVALID_SOCKET;
    platform::HWND Window_ = 0;
    std::unique_ptr<TlsChannel> Tls_;
    bool Connected_ = false;
    bool Closed_ = false;
    std::uint16_t Error_ = 0;
};

}  // namespace zn
