// SPDX-License-Identifier: MIT
// The reply reader on arbitrary server bytes: a listener on 127.0.0.1
// plays the bytes to a freshly connected socket component and closes; the
// component reads replies until the close ends them. Any exception the
// component raises is a valid outcome; a crash, a hang or a line longer
// than the limit is not.

#include "net/core/errors.h"
#include "net/socket.h"
#include "platform/messages.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class ReplyReader : public zn::TznSocket {
public:
    explicit ReplyReader(platform::TComponent* owner) : TznSocket(owner) {
        SetWinsockLoaded(true);
        SetTimeOut(5);
    }
    using TznSocket::SetServer;
};

struct Listener {
    Listener() {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::abort();
        }
        server = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    int fd = -1;
    std::string server;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Loopback buffers take this much without a reader.
    if (size > std::size_t{256} * 1024) return 0;
    static const bool kStarted = (platform::EnsureApplication(), true);
    static Listener listener;
    (void)kStarted;

    platform::TComponent owner(nullptr);
    auto* reader = new ReplyReader(&owner);
    reader->SetServer(listener.server);
    reader->Open();
    reader->ConnectSocket();
    const int peer = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) std::abort();
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = send(peer, data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    shutdown(peer, SHUT_WR);
    try {
        // Each reply takes at least one line; more replies than lines means
        // the reader no longer moves on.
        for (std::size_t replies = 0; replies <= size + 1; ++replies) {
            reader->ReadReply();
            if (reader->LastReply().size() > zn::TznSocket::kLineMax) std::abort();
        }
        std::abort();
    } catch (const zn::ESocketError&) {
        // The close ends every dialogue, possibly earlier as a failure.
    }
    // A reset, not an orderly close, so that thousands of runs leave no
    // connections waiting out their time on loopback.
    linger reset{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(peer);
    return 0;
}
