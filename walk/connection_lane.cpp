// SPDX-License-Identifier: MIT
#include "walk/connection_lane.h"

#include "ftp/client/ftp.h"

#include <algorithm>

namespace zn {

std::deque<int> ConnectionLane::TakeOwed() {
    std::deque<int> owed;
    for (const HeldListing& held : held_) owed.push_back(held.node);
    held_.clear();
    for (const SentAhead& sent : client_->TakeAhead()) {
        if (sent.Expects == Expect::Listing) owed.push_back(sent.Tag);
    }
    load_ = unchecked_ = 0;
    return owed;
}

void ConnectionLane::Retire() {
    retired_ = true;
    load_ = unchecked_ = 0;
    client_->Close();
}

void ConnectionLanes::Reset(TznFTP* first) {
    lanes_.clear();
    order_.clear();
    Add(first);
    turn_ = 0;
}

int ConnectionLanes::Working() const {
    return static_cast<int>(
        std::count_if(lanes_.begin(), lanes_.end(), [](const ConnectionLane& lane) { return !lane.Retired(); }));
}

std::size_t ConnectionLanes::InFlight() const {
    std::size_t inFlight = 0;
    for (const ConnectionLane& lane : lanes_) inFlight += lane.Load();
    return inFlight;
}

std::size_t ConnectionLanes::Next(std::size_t window) {
    std::size_t best = lanes_.size();
    for (std::size_t i = 0; i < lanes_.size(); ++i) {
        const std::size_t lane = (turn_ + i) % lanes_.size();
        if (!lanes_[lane].HasRoom(window)) continue;
        if (best == lanes_.size() || lanes_[lane].Load() < lanes_[best].Load()) best = lane;
    }
    if (best < lanes_.size()) turn_ = best + 1;
    return best;
}

void ConnectionLanes::Send(std::size_t lane, const std::string& command, Expect expects, std::string path, int node) {
    lanes_[lane].Client().SendAhead(command, expects, std::move(path), node);
    order_.push_back(lane);
}

std::size_t ConnectionLanes::TakeNextReply() {
    const std::size_t lane = order_.front();
    order_.pop_front();
    return lane;
}

bool ConnectionLanes::TakeReplyOf(std::size_t lane) {
    const auto owed = std::find(order_.begin(), order_.end(), lane);
    if (owed == order_.end()) return false;
    order_.erase(owed);
    return true;
}

std::deque<int> ConnectionLanes::TakeOwed(std::size_t lane) {
    std::deque<int> owed = lanes_[lane].TakeOwed();
    std::erase(order_, lane);
    return owed;
}

void ConnectionLanes::DropAll() {
    for (const std::size_t lane : order_) {
        if (lane != 0) lanes_[lane].Client().TakeAhead();
    }
    order_.clear();
    for (ConnectionLane& lane : lanes_) lane.DropHeld();
}

}  // namespace zn
