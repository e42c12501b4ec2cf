// SPDX-License-Identifier: MIT
#pragma once

namespace testsupport {

// Processor time used by the whole process so far, in seconds.
double ProcessCpuSeconds();

}  // namespace testsupport
