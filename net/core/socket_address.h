// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/wsock32/winsock.h"

namespace zn {

// A socket address of either family, in the sockets library's layout, with
// its length: what bind, connect and getsockname take. The conversions go
// through the loaded sockets library (WinsockInstance) and raise
// EWinsockDLLError without it.
struct SocketAddress {
    winsock::sockaddr_storage Storage{};
    int Length = 0;

    int Family() const { return Storage.ss_family; }  // winsock::kAfInet or kAfInet6
    const winsock::sockaddr* Get() const { return reinterpret_cast<const winsock::sockaddr*>(&Storage); }
    winsock::sockaddr* Get() { return reinterpret_cast<winsock::sockaddr*>(&Storage); }
};

// The socket address of `address` and `port` (host order). The address is
// strict dotted IPv4 ("192.0.2.7") or IPv6 text without brackets
// ("2001:db8::7", "::ffff:192.0.2.7"), as EPSV, EPRT and the control
// connection's own addresses give it; none for other text.
std::optional<SocketAddress> MakeSocketAddress(const std::string& address, std::uint16_t port);

// A socket address as the library gave it (getsockname, accept, a lookup's
// answer), kept; an empty one (Length 0) when it is of no family known here
// or longer than the storage.
SocketAddress CopySocketAddress(const winsock::sockaddr* address, int length);

// The address as text: dotted IPv4, or IPv6 in its short form without
// brackets; empty for an address of no family known here.
std::string AddressText(const SocketAddress& address);

// The port, host order; 0 for an address of no family known here.
std::uint16_t AddressPort(const SocketAddress& address);
void SetAddressPort(SocketAddress& address, std::uint16_t port);

}  // namespace zn
