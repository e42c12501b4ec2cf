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
//
// That holds while the server lists as fast on each connection as on one.
// A server that does one thing at a time across its processes (proftpd,
// whose every command takes its scoreboard's lock), or a host with fewer
// cores than connections, lists no faster with one more: each listing then
// seems to take a connection longer, which would ask for more still. So
// the walk also measures its pace, listings per second, with each number
// of connections at work, and opens one more only where the last one made
// it list faster.
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
    // Listings measured with a number of connections before its pace is
    // set against the pace with one fewer.
    static constexpr int kListingsToComparePace = 24;
    // The pace the last connection must have added, at least, for the
    // next to be worth its logon.
    static constexpr double kPaceGain = 1.15;

private:
    struct Pace {
        double seconds = 0;
        int listings = 0;
    };
    // The paces with 1 to kMostPaced connections at work.
    static constexpr int kMostPaced = 32;
    bool LastOnePaid(int connections) const;

    Pace paces_[kMostPaced + 1];
    double logonSeconds_;
    double connectionSeconds_ = 0;
    int listed_ = 0;
    std::size_t found_ = 0;  // subdirectories the listings held
};

}  // namespace zn
