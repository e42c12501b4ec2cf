// SPDX-License-Identifier: MIT
#include "platform/wsock32/addresses.h"

#include "platform/wsock32/engine.h"
#include "platform/wsock32/libc_api.h"

#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace wsock {

static_assert(sizeof(winsock::sockaddr_in6) == sizeof(::sockaddr_in6));

int NativeFamily(int af) {
    switch (af) {
        case winsock::kAfUnspec: return AF_UNSPEC;
        case winsock::kAfInet: return AF_INET;
        case winsock::kAfInet6: return AF_INET6;
        default: return -1;
    }
}

int PlatformFamily(int af) {
    switch (af) {
        case AF_UNSPEC: return winsock::kAfUnspec;
        case AF_INET: return winsock::kAfInet;
        case AF_INET6: return winsock::kAfInet6;
        default: return -1;
    }
}

bool ToNative(const winsock::sockaddr* addr, int len, ::sockaddr_storage& out, socklen_t& outLen) {
    if (!addr || len < 0) {
        SetLastError(WSAEFAULT);
        return false;
    }
    out = {};
    const auto size = std::min(static_cast<std::size_t>(len), sizeof out);
    std::memcpy(&out, addr, size);
    outLen = static_cast<socklen_t>(size);
    if (size >= sizeof addr->sa_family && addr->sa_family == winsock::kAfInet6) {
        if (size < sizeof(::sockaddr_in6)) {
            SetLastError(WSAEFAULT);
            return false;
        }
        out.ss_family = AF_INET6;
        outLen = sizeof(::sockaddr_in6);
    }
    return true;
}

bool FromNative(const ::sockaddr_storage& in, socklen_t inLen, winsock::sockaddr* addr, int* len) {
    if (!addr || !len || *len < 0) {
        SetLastError(WSAEFAULT);
        return false;
    }
    if (in.ss_family == AF_INET6) {
        if (*len < static_cast<int>(sizeof(::sockaddr_in6))) {
            SetLastError(WSAEFAULT);
            return false;
        }
        ::sockaddr_in6 copy{};
        std::memcpy(&copy, &in, sizeof copy);
        std::memcpy(addr, &copy, sizeof copy);
        reinterpret_cast<winsock::sockaddr_in6*>(addr)->sin6_family = winsock::kAfInet6;
        *len = sizeof copy;
        return true;
    }
    std::memcpy(addr, &in, std::min(static_cast<std::size_t>(*len), static_cast<std::size_t>(inLen)));
    *len = static_cast<int>(inLen);
    return true;
}

int InetPton(int family, const char* text, void* address) {
    const int native = NativeFamily(family);
    if (native != AF_INET && native != AF_INET6) {
        SetLastError(winsock::WSAEAFNOSUPPORT);
        return -1;
    }
    if (!text || !address) {
        SetLastError(WSAEFAULT);
        return -1;
    }
    return C().inet_pton(native, text, address);
}

const char* InetNtop(int family, const void* address, char* text, std::size_t size) {
    const int native = NativeFamily(family);
    if (native != AF_INET && native != AF_INET6) {
        SetLastError(winsock::WSAEAFNOSUPPORT);
        return nullptr;
    }
    if (!address || !text) {
        SetLastError(WSAEFAULT);
        return nullptr;
    }
    if (!C().inet_ntop(native, address, text, static_cast<socklen_t>(size))) {
        SetLastError(WSAEINVAL);  // the only way left to fail: the text does not fit
        return nullptr;
    }
    return text;
}

}  // namespace wsock
