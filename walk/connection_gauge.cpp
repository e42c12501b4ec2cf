// SPDX-License-Identifier: MIT
#include "walk/connection_gauge.h"

namespace zn {

void ConnectionGauge::Listed(double seconds, int connections, std::size_t subdirectories) {
    connectionSeconds_ += seconds * connections;
    ++listed_;
    found_ += subdirectories;
    if (connections < 1 || connections > kMostPaced) return;
    paces_[connections].seconds += seconds;
    ++paces_[connections].listings;
}

// With one connection there is nothing to compare; with more, the pace with
// them all must be measured, and be enough above the pace with one fewer.
bool ConnectionGauge::LastOnePaid(int connections) const {
    if (connections < 2) return true;
    if (connections > kMostPaced) return false;
    const Pace& now = paces_[connections];
    const Pace& before = paces_[connections - 1];
    if (before.listings == 0 || before.seconds <= 0) return true;
    if (now.listings < kListingsToComparePace || now.seconds <= 0) return false;
    return now.listings / now.seconds > kPaceGain * before.listings / before.seconds;
}

bool ConnectionGauge::OneMorePays(std::size_t unlisted, int connections) const {
    if (listed_ < kListingsBeforeJudging || connections < 1) return false;
    const double secondsPerListing = connectionSeconds_ / listed_;
    const double below = static_cast<double>(found_) / listed_;
    const double work = static_cast<double>(unlisted) * (1 + below) * secondsPerListing;
    return work > connections * (connections + 2) * logonSeconds_ && LastOnePaid(connections);
}

}  // namespace zn
