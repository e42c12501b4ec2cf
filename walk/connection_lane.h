// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ftp/client/sent_ahead.h"
#include "ftp/listing/dir_list.h"

namespace zn {

class TznFTP;

// No directory: what a NOOP or a CWD owes when its reply is lost.
constexpr int kNoDirectory = -1;

// A listing received, or a refusal, counted once its window's NOOP is
// answered where it is due.
struct HeldListing {
    int node = 0;
    std::unique_ptr<TznFTPDirList> listing;  // none: refused
    std::string refusal;
};

// One connection of the fast walk, and what the walk keeps of it: the STAT
// commands in flight, those sent since its last check, and the listings
// that wait for that check. The counts are its own; the connection itself
// is only touched to close it and to take back what it was sent.
class ConnectionLane {
public:
    explicit ConnectionLane(TznFTP* client) : client_(client) {}

    TznFTP& Client() const { return *client_; }
    // The server closed it, or it stopped answering: it takes no more.
    bool Retired() const { return retired_; }
    // STAT commands in flight.
    std::size_t Load() const { return load_; }
    bool HasRoom(std::size_t window) const { return !retired_ && load_ < window; }
    // STAT commands sent since its last NOOP.
    bool Unchecked() const { return unchecked_ > 0; }

    void StatSent() { ++load_; }
    void StatAnswered() { --load_; }
    // One more STAT goes out unchecked: true when it fills the window,
    // which then wants its NOOP.
    bool FillsWindow(std::size_t window) { return ++unchecked_ >= window; }
    void Checked() { unchecked_ = 0; }

    void Hold(HeldListing held) { held_.push_back(std::move(held)); }
    bool HoldsNothing() const { return held_.empty(); }
    std::vector<HeldListing> TakeHeld() { return std::exchange(held_, {}); }
    void DropHeld() { held_.clear(); }

    // The directories it owes: those whose listings wait for their check,
    // then those whose replies are still to come, taken from the commands
    // in flight.
    std::deque<int> TakeOwed();
    void Retire();

private:
    TznFTP* client_;
    bool retired_ = false;
    std::size_t load_ = 0;
    std::size_t unchecked_ = 0;
    std::vector<HeldListing> held_;
};

// The walk's connections, the first one first, and the order their
// replies come in: each connection answers its own commands in order, and
// the walk reads the replies in the order the commands went.
class ConnectionLanes {
public:
    void Reset(TznFTP* first);
    void Add(TznFTP* client) { lanes_.emplace_back(client); }

    std::size_t Size() const { return lanes_.size(); }
    ConnectionLane& operator[](std::size_t lane) { return lanes_[lane]; }
    const ConnectionLane& operator[](std::size_t lane) const { return lanes_[lane]; }
    // Connections not retired.
    int Working() const;
    // STAT commands in flight over all of them.
    std::size_t InFlight() const;

    // The least loaded connection with room in its window, taken in turns,
    // so that none sits idle long enough for the server to close it; Size()
    // when every window is full.
    std::size_t Next(std::size_t window);

    // Sends `command` over `lane`; its reply is read in its turn.
    void Send(std::size_t lane, const std::string& command, Expect expects, std::string path = {},
              int node = kNoDirectory);
    bool Awaiting() const { return !order_.empty(); }
    // The connection whose reply comes next, taken from the order.
    std::size_t TakeNextReply();
    // The first reply owed by `lane` leaves the order; false if it owes none.
    bool TakeReplyOf(std::size_t lane);
    // What `lane` owes, and its replies leave the order.
    std::deque<int> TakeOwed(std::size_t lane);
    // After a failure: what the further connections were sent is dropped
    // without reading, and so are the listings held.
    void DropAll();

private:
    std::vector<ConnectionLane> lanes_;
    std::deque<std::size_t> order_;
    std::size_t turn_ = 0;  // where the search for a connection starts
};

}  // namespace zn
