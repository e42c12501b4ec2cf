// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace testsupport {

// A relay on 127.0.0.1 and a free port between a client and a server on
// 127.0.0.1: each connection it accepts is joined to one of its own to the
// server, and bytes are forwarded both ways, on a thread of the relay's,
// until it is told to hold. Holding stops every connection's forwarding
// both ways, for good, the sockets left open: each side then waits on a
// peer that neither answers nor hangs up, and only its own time-out or a
// cancel ends the wait. The destructor stops the thread and closes all.
class TcpRelay {
public:
    explicit TcpRelay(std::uint16_t serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    std::uint16_t Port() const { return port_; }
    // Stops forwarding from now on; what has not been forwarded yet stays
    // where it is.
    void Hold() { held_ = true; }
    // Holds by itself once the server has sent the last packet of its SSH
    // key exchange (SSH_MSG_NEWKEYS, RFC 4253 section 7.3), forwarded
    // whole: the client then has its keys and waits on the first encrypted
    // answer, the one that lets its logon begin.
    void HoldAfterKeyExchange() { holdAfterKeyExchange_ = true; }
    bool Held() const { return held_; }

private:
    void Run();

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::uint16_t serverPort_ = 0;
    std::atomic<bool> held_{false};
    std::atomic<bool> holdAfterKeyExchange_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace testsupport
