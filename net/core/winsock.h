// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/modules.h"
#include "platform/wsock32/winsock.h"

namespace zn {

// The sockets library reached at run time by name. Each entry point is
// looked up on every call; a missing library or entry point raises
// EWinsockDLLError. Results go back to the caller unchanged.
class TznWinsock {
public:
    using SOCKET = winsock::SOCKET;
    using HANDLE = winsock::HANDLE;
    using HWND = winsock::HWND;
    using UINT = winsock::UINT;

    TznWinsock() = default;
    ~TznWinsock();
    TznWinsock(const TznWinsock&) = delete;
    TznWinsock& operator=(const TznWinsock&) = delete;

    bool IsLoaded() const { return LibHandle != 0; }
    void Load();
    void Unload();
    void* GetProc(const std::string& name);

    SOCKET accept(SOCKET s, winsock::sockaddr* addr, int* addrlen);
    int bind(SOCKET s, const winsock::sockaddr* addr, int namelen);
    int closesocket(SOCKET s);
    int connect(SOCKET s, const winsock::sockaddr* name, int namelen);
    int getsockname(SOCKET s, winsock::sockaddr* name, int* namelen);
    // In parentheses: optimising C library headers make htons a macro.
    winsock::u_short(htons)(winsock::u_short hostshort);
    winsock::u_long inet_addr(const char* cp);
    int listen(SOCKET s, int backlog);
    int recv(SOCKET s, char* buf, int len, int flags);
    int send(SOCKET s, const char* buf, int len, int flags);
    SOCKET socket(int af, int type, int protocol);
    winsock::hostent* gethostbyname(const char* name);
    int gethostname(char* name, int namelen);
    winsock::servent* getservbyname(const char* name, const char* proto);
    int WSAStartup(winsock::WORD version, winsock::WSADATA* data);
    int WSACleanup();
    int WSAGetLastError();
    winsock::BOOL WSAIsBlocking();
    int WSACancelBlockingCall();
    HANDLE WSAAsyncGetServByName(HWND hWnd, UINT wMsg, const char* name, const char* proto, char* buf, int buflen);
    HANDLE WSAAsyncGetHostByName(HWND hWnd, UINT wMsg, const char* name, char* buf, int buflen);
    int WSACancelAsyncRequest(HANDLE hAsyncTaskHandle);
    int WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent);
    // IPv6 and lookups of either family (see platform/wsock32/winsock.h).
    int getaddrinfo(const char* node, const char* service, const winsock::addrinfo* hints, winsock::addrinfo** result);
    void freeaddrinfo(winsock::addrinfo* info);
    int inet_pton(int family, const char* text, void* address);
    const char* inet_ntop(int family, const void* address, char* text, std::size_t size);
    HANDLE WSAAsyncGetAddrInfo(HWND hWnd, UINT wMsg, const char* node, const char* service,
                               const winsock::addrinfo* hints, char* buf, int buflen);

    platform::HMODULE LibHandle = 0;

private:
    template <typename Fn>
    Fn Proc(const char* name) {
        return reinterpret_cast<Fn>(GetProc(name));
    }
};

// The one binding of the process, from program start to program end.
extern TznWinsock WinsockInstance;

// The error (high word) and the event (low word) of a notification's lParam.
inline std::uint16_t SelectError(std::intptr_t lParam) { return static_cast<std::uint16_t>((lParam >> 16) & 0xFFFF); }
inline std::uint16_t SelectEvent(std::intptr_t lParam) { return static_cast<std::uint16_t>(lParam & 0xFFFF); }

}  // namespace zn
