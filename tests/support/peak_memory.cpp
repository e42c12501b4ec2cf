// SPDX-License-Identifier: MIT
#include "tests/support/peak_memory.h"

#include <fstream>
#include <string>

namespace testsupport {
namespace {

long StatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    }
    return -1;
}

}  // namespace

long PeakGrowthKilobytes(const std::function<void()>& run) {
    // 5 resets the peak to what is resident now (proc(5), clear_refs).
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";
    reset.close();
    if (!reset) return -1;
    const long before = StatusKilobytes("VmRSS:");
    run();
    return StatusKilobytes("VmHWM:") - before;
}

}  // namespace testsupport
