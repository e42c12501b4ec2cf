// SPDX-License-Identifier: MIT
#include "platform/wsock32/answers.h"

#include "platform/wsock32/addresses.h"
#include "platform/wsock32/engine.h"
#include "platform/wsock32/libc_api.h"

#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace wsock {
namespace {

int LookupError(int gai) {
    switch (gai) {
        case EAI_NONAME: return WSAHOST_NOT_FOUND;
        case EAI_AGAIN: return WSATRY_AGAIN;
#ifdef EAI_NODATA
        case EAI_NODATA: return WSANO_DATA;
#endif
        case EAI_FAMILY: return winsock::WSAEAFNOSUPPORT;
        case EAI_SOCKTYPE: return winsock::WSAESOCKTNOSUPPORT;
        case EAI_SERVICE: return winsock::WSATYPE_NOT_FOUND;
        case EAI_MEMORY: return winsock::WSA_NOT_ENOUGH_MEMORY;
        case EAI_BADFLAGS: return WSAEINVAL;
        default: return WSANO_RECOVERY;
    }
}

// Takes room in the caller's buffer, each piece aligned for its type.
class BufferWriter {
public:
    BufferWriter(char* buffer, int length) : buffer_(buffer), length_(static_cast<std::size_t>(length)) {}
    template <typename T>
    T* Take(std::size_t count = 1) {
        used_ = (used_ + alignof(T) - 1) / alignof(T) * alignof(T);
        if (used_ + sizeof(T) * count > length_) return nullptr;
        T* at = reinterpret_cast<T*>(buffer_ + used_);
        used_ += sizeof(T) * count;
        return at;
    }
    char* String(const std::string& text) {
        char* at = Take<char>(text.size() + 1);
        if (at) std::memcpy(at, text.c_str(), text.size() + 1);
        return at;
    }
    std::size_t Used() const { return used_; }

private:
    char* buffer_;
    std::size_t length_;
    std::size_t used_ = 0;
};

std::size_t WriteHostWith(const Answer& answer, std::size_t count, char* buffer, int length) {
    BufferWriter out(buffer, length);
    auto* host = out.Take<winsock::hostent>();
    auto** aliases = out.Take<char*>();
    auto** list = out.Take<char*>(count + 1);
    if (!host || !aliases || !list) return 0;
    aliases[0] = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        list[i] = out.Take<char>(4);
        if (!list[i]) return 0;
        std::memcpy(list[i], answer.addresses[i].data(), 4);
    }
    list[count] = nullptr;
    char* name = out.String(answer.name);
    if (!name) return 0;
    *host = winsock::hostent{name, aliases, winsock::kAfInet, 4, list};
    return out.Used();
}

// An address takes whole 8-byte words, so the node after it stays aligned.
std::size_t AddressWords(const FoundAddress& found) { return (static_cast<std::size_t>(found.length) + 7) / 8; }

// The chain of the first `count` addresses: each node followed by its
// address, the canonical name after the first.
std::size_t WriteAddressesWith(const Answer& answer, std::size_t count, char* buffer, int length) {
    BufferWriter out(buffer, length);
    winsock::addrinfo* previous = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const FoundAddress& found = answer.found[i];
        auto* node = out.Take<winsock::addrinfo>();
        auto* address = out.Take<std::int64_t>(AddressWords(found));
        if (!node || !address) return 0;
        std::memcpy(address, &found.address, static_cast<std::size_t>(found.length));
        *node = winsock::addrinfo{0,
                                  found.family,
                                  found.socktype,
                                  found.protocol,
                                  static_cast<std::size_t>(found.length),
                                  nullptr,
                                  reinterpret_cast<winsock::sockaddr*>(address),
                                  nullptr};
        if (previous) previous->ai_next = node;
        if (i == 0 && !answer.name.empty() && !(node->ai_canonname = out.String(answer.name))) return 0;
        previous = node;
    }
    return out.Used();
}

}  // namespace

