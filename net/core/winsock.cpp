// SPDX-License-Identifier: MIT
#include "net/core/winsock.h"

#include "net/core/errors.h"
#include "net/core/message_table.h"

namespace zn {

TznWinsock WinsockInstance;

namespace {

std::string FunctionNotFound(const std::string& name) {
    std::string text = LoadMessage(kMsgFunctionNotFound);
    return text.replace(text.find("%s"), 2, name);
}

}  // namespace

TznWinsock::~TznWinsock() { Unload(); }

void TznWinsock::Load() {
    const unsigned previous = platform::SetErrorMode(platform::SEM_NOOPENFILEERRORBOX);
    LibHandle = platform::LoadLibrary("wsock32.dll");
    platform::SetErrorMode(previous);
    if (LibHandle < 32) {
        LibHandle = 0;
        throw EWinsockDLLError(LoadMessage(kMsgWinsockNotFound));
    }
}

// The library is built to stay mapped once loaded, so letting go of it here
// never pulls the code from under a socket or lookup that is still live.
void TznWinsock::Unload() {
    if (LibHandle == 0) return;
    platform::FreeLibrary(LibHandle);
    LibHandle = 0;
}

void* TznWinsock::GetProc(const std::string& name) {
    if (!IsLoaded()) throw EWinsockDLLError(LoadMessage(kMsgWinsockNotLoaded));
    void* address = platform::GetProcAddress(LibHandle, name);
    if (!address) throw EWinsockDLLError(FunctionNotFound(name));
    return address;
}

using namespace winsock;

TznWinsock::SOCKET TznWinsock::accept(SOCKET s, sockaddr* addr, int* addrlen) {
    return Proc<accept_fn>("accept")(s, addr, addrlen);
}
int TznWinsock::bind(SOCKET s, const sockaddr* addr, int namelen) { return Proc<bind_fn>("bind")(s, addr, namelen); }
int TznWinsock::closesocket(SOCKET s) { return Proc<closesocket_fn>("closesocket")(s); }
int TznWinsock::connect(SOCKET s, const sockaddr* name, int namelen) {
    return Proc<connect_fn>("connect")(s, name, namelen);
}
int TznWinsock::getsockname(SOCKET s, sockaddr* name, int* namelen) {
    return Proc<getsockname_fn>("getsockname")(s, name, namelen);
}
winsock::u_short(TznWinsock::htons)(u_short hostshort) { return Proc<htons_fn>("htons")(hostshort); }
winsock::u_long TznWinsock::inet_addr(const char* cp) { return Proc<inet_addr_fn>("inet_addr")(cp); }
int TznWinsock::listen(SOCKET s, int backlog) { return Proc<listen_fn>("listen")(s, backlog); }
int TznWinsock::recv(SOCKET s, char* buf, int len, int flags) { return Proc<recv_fn>("recv")(s, buf, len, flags); }
int TznWinsock::send(SOCKET s, const char* buf, int len, int flags) {
    return Proc<send_fn>("send")(s, buf, len, flags);
}
TznWinsock::SOCKET TznWinsock::socket(int af, int type, int protocol) {
    return Proc<socket_fn>("socket")(af, type, protocol);
}
hostent* TznWinsock::gethostbyname(const char* name) { return Proc<gethostbyname_fn>("gethostbyname")(name); }
int TznWinsock::gethostname(char* name, int namelen) { return Proc<gethostname_fn>("gethostname")(name, namelen); }
servent* TznWinsock::getservbyname(const char* name, const char* proto) {
    return Proc<getservbyname_fn>("getservbyname")(name, proto);
}
int TznWinsock::WSAStartup(WORD version, WSADATA* data) { return Proc<WSAStartup_fn>("WSAStartup")(version, data); }
int TznWinsock::WSACleanup() { return Proc<WSACleanup_fn>("WSACleanup")(); }
int TznWinsock::WSAGetLastError() { return Proc<WSAGetLastError_fn>("WSAGetLastError")(); }
BOOL TznWinsock::WSAIsBlocking() { return Proc<WSAIsBlocking_fn>("WSAIsBlocking")(); }
int TznWinsock::WSACancelBlockingCall() { return Proc<WSACancelBlockingCall_fn>("WSACancelBlockingCall")(); }
TznWinsock::HANDLE TznWinsock::WSAAsyncGetServByName(HWND hWnd, UINT wMsg, const char* name, const char* proto,
                                                     char* buf, int buflen) {
    return Proc<WSAAsyncGetServByName_fn>("WSAAsyncGetServByName")(hWnd, wMsg, name, proto, buf, buflen);
}
TznWinsock::HANDLE TznWinsock::WSAAsyncGetHostByName(HWND hWnd, UINT wMsg, const char* name, char* buf, int buflen) {
    return Proc<WSAAsyncGetHostByName_fn>("WSAAsyncGetHostByName")(hWnd, wMsg, name, buf, buflen);
}
int TznWinsock::WSACancelAsyncRequest(HANDLE hAsyncTaskHandle) {
    return Proc<WSACancelAsyncRequest_fn>("WSACancelAsyncRequest")(hAsyncTaskHandle);
}
int TznWinsock::WSAAsyncSelect(SOCKET s, HWND hWnd, UINT wMsg, long lEvent) {
    return Proc<WSAAsyncSelect_fn>("WSAAsyncSelect")(s, hWnd, wMsg, lEvent);
}
int TznWinsock::getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    return Proc<getaddrinfo_fn>("getaddrinfo")(node, service, hints, result);
}
void TznWinsock::freeaddrinfo(addrinfo* info) { Proc<freeaddrinfo_fn>("freeaddrinfo")(info); }
int TznWinsock::inet_pton(int family, const char* text, void* address) {
    return Proc<inet_pton_fn>("inet_pton")(family, text, address);
}
const char* TznWinsock::inet_ntop(int family, const void* address, char* text, std::size_t size) {
    return Proc<inet_ntop_fn>("inet_ntop")(family, address, text, size);
}
TznWinsock::HANDLE TznWinsock::WSAAsyncGetAddrInfo(HWND hWnd, UINT wMsg, const char* node, const char* service,
                                                   const addrinfo* hints, char* buf, int buflen) {
    return Proc<WSAAsyncGetAddrInfo_fn>("WSAAsyncGetAddrInfo")(hWnd, wMsg, node, service, hints, buf, buflen);
}

}  // namespace zn
