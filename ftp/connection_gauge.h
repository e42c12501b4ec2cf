// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

namespace zn {

// Whether one more connection pays for its logon, judged from what the walk
// has measured rather than guessed: what a logon takes (the first
// connection's, then the latest further one's), what a listing takes one
// connection (the walk's time so far, spread over the connections at work),
// and how many directories a listing has found on average.
//
// The work left is the directories not listed yet, each with as many below
// it as a listed one had on average: the walk cannot see further ahead.
// With k connections and W listings left, each taking t of a connection's
// time, the rest of the walk takes W t / k. One more that
// starts working after a logon of L makes it (W t + L) / (k + 1), which
// saves (W t - k L) / (k (k + 1)). It pays when that saving is more than
// the logon costs the server: W t > k (k + 2) L.
class ConnectionGauge {
public:
    explicit ConnectionGauge(double logonSeconds) : logonSeconds_(logonSeconds) {}

    void LogonTaken(double seconds) { logonSeconds_ = seconds; }
    // One listing came, `seconds` after the one before, while `connections`
    // were at work; it held `subdirectories` to be listed.
    void Listed(double seconds, int connections, std::size_t subdirectories);
    // `unlisted`: directories found and not listed yet; `connections` counts
    // those at work and those logging on.
    bool OneMorePays(std::size_t unlisted, int connections) const;

    // Listings measured before the first judgement: one reply says little.
    static constexpr int kListingsBeforeJudging = 4;

private:
    double logonSeconds_;
    double connectionSeconds_ = 0;
    int listed_ = 0;
    std::size_t found_ = 0;  // subdirectories the listings held
};

}  // namespace zn
