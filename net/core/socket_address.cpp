// SPDX-License-Identifier: MIT
#include "net/core/socket_address.h"

#include "net/core/winsock.h"

#include <cstring>

namespace zn {
namespace {

bool IsInet(const SocketAddress& address) {
    return address.Family() == winsock::kAfInet && address.Length >= static_cast<int>(sizeof(winsock::sockaddr_in));
}

bool IsInet6(const SocketAddress& address) {
    return address.Family() == winsock::kAfInet6 && address.Length >= static_cast<int>(sizeof(winsock::sockaddr_in6));
}

winsock::sockaddr_in& Inet(SocketAddress& address) {
    return *reinterpret_cast<winsock::sockaddr_in*>(&address.Storage);
}
winsock::sockaddr_in6& Inet6(SocketAddress& address) {
    return *reinterpret_cast<winsock::sockaddr_in6*>(&address.Storage);
}
const winsock::sockaddr_in& Inet(const SocketAddress& address) {
    return *reinterpret_cast<const winsock::sockaddr_in*>(&address.Storage);
}
const winsock::sockaddr_in6& Inet6(const SocketAddress& address) {
    return *reinterpret_cast<const winsock::sockaddr_in6*>(&address.Storage);
}

}  // namespace

std::optional<SocketAddress> MakeSocketAddress(const std::string& address, std::uint16_t port) {
    SocketAddress result;
    if (WinsockInstance.inet_pton(winsock::kAfInet, address.c_str(), &Inet(result).sin_addr) == 1) {
        Inet(result).sin_family = winsock::kAfInet;
        result.Length = sizeof(winsock::sockaddr_in);
    } else if (WinsockInstance.inet_pton(winsock::kAfInet6, address.c_str(), Inet6(result).sin6_addr) == 1) {
        Inet6(result).sin6_family = winsock::kAfInet6;
        result.Length = sizeof(winsock::sockaddr_in6);
    } else {
        return std::nullopt;
    }
    SetAddressPort(result, port);
    return result;
}

SocketAddress CopySocketAddress(const winsock::sockaddr* address, int length) {
    SocketAddress result;
    if (!address || length <= 0 || length > static_cast<int>(sizeof result.Storage)) return result;
    std::memcpy(&result.Storage, address, static_cast<std::size_t>(length));
    result.Length = length;
    if (!IsInet(result) && !IsInet6(result)) return SocketAddress{};
    return result;
}

std::string AddressText(const SocketAddress& address) {
    char text[winsock::kInet6AddrStrLen] = {};
    const char* done = nullptr;
    if (IsInet(address)) {
        done = WinsockInstance.inet_ntop(winsock::kAfInet, &Inet(address).sin_addr, text, sizeof text);
    } else if (IsInet6(address)) {
        done = WinsockInstance.inet_ntop(winsock::kAfInet6, Inet6(address).sin6_addr, text, sizeof text);
    }
    return done ? std::string(done) : std::string();
}

// Windows Sockets 1.1 has no ntohs; the byte swap of htons is its own
// inverse.
std::uint16_t AddressPort(const SocketAddress& address) {
    if (IsInet(address)) return (WinsockInstance.htons)(Inet(address).sin_port);
    if (IsInet6(address)) return (WinsockInstance.htons)(Inet6(address).sin6_port);
    return 0;
}

void SetAddressPort(SocketAddress& address, std::uint16_t port) {
    if (IsInet(address)) Inet(address).sin_port = (WinsockInstance.htons)(port);
    if (IsInet6(address)) Inet6(address).sin6_port = (WinsockInstance.htons)(port);
}

}  // namespace zn
