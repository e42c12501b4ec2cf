// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>

class QTimer;

namespace platform {

// A periodic timer whose ticks arrive through the main thread's event loop,
// so they are seen only while some wait processes messages.
class PeriodicTimer {
public:
    PeriodicTimer(int intervalMs, std::function<void()> onTick);
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    void SetEnabled(bool enabled);
    // Runs the timer with a whole interval to go, whether it ran or not.
    void Restart();
    bool Enabled() const;

private:
    std::unique_ptr<QTimer> timer_;
};

}  // namespace platform
