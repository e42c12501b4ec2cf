// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/timer.h"

namespace zn {

// A count-down in whole seconds that times every wait. Its ticks come from
// the event loop, so it counts only while a wait processes messages.
class TTimeCounter {
public:
    TTimeCounter();

    // Reloads the seconds left and runs the timer; TimedOut stays as it is.
    void Start();
    // Stops the timer; the seconds left and TimedOut stay as they are.
    void Stop();
    // One second has passed.
    void Tick();

    std::int32_t TimeOut() const { return timeOut_; }
    void SetTimeOut(std::int32_t seconds) { timeOut_ = seconds; }
    bool TimedOut() const { return timedOut_; }
    void SetTimedOut(bool value) { timedOut_ = value; }
    std::int32_t Remaining() const { return remaining_; }
    bool Running() const { return timer_.Enabled(); }

private:
    platform::PeriodicTimer timer_;
    std::int32_t remaining_ = 0;
    std::int32_t timeOut_ = 60;
    bool timedOut_ = false;
};

}  // namespace zn
