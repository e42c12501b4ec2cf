// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wsock32/winsock.h"

// What a lookup found, and how it is laid out in a caller's buffer. The
// resolving runs on any thread; the laying out on the caller's.
namespace wsock {

// One address of an address lookup, already in the platform's layout.
struct FoundAddress {
    int family = 0;  // the platform's number
    int socktype = 0;
    int protocol = 0;
    int length = 0;
    winsock::sockaddr_storage address{};
};

struct Answer {
    int error = 0;
    std::string name;
    std::vector<std::array<unsigned char, 4>> addresses;  // host lookups
    std::vector<FoundAddress> found;                      // address lookups, in the resolver's order
    std::string proto;                                    // service lookups
    std::uint16_t portNetworkOrder = 0;
};

Answer ResolveHost(const std::string& name);
Answer ResolveService(const std::string& name, const std::string& proto);
// getaddrinfo's lookup: `node` or `service` may be absent.
Answer ResolveAddresses(const char* node, const char* service, const winsock::addrinfo& hints);

// Each lays its answer out in the caller's buffer: the structure first, then
// what it points to. The bytes used, or 0 when not even one address fits;
// a host or address lookup with more addresses than fit keeps the first.
std::size_t WriteHost(const Answer& answer, char* buffer, int length);
std::size_t WriteService(const Answer& answer, char* buffer, int length);
std::size_t WriteAddresses(const Answer& answer, char* buffer, int length);
// The bytes WriteAddresses needs for the whole answer.
std::size_t AddressesSize(const Answer& answer);

}  // namespace wsock
