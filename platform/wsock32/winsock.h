// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>

// The Windows Sockets 1.1 types, constants and entry-point signatures as the
// components use them. Only this header is shared between the sockets
// library and its users; nothing links against the library.
namespace winsock {

using SOCKET = std::int32_t;
using WORD = std::uint16_t;
using u_short = std::uint16_t;
using u_long = std::uint32_t;
using HANDLE = std::uintptr_t;
using HWND = std::uintptr_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;

constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;
constexpr u_long kInaddrNone = 0xFFFFFFFFu;
constexpr int kAfInet = 2;
constexpr int kAfUnspec = 0;
constexpr int kAfInet6 = 23;  // the platform's number, not Linux's 10
constexpr int kSockStream = 1;
constexpr int kIpprotoTcp = 6;
constexpr int MAXGETHOSTSTRUCT = 1024;

constexpr int kMsgPeek = 0x02;  // MSG_PEEK

constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSATYPE_NOT_FOUND = 10109;
constexpr int WSA_NOT_ENOUGH_MEMORY = 8;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// The 16-byte IPv4 socket address: the same bytes on both platforms.
struct sockaddr {
    std::uint16_t sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    std::int16_t sin_family;
    u_short sin_port;  // network order
    u_long sin_addr;   // network order
    char sin_zero[8];
};

// The 28-byte IPv6 socket address, laid out as the platform lays it out;
// only its family number differs from Linux's.
struct sockaddr_in6 {
    std::int16_t sin6_family;
    u_short sin6_port;  // network order
    u_long sin6_flowinfo;
    unsigned char sin6_addr[16];
    u_long sin6_scope_id;
};
static_assert(sizeof(sockaddr_in6) == 28);

// Room for a socket address of either family.
struct sockaddr_storage {
    std::int16_t ss_family;
    char ss_pad1[6];
    std::int64_t ss_align;
    char ss_pad2[112];
};
static_assert(sizeof(sockaddr_storage) == 128);

// Longest text of an address with its terminating NUL, IPv4 and IPv6.
constexpr int kInetAddrStrLen = 16;
constexpr int kInet6AddrStrLen = 46;

// One answer of an address lookup, in the platform's field order (which
// differs from Linux's). A lookup gives a chain of them, one per address.
struct addrinfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    std::size_t ai_addrlen;
    char* ai_canonname;
    sockaddr* ai_addr;
    addrinfo* ai_next;
};

constexpr int kAiPassive = 0x01;
constexpr int kAiCanonName = 0x02;
constexpr int kAiNumericHost = 0x04;

struct hostent {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

struct servent {
    char* s_name;
    char** s_aliases;
    char* s_proto;
    std::int16_t s_port;  // network order
};

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

// lParam of an asynchronous notification: event in the low word, error in the high word.
constexpr std::int64_t MakeSelectReply(int event, int error) {
    return static_cast<std::int64_t>((static_cast<std::uint32_t>(error) << 16) |
                                     (static_cast<std::uint32_t>(event) & 0xFFFFu));
}

using accept_fn = SOCKET (*)(SOCKET s, sockaddr* addr, int* addrlen);
using bind_fn = int (*)(SOCKET s, const sockaddr* addr, int namelen);
using closesocket_fn = int (*)(SOCKET s);
using connect_fn = int (*)(SOCKET s, const sockaddr* name, int namelen);
using getsockname_fn = int (*)(SOCKET s, sockaddr* name, int* namelen);
using htons_fn = u_short (*)(u_short hostshort);
using inet_addr_fn = u_long (*)(const char* cp);
using listen_fn = int (*)(SOCKET s, int backlog);
using recv_fn = int (*)(SOCKET s, char* buf, int len, int flags);
using send_fn = int (*)(SOCKET s, const char* buf, int len, int flags);
using socket_fn = SOCKET (*)(int af, int type, int protocol);
using gethostbyname_fn = hostent* (*)(const char* name);
using gethostname_fn = int (*)(char* name, int namelen);
using getservbyname_fn = servent* (*)(const char* name, const char* proto);
using WSAStartup_fn = int (*)(WORD version, WSADATA* data);
using WSACleanup_fn = int (*)();
using WSAGetLastError_fn = int (*)();
using WSAIsBlocking_fn = BOOL (*)();
using WSACancelBlockingCall_fn = int (*)();
using WSAAsyncGetServByName_fn = HANDLE (*)(HWND hWnd, UINT wMsg, const char* name, const char* proto, char* buf,
                                            int buflen);
using WSAAsyncGetHostByName_fn = HANDLE (*)(HWND hWnd, UINT wMsg, const char* name, char* buf, int buflen);
using WSACancelAsyncRequest_fn = int (*)(HANDLE hAsyncTaskHandle);
using WSAAsyncSelect_fn = int (*)(SOCKET s, HWND hWnd, UINT wMsg, long lEvent);

// Beyond Windows Sockets 1.1: lookups of either address family and address
// text of either. getaddrinfo returns 0 or a socket error code; the chain
// it gives is freed with freeaddrinfo.
using getaddrinfo_fn = int (*)(const char* node, const char* service, const addrinfo* hints, addrinfo** result);
using freeaddrinfo_fn = void (*)(addrinfo* info);
using inet_pton_fn = int (*)(int family, const char* text, void* address);
using inet_ntop_fn = const char* (*)(int family, const void* address, char* text, std::size_t size);
// The lookup of getaddrinfo without blocking, in the manner of
// WSAAsyncGetHostByName: when it is done, `wMsg` is posted to `hWnd` with
// the request in wParam and, in lParam, the bytes used of `buf` in the low
// word and the error in the high word. The chain is laid out in `buf`, the
// first addresses that fit, in the resolver's order. WSACancelAsyncRequest
// stops it.
using WSAAsyncGetAddrInfo_fn = HANDLE (*)(HWND hWnd, UINT wMsg, const char* node, const char* service,
                                          const addrinfo* hints, char* buf, int buflen);

}  // namespace winsock
