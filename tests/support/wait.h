// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace testsupport {

// Blocks in the event loop until the condition holds or the time is up;
// returns the condition's last value.
bool WaitUntil(const std::function<bool()>& condition, double seconds);

// Lets the event loop run for the given time.
void RunEventLoopFor(double seconds);

}  // namespace testsupport