Answer ResolveHost(const std::string& name) {
    Answer answer;
    addrinfo hints{};
    hints.ai_family = PF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    if (int rc = C().getaddrinfo(name.c_str(), nullptr, &hints, &list); rc != 0) {
        answer.error = LookupError(rc);
        return answer;
    }
    answer.name = list->ai_canonname ? list->ai_canonname : name;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        const auto* in = reinterpret_cast<const ::sockaddr_in*>(ai->ai_addr);
        std::array<unsigned char, 4> bytes;
        std::memcpy(bytes.data(), &in->sin_addr, 4);
        bool seen = false;
        for (const auto& a : answer.addresses) seen = seen || a == bytes;
        if (!seen) answer.addresses.push_back(bytes);
    }
    C().freeaddrinfo(list);
    if (answer.addresses.empty()) answer.error = WSANO_DATA;
    return answer;
}

Answer ResolveService(const std::string& name, const std::string& proto) {
    Answer answer;
    ::servent entry{}, *result = nullptr;
    char scratch[1024];
    getservbyname_r(name.c_str(), proto.c_str(), &entry, scratch, sizeof scratch, &result);
    if (!result) {
        answer.error = WSANO_DATA;
        return answer;
    }
    answer.name = result->s_name;
    answer.proto = result->s_proto;
    answer.portNetworkOrder = static_cast<std::uint16_t>(result->s_port);
    return answer;
}

Answer ResolveAddresses(const char* node, const char* service, const winsock::addrinfo& hints) {
    Answer answer;
    addrinfo native{};
    native.ai_family = NativeFamily(hints.ai_family);
    native.ai_socktype = hints.ai_socktype;
    native.ai_protocol = hints.ai_protocol;
    // The three flags known here have the same values on Linux. A family of
    // no number here is -1, which the resolver refuses (EAI_FAMILY).
    native.ai_flags = hints.ai_flags;
    if (hints.ai_flags & ~(winsock::kAiPassive | winsock::kAiCanonName | winsock::kAiNumericHost)) {
        answer.error = WSAEINVAL;
        return answer;
    }
    addrinfo* list = nullptr;
    if (int rc = C().getaddrinfo(node, service, &native, &list); rc != 0) {
        answer.error = LookupError(rc);
        return answer;
    }
    if (list->ai_canonname) answer.name = list->ai_canonname;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        const int family = PlatformFamily(ai->ai_family);
        if ((family != winsock::kAfInet && family != winsock::kAfInet6) ||
            ai->ai_addrlen > sizeof(::sockaddr_storage)) {
            continue;
        }
        FoundAddress found{family, ai->ai_socktype, ai->ai_protocol, static_cast<int>(ai->ai_addrlen), {}};
        int length = found.length;
        ::sockaddr_storage copy{};
        std::memcpy(&copy, ai->ai_addr, ai->ai_addrlen);
        FromNative(copy, ai->ai_addrlen, reinterpret_cast<winsock::sockaddr*>(&found.address), &length);
        answer.found.push_back(found);
    }
    C().freeaddrinfo(list);
    if (answer.found.empty()) answer.error = WSANO_DATA;
    return answer;
}

std::size_t WriteHost(const Answer& answer, char* buffer, int length) {
    for (std::size_t count = answer.addresses.size(); count > 0; --count) {
        if (std::size_t used = WriteHostWith(answer, count, buffer, length)) return used;
    }
    return 0;
}

std::size_t WriteService(const Answer& answer, char* buffer, int length) {
    BufferWriter out(buffer, length);
    auto* service = out.Take<winsock::servent>();
    auto** aliases = out.Take<char*>();
    if (!service || !aliases) return 0;
    aliases[0] = nullptr;
    char* name = out.String(answer.name);
    char* proto = out.String(answer.proto);
    if (!name || !proto) return 0;
    *service = winsock::servent{name, aliases, proto, static_cast<std::int16_t>(answer.portNetworkOrder)};
    return out.Used();
}

std::size_t WriteAddresses(const Answer& answer, char* buffer, int length) {
    for (std::size_t count = answer.found.size(); count > 0; --count) {
        if (std::size_t used = WriteAddressesWith(answer, count, buffer, length)) return used;
    }
    return 0;
}

std::size_t AddressesSize(const Answer& answer) {
    std::size_t size = answer.name.size() + 1 + alignof(winsock::addrinfo);
    for (const FoundAddress& found : answer.found) size += sizeof(winsock::addrinfo) + 8 * AddressWords(found);
    return size;
}

}  // namespace wsock
