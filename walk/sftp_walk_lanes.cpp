// SPDX-License-Identifier: MIT
#include "walk/sftp_walker.h"

#include "net/core/errors.h"
#include "platform/exception.h"

#include <algorithm>
#include <utility>

namespace zn {

// One more connection where the gauge finds it pays for the directories
// not listed yet: those waiting, and those on the way, whose
// subdirectories will wait. The walk goes on over the others while it logs
// on. One that fails to log on ends the growing, not the walk.
void SftpWalker::GrowLanes() {
    if (!further_ || noMoreLanes_ || LiveLanes() >= mostLanes_) return;
    const std::size_t unlisted = frontier_.Waiting() + pending_.size();
    if (!lanesAtOnce_ && !gauge_.OneMorePays(unlisted, LiveLanes())) return;
    SftpChannel* lane = further_->OpenOne([this] { ListWhileLoggingOn(); });
    if (besideError_) std::rethrow_exception(std::exchange(besideError_, nullptr));
    if (!lane) {
        noMoreLanes_ = true;
        return;
    }
    gauge_.LogonTaken(further_->LogonSeconds());
    lanes_.push_back(lane);
    load_.push_back(0);
}

// Runs before each round of a further connection's logon waits, so it
// takes only what has come and never waits itself; it leaves the sockets
// of the connections at work watched, so that the logon's wait ends when
// one of them has a reply. A walk done, or failed, needs the logon no more.
void SftpWalker::ListWhileLoggingOn() {
    try {
        FillLanes();
        while (TakeWhatCame()) FillLanes();
        if (Done()) further_->StopOpening();
        for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
            if (lanes_[lane] && load_[lane] > 0) lanes_[lane]->Session().Arm();
        }
    } catch (...) {
        besideError_ = std::current_exception();
        further_->StopOpening();
    }
}

int SftpWalker::LiveLanes() const {
    return static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(), [](const SftpChannel* lane) { return lane; }));
}

std::size_t SftpWalker::Roomiest() const {
    std::size_t best = lanes_.size();
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
        if (!lanes_[lane] || load_[lane] >= open_) continue;
        if (best == lanes_.size() || load_[lane] < load_[best]) best = lane;
    }
    return best;
}

void SftpWalker::FillLanes() {
    for (std::size_t lane = Roomiest(); lane < lanes_.size() && !frontier_.Empty(); lane = Roomiest()) {
        StartListing(frontier_.TakeNext(), lane);
    }
}

void SftpWalker::TakeReplies() {
    // A server that answers as fast as the walk asks leaves no wait to end
    // with the Cancel: it is looked for here too.
    if (lanes_[0]->Session().Canceled()) throw ECanceledError();
    if (TakeWhatCame()) return;
    std::vector<SshSession*> waiting;
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
        if (lanes_[lane] && load_[lane] > 0) waiting.push_back(&lanes_[lane]->Session());
    }
    if (waiting.empty()) return;
    SshSession::WaitForAny(waiting);
    lanes_[0]->Session().ThrowIfTimedOut();
    for (std::size_t lane = 1; lane < lanes_.size(); ++lane) {
        if (lanes_[lane] && lanes_[lane]->Session().TimedOut()) LoseLane(lane, "no reply within the time-out");
    }
}

bool SftpWalker::TakeWhatCame() {
    bool took = false;
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane) {
        if (!lanes_[lane] || load_[lane] == 0) continue;
        if (std::optional<sftp::Reply> reply = PollLane(lane)) {
            Take(lane, *reply);
            took = true;
        }
    }
    return took;
}

// The first connection's failures are the walk's; a further one's are its
// own (LoseLane).
std::optional<sftp::Reply> SftpWalker::PollLane(std::size_t lane) {
    if (lane == 0) return lanes_[0]->Poll();
    try {
        return lanes_[lane]->Poll();
    } catch (const platform::Exception& e) {
        LoseLane(lane, e.Message());
        return std::nullopt;
    }
}

// A further connection the server closed, or that stalled past its
// time-out: the directories on the way over it are listed again by the
// others, and the walk goes on without it. Those it had read to the end
// are counted already; only their handles are left behind.
void SftpWalker::LoseLane(std::size_t lane, const std::string& why) {
    for (auto request = pending_.begin(); request != pending_.end();) {
        if (request->second.lane != lane) {
            ++request;
            continue;
        }
        if (request->second.stage != Stage::Closing) frontier_.Again(request->second.node);
        request = pending_.erase(request);
    }
    lanes_[lane] = nullptr;
    load_[lane] = 0;
    Shown(false, "one more connection was lost: " + why);
}

}  // namespace zn
