// SPDX-License-Identifier: MIT
#include "platform/wsock32/engine.h"

#include "platform/wsock32/answers.h"

#include "platform/messages.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace wsock {
namespace {

struct Request {
    HWND window;
    UINT msg;
    char* buffer;
    int bufferLength;
    enum class Kind : std::uint8_t { Host, Service, Addresses } kind;
};

std::map<HANDLE, Request>& Pending() {
    static std::map<HANDLE, Request> pending;
    return pending;
}

// Lookups run on detached worker threads. A worker keeps its answer to
// itself and reaches the main thread only through a posted callback, which
// writes into the caller's buffer only while the request is still pending.
// So nothing ever waits for a worker: a cancelled lookup may take as long as
// the resolver likes, and the process still ends at once. The channel is
// closed when the library's statics go at exit; a worker that finishes
// after that posts nothing.
struct Channel {
    std::mutex mutex;
    bool open = true;
};

// Never destroyed, so the closer below can reach it whatever the order of
// destruction at exit.
std::shared_ptr<Channel> TheChannel() {
    static const auto* channel = new std::shared_ptr<Channel>(std::make_shared<Channel>());
    return *channel;
}

struct ChannelCloser {
    ~ChannelCloser() {
        std::lock_guard lock(TheChannel()->mutex);
        TheChannel()->open = false;
    }
} channelCloser;

// Runs on the main thread while messages are processed. A request cancelled
// before this point is no longer pending, so nothing is written or posted.
void Deliver(HANDLE handle, const Answer& answer) {
    auto it = Pending().find(handle);
    if (it == Pending().end()) return;
    const Request request = it->second;
    Pending().erase(it);
    int error = answer.error;
    std::size_t used = 0;
    if (!error) {
        switch (request.kind) {
            case Request::Kind::Host: used = WriteHost(answer, request.buffer, request.bufferLength); break;
            case Request::Kind::Service: used = WriteService(answer, request.buffer, request.bufferLength); break;
            case Request::Kind::Addresses: used = WriteAddresses(answer, request.buffer, request.bufferLength); break;
        }
        if (!used) error = WSAENOBUFS;
    }
    platform::SendMessage(request.window, request.msg, static_cast<platform::WPARAM>(handle),
                          static_cast<platform::LPARAM>(MakeSelectReply(static_cast<int>(used), error)));
}

// Handles are unique across host and service lookups for the life of the
// process, so a late answer can never be taken for a newer request's.
HANDLE NextHandle() {
    static HANDLE last = 0;
    if (++last == 0) ++last;  // 0 means "not started"
    return last;
}

HANDLE Start(Request request, std::function<Answer()> resolve) {
    const HANDLE handle = NextHandle();
    try {
        std::thread([handle, resolve = std::move(resolve), channel = TheChannel()] {
            Answer answer = resolve();
            std::lock_guard lock(channel->mutex);
            if (channel->open) platform::PostCallback([handle, answer] { Deliver(handle, answer); });
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(WSAENOBUFS);  // no thread to be had: the request is not started
        return 0;
    }
    Pending()[handle] = request;
    return handle;
}

bool CheckArguments(HWND window, const char* name, const char* buf, int buflen) {
    if (!Started()) {
        SetLastError(WSANOTINITIALISED);
        return false;
    }
    if (!platform::IsWindow(window) || !name || !buf || buflen <= 0) {
        SetLastError(WSAEINVAL);
        return false;
    }
    return true;
}

}  // namespace

HANDLE AsyncGetHostByName(HWND window, UINT msg, const char* name, char* buf, int buflen) {
    if (!CheckArguments(window, name, buf, buflen)) return 0;
    return Start(Request{window, msg, buf, buflen, Request::Kind::Host},
                 [n = std::string(name)] { return ResolveHost(n); });
}

HANDLE AsyncGetServByName(HWND window, UINT msg, const char* name, const char* proto, char* buf, int buflen) {
    if (!CheckArguments(window, name, buf, buflen)) return 0;
    return Start(Request{window, msg, buf, buflen, Request::Kind::Service},
                 [n = std::string(name), p = std::string(proto ? proto : "tcp")] { return ResolveService(n, p); });
}

// Either of node and service may be left out, as for getaddrinfo; both are
// copied, so the caller's strings may go as soon as this returns.
HANDLE AsyncGetAddrInfo(HWND window, UINT msg, const char* node, const char* service, const winsock::addrinfo* hints,
                        char* buf, int buflen) {
    if (!CheckArguments(window, node ? node : service, buf, buflen)) return 0;
    const winsock::addrinfo wanted = hints ? *hints : winsock::addrinfo{};
    return Start(Request{window, msg, buf, buflen, Request::Kind::Addresses},
                 [n = std::string(node ? node : ""), s = std::string(service ? service : ""), hasNode = node != nullptr,
                  hasService = service != nullptr, wanted] {
                     return ResolveAddresses(hasNode ? n.c_str() : nullptr, hasService ? s.c_str() : nullptr, wanted);
                 });
}

void CancelAllLookups() { Pending().clear(); }

int CancelAsyncRequest(HANDLE request) {
    if (!Started()) {
        SetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    if (Pending().erase(request) == 0) {
        SetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    return 0;
}

// The blocking forms answer from storage of the library's own, as the
// platform's do; nothing in the program uses them.
winsock::hostent* GetHostByName(const char* name) {
    if (!Started() || !name) {
        SetLastError(Started() ? WSAEFAULT : WSANOTINITIALISED);
        return nullptr;
    }
    static char storage[winsock::MAXGETHOSTSTRUCT];
    Answer answer = ResolveHost(name);
    if (answer.error || !WriteHost(answer, storage, sizeof storage)) {
        SetLastError(answer.error ? answer.error : WSAENOBUFS);
        return nullptr;
    }
    return reinterpret_cast<winsock::hostent*>(storage);
}

winsock::servent* GetServByName(const char* name, const char* proto) {
    if (!Started() || !name) {
        SetLastError(Started() ? WSAEFAULT : WSANOTINITIALISED);
        return nullptr;
    }
    static char storage[winsock::MAXGETHOSTSTRUCT];
    Answer answer = ResolveService(name, proto ? proto : "tcp");
    if (answer.error || !WriteService(answer, storage, sizeof storage)) {
        SetLastError(answer.error ? answer.error : WSAENOBUFS);
        return nullptr;
    }
    return reinterpret_cast<winsock::servent*>(storage);
}

// The chain is one block, freed whole through its first node.
int GetAddrInfo(const char* node, const char* service, const winsock::addrinfo* hints, winsock::addrinfo** result) {
    const int error = !Started() ? WSANOTINITIALISED : !result || (!node && !service) ? WSAEINVAL : 0;
    if (result) *result = nullptr;
    if (error) {
        SetLastError(error);
        return error;
    }
    Answer answer = ResolveAddresses(node, service, hints ? *hints : winsock::addrinfo{});
    if (answer.error) {
        SetLastError(answer.error);
        return answer.error;
    }
    const std::size_t size = AddressesSize(answer);
    char* block = static_cast<char*>(std::malloc(size));
    if (!block || WriteAddresses(answer, block, static_cast<int>(size)) == 0) {
        std::free(block);
        SetLastError(winsock::WSA_NOT_ENOUGH_MEMORY);
        return winsock::WSA_NOT_ENOUGH_MEMORY;
    }
    *result = reinterpret_cast<winsock::addrinfo*>(block);
    return 0;
}

void FreeAddrInfo(winsock::addrinfo* info) { std::free(info); }

}  // namespace wsock
