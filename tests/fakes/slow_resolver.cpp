// SPDX-License-Identifier: MIT
// A resolver for tests, preloaded in front of the C library's, so that the
// sockets library's own lookups can be made slow or odd:
//   "<ms>.slow.test"  resolves to 127.0.0.1 after that many milliseconds;
//   "many.test"       resolves to 127.0.0.1 and 99 further loopback addresses;
//   "both.test"       resolves to ::1, then 127.0.0.1 (as the hints allow);
//   service "slow<ms>" resolves as "ftp" after that many milliseconds.
// Every other name goes to the C library unchanged.

#include <dlfcn.h>
#include <netdb.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void SleepMs(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res) {
    static const auto kReal = Next<int (*)(const char*, const char*, const addrinfo*, addrinfo**)>("getaddrinfo");
    const std::string name = node ? node : "";
    if (EndsWith(name, ".slow.test")) {
        SleepMs(std::atol(name.c_str()));
        return kReal("127.0.0.1", service, hints, res);
    }
    if (name == "many.test") {
        // One answer per address, chained: the C library frees a chain node
        // by node, so the chain frees like one answer.
        addrinfo** tail = res;
        for (int i = 1; i <= 100; ++i) {
            const std::string address = "127.0.0." + std::to_string(i);
            if (int rc = kReal(address.c_str(), service, hints, tail); rc != 0) return rc;
            while (*tail) tail = &(*tail)->ai_next;
        }
        return 0;
    }
    if (name == "both.test") {
        *res = nullptr;
        addrinfo** tail = res;
        for (const char* address : {"::1", "127.0.0.1"}) {
            addrinfo* one = nullptr;
            if (kReal(address, service, hints, &one) != 0) continue;  // a family the hints leave out
            *tail = one;
            while (*tail) tail = &(*tail)->ai_next;
        }
        return *res ? 0 : EAI_NONAME;
    }
    return kReal(node, service, hints, res);
}

extern "C" int getservbyname_r(const char* name, const char* proto, servent* entry, char* buffer, size_t length,
                               servent** result) {
    static const auto kReal =
        Next<int (*)(const char*, const char*, servent*, char*, size_t, servent**)>("getservbyname_r");
    const std::string service = name ? name : "";
    if (service.rfind("slow", 0) == 0) {
        SleepMs(std::atol(service.c_str() + 4));
        return kReal("ftp", proto, entry, buffer, length, result);
    }
    return kReal(name, proto, entry, buffer, length, result);
}
