// SPDX-License-Identifier: MIT
#pragma once

#include "platform/wsock32/winsock.h"

// The sockets library's own implementation, reached from its exports. Kept
// apart from the exports so that no file defines an export named like a C
// library function and calls that function too.
namespace wsock {

using winsock::BOOL;
using winsock::HANDLE;
using winsock::HWND;
using winsock::SOCKET;
using winsock::UINT;
using winsock::WORD;
using winsock::u_long;
using winsock::u_short;
using winsock::INVALID_SOCKET;
using winsock::SOCKET_ERROR;
using winsock::MakeSelectReply;
using winsock::FD_READ;
using winsock::FD_WRITE;
using winsock::FD_ACCEPT;
using winsock::FD_CONNECT;
using winsock::FD_CLOSE;
using winsock::WSAEFAULT;
using winsock::WSAEINVAL;
using winsock::WSAENOBUFS;
using winsock::WSAENOTSOCK;
using winsock::WSAEWOULDBLOCK;
using winsock::WSAHOST_NOT_FOUND;
using winsock::WSANOTINITIALISED;
using winsock::WSANO_DATA;
using winsock::WSANO_RECOVERY;
using winsock::WSATRY_AGAIN;
using winsock::WSAVERNOTSUPPORTED;

void SetLastError(int code);
int LastError();
// Sets the error for the current errno and returns SOCKET_ERROR.
int FailFromErrno();
int TranslateErrno(int error);
// A read error after which the connection is gone for good (a reset).
bool EndsConnection(int error);

bool Started();
int Startup(WORD version, winsock::WSADATA* data);
int Cleanup();

SOCKET Socket(int af, int type, int protocol);
int Close(SOCKET s);
int Bind(SOCKET s, const winsock::sockaddr* addr, int len);
int Listen(SOCKET s, int backlog);
SOCKET Accept(SOCKET s, winsock::sockaddr* addr, int* len);
int Connect(SOCKET s, const winsock::sockaddr* addr, int len);
int GetSockName(SOCKET s, winsock::sockaddr* addr, int* len);
int Recv(SOCKET s, char* buf, int len, int flags);
int Send(SOCKET s, const char* buf, int len, int flags);
int AsyncSelect(SOCKET s, HWND window, UINT msg, long events);

u_long InetAddr(const char* text);
u_short HostToNetShort(u_short value);
winsock::hostent* GetHostByName(const char* name);
int GetHostName(char* name, int len);
winsock::servent* GetServByName(const char* name, const char* proto);
int GetAddrInfo(const char* node, const char* service, const winsock::addrinfo* hints, winsock::addrinfo** result);
void FreeAddrInfo(winsock::addrinfo* info);
int InetPton(int family, const char* text, void* address);
const char* InetNtop(int family, const void* address, char* text, std::size_t size);

HANDLE AsyncGetHostByName(HWND window, UINT msg, const char* name, char* buf, int buflen);
HANDLE AsyncGetServByName(HWND window, UINT msg, const char* name, const char* proto, char* buf, int buflen);
HANDLE AsyncGetAddrInfo(HWND window, UINT msg, const char* node, const char* service, const winsock::addrinfo* hints,
                        char* buf, int buflen);
int CancelAsyncRequest(HANDLE request);
// The last clean-up ends every lookup still pending: nothing is posted or
// written for them afterwards.
void CancelAllLookups();

}  // namespace wsock
