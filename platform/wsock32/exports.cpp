// SPDX-License-Identifier: MIT
// The 23 entry points of the sockets library, and those for IPv6 after
// them, by their platform names and with C linkage. This file includes no
// system socket header: its recv, send and friends are the library's own,
// and they reach the C library only through the implementation.

#include "platform/wsock32/engine.h"

#define WSOCK_EXPORT extern "C" __attribute__((visibility("default")))

using namespace winsock;

WSOCK_EXPORT SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) { return wsock::Accept(s, addr, addrlen); }
WSOCK_EXPORT int bind(SOCKET s, const sockaddr* addr, int namelen) { return wsock::Bind(s, addr, namelen); }
WSOCK_EXPORT int closesocket(SOCKET s) { return wsock::Close(s); }
WSOCK_EXPORT int connect(SOCKET s, const sockaddr* name, int namelen) { return wsock::Connect(s, name, namelen); }
WSOCK_EXPORT int getsockname(SOCKET s, sockaddr* name, int* namelen) { return wsock::GetSockName(s, name, namelen); }
WSOCK_EXPORT u_short htons(u_short hostshort) { return wsock::HostToNetShort(hostshort); }
WSOCK_EXPORT u_long inet_addr(const char* cp) { return wsock::InetAddr(cp); }
WSOCK_EXPORT int listen(SOCKET s, int backlog) { return wsock::Listen(s, backlog); }
WSOCK_EXPORT int recv(SOCKET s, char* buf, int len, int flags) { return wsock::Recv(s, buf, len, flags); }
WSOCK_EXPORT int send(SOCKET s, const char* buf, int len, int flags) { return wsock::Send(s, buf, len, flags); }
WSOCK_EXPORT SOCKET socket(int af, int type, int protocol) { return wsock::Socket(af, type, protocol); }
WSOCK_EXPORT hostent* gethostbyname(const char* name) { return wsock::GetHostByName(name); }
WSOCK_EXPORT int gethostname(char* name, int namelen) { return wsock::GetHostName(name, namelen); }
WSOCK_EXPORT servent* getservbyname(const char* name, const char* proto) { return wsock::GetServByName(name, proto); }
WSOCK_EXPORT int WSAStartup(WORD version, WSADATA* data) { return wsock::Startup(version, data); }
WSOCK_EXPORT int WSACleanup() { return wsock::Cleanup(); }
WSOCK_EXPORT int WSAGetLastError() { return wsock::LastError(); }
// There are no blocking hooks: no call is ever "in progress" to be cancelled.
WSOCK_EXPORT BOOL WSAIsBlocking() { return 0; }
WSOCK_EXPORT int WSACancelBlockingCall() {
    wsock::SetLastError(WSAEINVAL);
    return SOCKET_ERROR;
}
WSOCK_EXPORT HANDLE WSAAsyncGetServByName(HWND hWnd, UINT wMsg, const char* name, const char* proto, char* buf,
                                          int buflen) {
    return wsock::AsyncGetServByName(hWnd, wMsg, name, proto, buf, buflen);
}
WSOCK_EXPORT HANDLE WSAAsyncGetHostByName(HWND hWnd, UINT wMsg, const char* name, char* buf, int buflen) {
    return wsock::AsyncGetHostByName(hWnd, wMsg, name, buf, buflen);
}
WSOCK_EXPORT int WSACancelAsyncRequest(HANDLE hAsyncTaskHandle) { return wsock::CancelAsyncRequest(hAsyncTaskHandle); }
WSOCK_EXPORT int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent) {
    return wsock::AsyncSelect(s, hWnd, wMsg, lEvent);
}

WSOCK_EXPORT int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    return wsock::GetAddrInfo(node, service, hints, result);
}
WSOCK_EXPORT void freeaddrinfo(addrinfo* info) { wsock::FreeAddrInfo(info); }
WSOCK_EXPORT int inet_pton(int family, const char* text, void* address) {
    return wsock::InetPton(family, text, address);
}
WSOCK_EXPORT const char* inet_ntop(int family, const void* address, char* text, std::size_t size) {
    return wsock::InetNtop(family, address, text, size);
}
WSOCK_EXPORT HANDLE WSAAsyncGetAddrInfo(HWND hWnd, UINT wMsg, const char* node, const char* service,
                                        const addrinfo* hints, char* buf, int buflen) {
    return wsock::AsyncGetAddrInfo(hWnd, wMsg, node, service, hints, buf, buflen);
}
