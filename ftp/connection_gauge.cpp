// SPDX-License-Identifier: MIT
#include "ftp/connection_gauge.h"

namespace zn {

void ConnectionGauge::Listed(double seconds, int connections, std::size_t subdirectories) {
    connectionSeconds_ += seconds * connections;
    ++listed_;
    found_ += subdirectories;
}

bool ConnectionGauge::OneMorePays(std::size_t unlisted, int connections) const {
    if (listed_ < kListingsBeforeJudging || connections < 1) return false;
    const double secondsPerListing = connectionSeconds_ / listed_;
    const double below = static_cast<double>(found_) / listed_;
    const double work = static_cast<double>(unlisted) * (1 + below) * secondsPerListing;
    return work > connections * (connections + 2) * logonSeconds_;
}

}  // namespace zn
