// SPDX-License-Identifier: MIT
#include "tests/support/tcp_relay.h"

#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <vector>

namespace testsupport {
namespace {

constexpr unsigned char kNewKeys = 21;

int ConnectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// One client joined to the server. What the server sent is kept while the
// relay waits for the end of the key exchange.
struct Joined {
    int client = -1;
    int server = -1;
    std::string fromServer;
    bool keysExchanged = false;
};

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// How many leading bytes of a server's SSH stream end with its NEWKEYS
// packet; 0 while `stream` does not hold it whole yet. The server may send
// lines before its identification, which begins with "SSH-" (RFC 4253
// section 4.2). Then each packet is its length, the padding's length, the
// payload, whose first byte is the message number, and the padding; no MAC
// while no keys are in use.
std::size_t SshBytesThroughNewKeys(const std::string& stream) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = stream.find("\r\n", at);
        if (end == std::string::npos) return 0;
        const bool identification = stream.compare(at, 4, "SSH-") == 0;
        at = end + 2;
        if (identification) break;
    }
    while (at + 6 <= stream.size()) {
        const std::size_t next = at + 4 + BigEndian32(stream, at);
        if (next > stream.size()) return 0;
        if (static_cast<unsigned char>(stream[at + 5]) == kNewKeys) return next;
        at = next;
    }
    return 0;
}

// Forwards what one side of `pair` has; false when that side is gone,
// which ends the pair. `holdAfterKeyExchange`: the server's bytes through
// its NEWKEYS packet go on, the rest does not, and `held` is set.
bool Forward(Joined& pair, bool fromClient, bool holdAfterKeyExchange, std::atomic<bool>& held) {
    std::array<char, 65536> buffer{};
    const ssize_t n = ::read(fromClient ? pair.client : pair.server, buffer.data(), buffer.size());
    if (n <= 0) return false;
    std::string bytes(buffer.data(), static_cast<std::size_t>(n));
    if (!fromClient && holdAfterKeyExchange && !pair.keysExchanged) {
        pair.fromServer += bytes;
        const std::size_t through = SshBytesThroughNewKeys(pair.fromServer);
        if (through > 0) {
            pair.keysExchanged = true;
            bytes.resize(through - (pair.fromServer.size() - bytes.size()));
            held = true;
            return SendAll(pair.client, bytes);
        }
    }
    return SendAll(fromClient ? pair.server : pair.client, bytes);
}

}  // namespace

TcpRelay::TcpRelay(std::uint16_t serverPort) : serverPort_(serverPort) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void TcpRelay::Run() {
    std::vector<Joined> joined;
    while (!stop_) {
        std::vector<pollfd> watched{{listener_, POLLIN, 0}};
        // Held, nothing is read: what comes stays in the kernel's buffers.
        for (const Joined& pair : joined) {
            const short events = held_ ? 0 : POLLIN;
            watched.push_back({pair.client, events, 0});
            watched.push_back({pair.server, events, 0});
        }
        if (::poll(watched.data(), watched.size(), 50) <= 0) continue;
        for (std::size_t i = 0; i < joined.size() && !held_; ++i) {
            const auto ready = [&](std::size_t at) { return (watched[at].revents & (POLLIN | POLLHUP)) != 0; };
            const bool ended = (ready(1 + 2 * i) && !Forward(joined[i], true, holdAfterKeyExchange_, held_)) ||
                               (ready(2 + 2 * i) && !Forward(joined[i], false, holdAfterKeyExchange_, held_));
            if (ended) {
                ::close(joined[i].client);
                ::close(joined[i].server);
                joined[i].client = joined[i].server = -1;
            }
        }
        std::erase_if(joined, [](const Joined& pair) { return pair.client < 0; });
        if (watched[0].revents & POLLIN) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? ConnectTo(serverPort_) : -1;
            if (server >= 0)
                joined.push_back({client, server, {}, false});
            else if (client >= 0)
                ::close(client);
        }
    }
    for (const Joined& pair : joined) {
        ::close(pair.client);
        ::close(pair.server);
    }
}

}  // namespace testsupport
