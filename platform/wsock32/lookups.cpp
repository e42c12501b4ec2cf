// SPDX-License-Identifier: MIT
#include "platform/wsock32/engine.h"

#include "platform/messages.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <array>
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

// The answer of a lookup, made on a worker thread and copied into the
// caller's buffer on the main thread.
struct Answer {
    int error = 0;
    std::string name;
    std::vector<std::array<unsigned char, 4>> addresses;  // host lookups
    std::string proto;                                    // service lookups
    std::uint16_t portNetworkOrder = 0;
};

struct Request {
    HWND window;
    UINT msg;
    char* buffer;
    int bufferLength;
    bool isHost;
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

int LookupError(int gai) {
    switch (gai) {
        case EAI_NONAME: return WSAHOST_NOT_FOUND;
        case EAI_AGAIN: return WSATRY_AGAIN;
#ifdef EAI_NODATA
        case EAI_NODATA: return WSANO_DATA;
#endif
        default: return WSANO_RECOVERY;
    }
}

Answer ResolveHost(const std::string& name) {
    Answer answer;
    addrinfo hints{};
    hints.ai_family = PF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* list = nullptr;
    if (int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list); rc != 0) {
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
    freeaddrinfo(list);
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

// Lays the answer out in the caller's buffer: the structure first, then the
// lists and strings it points to. Returns the bytes used, or 0 when the
// buffer is too small.
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

// A host with more addresses than the buffer holds keeps the first ones
// that fit, as the platform does; only a buffer without room for one
// address is an error.
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
        used = request.isHost ? WriteHost(answer, request.buffer, request.bufferLength)
                              : WriteService(answer, request.buffer, request.bufferLength);
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
    return Start(Request{window, msg, buf, buflen, true}, [n = std::string(name)] { return ResolveHost(n); });
}

HANDLE AsyncGetServByName(HWND window, UINT msg, const char* name, const char* proto, char* buf, int buflen) {
    if (!CheckArguments(window, name, buf, buflen)) return 0;
    return Start(Request{window, msg, buf, buflen, false},
                 [n = std::string(name), p = std::string(proto ? proto : "tcp")] { return ResolveService(n, p); });
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

}  // namespace wsock
