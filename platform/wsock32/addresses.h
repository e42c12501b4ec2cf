// SPDX-License-Identifier: MIT
#pragma once

#include <sys/socket.h>

#include "platform/wsock32/winsock.h"

// Socket addresses cross between the platform's layout and Linux's here.
// The two differ only in the IPv6 family's number (23 against 10).
namespace wsock {

// Linux's number for a family of the platform's, and back; -1 for a family
// the library does not know.
int NativeFamily(int af);
int PlatformFamily(int af);

// The caller's address in Linux's layout. False, with the error set, for an
// IPv6 address shorter than its 28 bytes. Other families pass unchanged, so
// the system judges them as it always has.
bool ToNative(const winsock::sockaddr* addr, int len, ::sockaddr_storage& out, socklen_t& outLen);

// A Linux address written in the platform's layout into the caller's `*len`
// bytes; `*len` becomes the address's length. An IPv4 address is cut to the
// buffer as Linux cuts it; an IPv6 one that does not fit is an error
// (WSAEFAULT), as on the platform, and nothing is written.
bool FromNative(const ::sockaddr_storage& in, socklen_t inLen, winsock::sockaddr* addr, int* len);

}  // namespace wsock
