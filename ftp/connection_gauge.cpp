// SPDX-License-Identifier: MIT
#include "ftp/connection_gauge.h"

namespace zn {

void ConnectionGauge::Listed(double seconds, int connections) {
    connectionSeconds_ += seconds * connections;
    ++listed_;
}

bool ConnectionGauge::OneMorePays(std::size_t waiting, int connections) const {
    if (listed_ < kListingsBeforeJudging || connections < 1) return false;
    const double secondsPerListing = connectionSeconds_ / listed_;
    const double work = static_cast<double>(waiting) * secondsPerListing;
    return work > connections * (connections + 2) * logonSeconds_;
}

}  // namespace zn
