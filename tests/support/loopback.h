// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace testsupport {

// A plain POSIX listening socket on 127.0.0.1 and a free port, for the
// server side of socket tests.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t Port() const { return port_; }
    // Accepts one connection, waiting at most `seconds`; -1 when none came.
    int Accept(double seconds);

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A listening socket on 127.0.0.1 and a free port, which `port` receives.
int ListenOnLoopback(std::uint16_t& port, int backlog = 8);

// A listening socket on ::1, IPv6 only, on `port`, or on a free port that
// `port` receives when it is 0; -1 when it cannot listen there.
int ListenOnLoopback6(std::uint16_t& port, int backlog = 8);

// Waits in slices of 50 ms, so that a server being stopped does not sit out
// a long wait; false on time-out or stop.
bool WaitReadable(int fd, int milliseconds, const std::atomic<bool>* stop = nullptr);

// Connects to the address of an FTP PORT argument ("h1,h2,h3,h4,p1,p2");
// -1 on failure.
int ConnectToPortArgument(const std::string& argument, const char* fromAddress = nullptr);

// A port on 127.0.0.1 where nothing listens.
std::uint16_t ClosedPort();

bool SendAll(int fd, const std::string& data);
// Closes with a reset instead of an orderly shutdown.
void CloseWithReset(int fd);

}  // namespace testsupport
