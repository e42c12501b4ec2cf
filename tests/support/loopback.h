#pragma once

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

// A port on 127.0.0.1 where nothing listens.
std::uint16_t ClosedPort();

bool SendAll(int fd, const std::string& data);
// Closes with a reset instead of an orderly shutdown.
void CloseWithReset(int fd);

}  // namespace testsupport
