// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace testsupport {

// How far the process's resident memory rose while `run` ran, at its
// highest, in KiB: the kernel's peak (VmHWM) is reset before it. -1 where
// the kernel does not let it be reset.
long PeakGrowthKilobytes(const std::function<void()>& run);

}  // namespace testsupport
