// SPDX-License-Identifier: MIT
#include "platform/wsock32/socket_table.h"

#include "platform/messages.h"
#include "platform/wsock32/engine.h"
#include "platform/wsock32/libc_api.h"

#include <QAbstractEventDispatcher>
#include <QPointer>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <map>
#include <utility>

namespace wsock {
namespace {

std::map<SOCKET, std::unique_ptr<SocketState>>& Table() {
    static std::map<SOCKET, std::unique_ptr<SocketState>> table;
    return table;
}

std::uint64_t NextSerial() {
    static std::uint64_t serial = 0;
    return ++serial;
}

// Notifications are checked again when they are delivered: one for a socket
// closed or registered anew in the meantime is dropped. True when one was
// posted.
bool Notify(SocketState& state, long event, int error) {
    if (!(state.events & event) || !state.window) return false;
    const SOCKET s = state.fd;
    const std::uint64_t serial = state.serial, selectSerial = state.selectSerial;
    const HWND window = state.window;
    const UINT msg = state.msg;
    platform::PostCallback([=] {
        SocketState* now = FindSocket(s);
        if (!now || now->serial != serial || now->selectSerial != selectSerial) return;
        platform::SendMessage(window, msg, static_cast<platform::WPARAM>(s),
                              static_cast<platform::LPARAM>(MakeSelectReply(static_cast<int>(event), error)));
    });
    return true;
}

// A wake-up armed by a read or write that would block is meant for the wait
// that follows it. When readiness is seen while the program is not waiting
// (it processes its messages between two reads) and no notification is
// posted for it, the wait that comes next would sleep with the data, or the
// close, already there, until something else happened: the stall of about
// 40 ms that a server waiting for the client's close then ends. An empty
// posted message makes that wait return.
void KeepWakeUp() {
    platform::PostCallback([] {});
}

void OnReadable(SOCKET s, std::uint64_t serial) {
    SocketState* state = FindSocket(s);
    if (!state || state->serial != serial) return;
    const bool wakeWanted = std::exchange(state->wakeOnRead, false);
    bool posted = false;
    if (state->listening) {
        posted = Notify(*state, FD_ACCEPT, 0);
    } else if (state->connected && !state->closeReported && state->readArmed) {
        // Peek to tell data from the end of the stream: FD_CLOSE comes only
        // once everything before it has been read.
        char byte;
        ssize_t n = C().recv(state->fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            state->readArmed = false;
            posted = Notify(*state, FD_READ, 0);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            if (n < 0 && EndsConnection(errno)) state->resetError = TranslateErrno(errno);
            state->closeReported = true;
            posted = Notify(*state, FD_CLOSE, state->resetError);
        }
    }
    if (wakeWanted && !posted) KeepWakeUp();
    UpdateNotifiers(*state);
}

void OnWritable(SOCKET s, std::uint64_t serial) {
    SocketState* state = FindSocket(s);
    if (!state || state->serial != serial) return;
    const bool wakeWanted = std::exchange(state->wakeOnWrite, false);
    bool posted = false;
    if (state->connectPending) {
        state->connectPending = false;
        int error = 0;
        socklen_t len = sizeof error;
        C().getsockopt(state->fd, SOL_SOCKET, SO_ERROR, &error, &len);
        posted = Notify(*state, FD_CONNECT, error ? TranslateErrno(error) : 0);
        if (!error) {
            state->connected = true;
            state->readArmed = true;
            posted = Notify(*state, FD_WRITE, 0) || posted;
        }
    } else if (state->writeWanted) {
        state->writeWanted = false;
        posted = Notify(*state, FD_WRITE, 0);
    }
    if (wakeWanted && !posted) KeepWakeUp();
    UpdateNotifiers(*state);
}

void AcknowledgeNow(const SocketState& state) {
    const int on = 1;
    C().setsockopt(state.fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

void AcknowledgeOwed() {
    for (auto& [s, state] : Table()) {
        if (std::exchange(state->ackOwed, false)) AcknowledgeNow(*state);
    }
}

// False without an event loop to watch; a new application object brings a
// new dispatcher, watched in its turn.
bool WatchBlocking() {
    static QPointer<QAbstractEventDispatcher> watched;
    QAbstractEventDispatcher* const dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return false;
    if (watched != dispatcher) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, AcknowledgeOwed);
        watched = dispatcher;
    }
    return true;
}

}  // namespace

void OweAcknowledgement(SocketState& state) {
    if (WatchBlocking()) {
        state.ackOwed = true;
    } else {
        AcknowledgeNow(state);
    }
}

SocketState* FindSocket(SOCKET s) {
    auto it = Table().find(s);
    return it == Table().end() ? nullptr : it->second.get();
}

SocketState& AddSocket(int fd) {
    auto state = std::make_unique<SocketState>();
    state->fd = fd;
    state->serial = NextSerial();
    SocketState& ref = *state;
    Table()[fd] = std::move(state);
    return ref;
}

void RemoveSocket(SOCKET s) { Table().erase(s); }

void UpdateNotifiers(SocketState& state) {
    const bool selected = state.window != 0 && state.events != 0;
    const bool wantRead = state.wakeOnRead || (selected && state.listening && (state.events & FD_ACCEPT)) ||
                          (selected && state.connected && !state.closeReported && state.readArmed &&
                           (state.events & (FD_READ | FD_CLOSE)));
    const bool wantWrite = state.wakeOnWrite || state.connectPending || (selected && state.writeWanted);

    if (wantRead && !state.readNotifier) {
        state.readNotifier = std::make_unique<QSocketNotifier>(state.fd, QSocketNotifier::Read);
        QObject::connect(state.readNotifier.get(), &QSocketNotifier::activated,
                         platform::Guarded([s = state.fd, serial = state.serial] { OnReadable(s, serial); }));
    }
    if (wantWrite && !state.writeNotifier) {
        state.writeNotifier = std::make_unique<QSocketNotifier>(state.fd, QSocketNotifier::Write);
        QObject::connect(state.writeNotifier.get(), &QSocketNotifier::activated,
                         platform::Guarded([s = state.fd, serial = state.serial] { OnWritable(s, serial); }));
    }
    if (state.readNotifier) state.readNotifier->setEnabled(wantRead);
    if (state.writeNotifier) state.writeNotifier->setEnabled(wantWrite);
}

void CloseAllSockets() {
    for (auto& [s, state] : Table()) C().close(state->fd);
    Table().clear();
}

}  // namespace wsock
