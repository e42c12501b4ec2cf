// SPDX-License-Identifier: MIT
#include "tests/support/cpu_time.h"

#include <ctime>

namespace testsupport {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace testsupport
