// SPDX-License-Identifier: MIT
#pragma once

#include <QSocketNotifier>

#include <cstdint>
#include <memory>

#include "platform/wsock32/engine.h"

namespace wsock {

// What the library knows of one socket: its asynchronous registration and
// the notifiers that turn readiness into the platform's notifications.
struct SocketState {
    int fd = -1;
    std::uint64_t serial = 0;  // tells a reused descriptor from its predecessor

    HWND window = 0;
    UINT msg = 0;
    long events = 0;
    std::uint64_t selectSerial = 0;  // a new registration drops older notifications
    bool nonBlocking = false;
    bool listening = false;
    bool inet6 = false;  // addresses of the platform's IPv6 layout

    bool connectPending = false;  // FD_CONNECT still to come
    bool connected = false;
    bool readArmed = false;      // FD_READ may be posted (again after each recv)
    bool closeReported = false;  // FD_CLOSE goes out once
    bool writeWanted = false;    // FD_WRITE after a send that would block
    bool wakeOnRead = false;     // one-shot wake-ups for waits in the event loop
    bool wakeOnWrite = false;
    // Linux reports a reset to one read only; the platform reports it to
    // every read after it. Kept here once seen, by a peek or a read.
    int resetError = 0;
    bool ackOwed = false;  // data read and not acknowledged yet

    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
};

SocketState* FindSocket(SOCKET s);
SocketState& AddSocket(int fd);
void RemoveSocket(SOCKET s);
// Enables exactly the notifiers that the socket's state needs.
void UpdateNotifiers(SocketState& state);
// Data was just read from the socket. Its acknowledgement goes out with
// the next send, or at once when the program is about to block in the event
// loop first: a peer that holds its next small segment until the last one is
// acknowledged (Nagle) would otherwise wait out the delayed acknowledgement,
// about 40 ms, with the program waiting for that very segment.
void OweAcknowledgement(SocketState& state);
// Every socket still open, closed; used when the last start-up is undone.
void CloseAllSockets();

}  // namespace wsock
