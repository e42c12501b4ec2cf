// SPDX-License-Identifier: MIT
#include "platform/wsock32/addresses.h"
#include "platform/wsock32/engine.h"
#include "platform/wsock32/libc_api.h"
#include "platform/wsock32/socket_table.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cerrno>
#include <cstring>

namespace wsock {
namespace {

int startups = 0;

// Most calls need a start-up first, as on the platform this stands in for.
bool Ready() {
    if (startups > 0) return true;
    SetLastError(WSANOTINITIALISED);
    return false;
}

SocketState* Known(SOCKET s) {
    if (!Ready()) return nullptr;
    SocketState* state = FindSocket(s);
    if (!state) SetLastError(WSAENOTSOCK);
    return state;
}

void SetNonBlocking(SocketState& state) {
    if (state.nonBlocking) return;
    // The library sets no other status flag on its sockets.
    fcntl(state.fd, F_SETFL, O_NONBLOCK);
    state.nonBlocking = true;
}

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

// Linux answers a send on a socket that never connected with EPIPE; the
// platform says "not connected".
bool RequireConnected(const SocketState& state) {
    if (state.connected || state.connectPending) return true;
    SetLastError(winsock::WSAENOTCONN);
    return false;
}

}  // namespace

bool Started() { return startups > 0; }

int Startup(WORD version, winsock::WSADATA* data) {
    const int major = version & 0xFF, minor = version >> 8;
    if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
    if (data) {
        std::memset(data, 0, sizeof *data);
        data->wVersion = 0x0101;
        data->wHighVersion = 0x0101;
        std::strcpy(data->szDescription, "DirWeigh sockets over POSIX");
        std::strcpy(data->szSystemStatus, "Running");
        data->iMaxSockets = 1024;
    }
    ++startups;
    return 0;
}

int Cleanup() {
    if (!Ready()) return SOCKET_ERROR;
    if (--startups == 0) {
        CloseAllSockets();
        CancelAllLookups();
    }
    return 0;
}

SOCKET Socket(int af, int type, int protocol) {
    if (!Ready()) return INVALID_SOCKET;
    if ((af != winsock::kAfInet && af != winsock::kAfInet6) || type != winsock::kSockStream) {
        SetLastError(af != winsock::kAfInet && af != winsock::kAfInet6 ? 10047 : 10044);
        return INVALID_SOCKET;
    }
    int fd = C().socket(NativeFamily(af), SOCK_STREAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) return FailFromErrno();
    if (af == winsock::kAfInet6) {
        // An IPv6 socket carries IPv6 only, as it does on the platform by
        // default; Linux would otherwise take IPv4 on it too.
        const int on = 1;
        C().setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    AddSocket(fd).inet6 = af == winsock::kAfInet6;
    return fd;
}

int Close(SOCKET s) {
    SocketState* state = Known(s);
    if (!state) return SOCKET_ERROR;
    const int fd = state->fd;
    RemoveSocket(s);  // the notifiers go before the descriptor does
    C().close(fd);
    return 0;
}

int Bind(SOCKET s, const winsock::sockaddr* addr, int len) {
    SocketState* state = Known(s);
    if (!state) return SOCKET_ERROR;
    ::sockaddr_storage native;
    socklen_t nativeLen = 0;
    if (!ToNative(addr, len, native, nativeLen)) return SOCKET_ERROR;
    if (C().bind(state->fd, reinterpret_cast<const ::sockaddr*>(&native), nativeLen) != 0) return FailFromErrno();
    return 0;
}

int Listen(SOCKET s, int backlog) {
    SocketState* state = Known(s);
    if (!state) return SOCKET_ERROR;
    if (C().listen(state->fd, backlog) != 0) return FailFromErrno();
    state->listening = true;
    UpdateNotifiers(*state);
    return 0;
}

SOCKET Accept(SOCKET s, winsock::sockaddr* addr, int* len) {
    SocketState* listener = Known(s);
    if (!listener) return INVALID_SOCKET;
    // Judged before the connection is taken, so that none is lost to it.
    if (addr && len && listener->inet6 && *len < static_cast<int>(sizeof(winsock::sockaddr_in6))) {
        SetLastError(WSAEFAULT);
        return INVALID_SOCKET;
    }
    ::sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    const int flags = SOCK_CLOEXEC | (listener->nonBlocking ? SOCK_NONBLOCK : 0);
    int fd = C().accept4(listener->fd, reinterpret_cast<::sockaddr*>(&peer), &size, flags);
    if (fd < 0) {
        if (WouldBlock()) {
            listener->wakeOnRead = true;
            UpdateNotifiers(*listener);
        }
        return FailFromErrno();
    }
    if (addr && len) FromNative(peer, size, addr, len);
    // An accepted socket takes over the listener's registration.
    SocketState& state = AddSocket(fd);
    state.inet6 = listener->inet6;
    state.window = listener->window;
    state.msg = listener->msg;
    state.events = listener->events & ~FD_ACCEPT;
    state.nonBlocking = listener->nonBlocking;
    state.connected = true;
    state.readArmed = true;
    state.writeWanted = (state.events & FD_WRITE) != 0;
    UpdateNotifiers(state);
    return fd;
}

int Connect(SOCKET s, const winsock::sockaddr* addr, int len) {
    SocketState* state = Known(s);
    if (!state) return SOCKET_ERROR;
    ::sockaddr_storage native;
    socklen_t nativeLen = 0;
    if (!ToNative(addr, len, native, nativeLen)) return SOCKET_ERROR;
    if (C().connect(state->fd, reinterpret_cast<const ::sockaddr*>(&native), nativeLen) == 0) {
        state->connected = true;
        state->readArmed = true;
        if (state->nonBlocking) {
            // Even an immediate connect is announced, as the platform does.
            state->connectPending = true;
            state->connected = false;
        }
        UpdateNotifiers(*state);
        return 0;
    }
    if (errno == EINPROGRESS) {
        state->connectPending = true;
        UpdateNotifiers(*state);
        SetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    }
    return FailFromErrno();
}

int GetSockName(SOCKET s, winsock::sockaddr* addr, int* len) {
    SocketState* state = Known(s);
    if (!state) return SOCKET_ERROR;
    if (!addr || !len) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    ::sockaddr_storage local{};
    socklen_t size = sizeof local;
    if (C().getsockname(state->fd, reinterpret_cast<::sockaddr*>(&local), &size) != 0) return FailFromErrno();
    return FromNative(local, size, addr, len) ? 0 : SOCKET_ERROR;
}

int Recv(SOCKET s, char* buf, int len, int flags) {
    SocketState* state = Known(s);
    if (!state || !RequireConnected(*state)) return SOCKET_ERROR;
    if (state->resetError) {
        SetLastError(state->resetError);
        return SOCKET_ERROR;
    }
    ssize_t n = C().recv(state->fd, buf, static_cast<size_t>(len < 0 ? 0 : len), flags);
    if (n < 0 && EndsConnection(errno)) state->resetError = TranslateErrno(errno);
    if (n > 0 && !(flags & MSG_PEEK)) OweAcknowledgement(*state);
    // A read re-enables FD_READ; a read that finds nothing also arms the
    // wake-up, so a wait blocked in the event loop returns when data comes.
    state->readArmed = true;
    if (n < 0 && WouldBlock()) state->wakeOnRead = true;
    UpdateNotifiers(*state);
    if (n < 0) return FailFromErrno();
    return static_cast<int>(n);
}

int Send(SOCKET s, const char* buf, int len, int flags) {
    SocketState* state = Known(s);
    if (!state || !RequireConnected(*state)) return SOCKET_ERROR;
    ssize_t n = C().send(state->fd, buf, static_cast<size_t>(len < 0 ? 0 : len), flags | MSG_NOSIGNAL);
    if (n < 0) {
        if (WouldBlock()) {
            state->writeWanted = true;
            state->wakeOnWrite = true;
            UpdateNotifiers(*state);
        }
        return FailFromErrno();
    }
    state->ackOwed = false;  // the acknowledgement went with the data
    return static_cast<int>(n);
}

int AsyncSelect(SOCKET s, HWND window, UINT msg, long events) {
    SocketState* state = Known(s);
    if (!state) return SOCKET_ERROR;
    static std::uint64_t selectSerial = 0;
    state->window = window;
    state->msg = msg;
    state->events = events;
    state->selectSerial = ++selectSerial;
    SetNonBlocking(*state);
    if (state->connected) {
        state->readArmed = true;
        state->writeWanted = (events & FD_WRITE) != 0;
    }
    UpdateNotifiers(*state);
    return 0;
}

u_short HostToNetShort(u_short value) { return static_cast<u_short>((value >> 8) | (value << 8)); }

u_long InetAddr(const char* text) {
    in_addr addr{};
    if (!text || inet_aton(text, &addr) == 0) return winsock::kInaddrNone;
    return addr.s_addr;
}

int GetHostName(char* name, int len) {
    if (!Ready()) return SOCKET_ERROR;
    if (!name || len <= 0 || C().gethostname(name, static_cast<size_t>(len)) != 0) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    return 0;
}

}  // namespace wsock
