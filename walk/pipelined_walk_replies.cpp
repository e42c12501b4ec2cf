// SPDX-License-Identifier: MIT
// The fast walk's replies: each read in the order its command went, a
// listing taken, held for its check or counted as it came, and a
// connection that falls out of step put back in step or left to the
// others.
#include "walk/pipelined_walker.h"

#include "ftp/listing/listing_cut.h"
#include "net/core/errors.h"
#include "platform/exception.h"

#include <optional>
#include <utility>

namespace zn {

// The oldest command's reply: each connection answers in its own order,
// and meanwhile the servers behind the others work on theirs. A further
// connection that the server closes (its idle time-out, "421") leaves its
// directories to the others.
void PipelinedWalker::ReceiveNext() {
    const std::size_t client = lanes_.TakeNextReply();
    TznFTP& ftp = lanes_[client].Client();
    const Expect expects = ftp.NextAhead().Expects;
    // The directory that goes to the others if the reply is lost: a STAT's.
    const int node = expects == Expect::Listing ? ftp.NextAhead().Tag : kNoDirectory;
    try {
        if (node != kNoDirectory) lanes_[client].StatAnswered();
        TakeReply(client, expects, node);
    } catch (const ESocketError&) {
        if (client == 0) throw;
        LeaveToOthers(client, node);
    } catch (const ETimedOutError&) {
        // A further connection that stopped answering: the others go on.
        if (client == 0) throw;
        LeaveToOthers(client, node);
    } catch (const EServerError&) {
        // A directory's STAT refused: held like a listing until the window's
        // check shows the reply was that directory's.
        if (node != kNoDirectory && MayPassOver(rules_, ftp)) {
            lanes_[client].Hold(HeldListing{node, nullptr, ftp.LastReply()});
            CheckHeld(client);
            return;
        }
        if (expects == Expect::EntryBeforeListing && MayPassOver(rules_, ftp) && PassOverRefusedEntry(client)) return;
        if (client == 0 || ftp.LastReply().rfind("421", 0) != 0) throw;
        LeaveToOthers(client, node);
    }
}

// The reply the walk reads next, from `client`, for `node` if a STAT's.
void PipelinedWalker::TakeReply(std::size_t client, Expect expects, int node) {
    TznFTP& ftp = lanes_[client].Client();
    auto listing = std::make_unique<TznFTPDirList>();
    // Where every reply so far named its directory, a listing is counted
    // as it arrives, and taken back if its reply is not as due.
    std::optional<LevelSink> sink;
    if (node != kNoDirectory && selfChecking_ && lanes_[client].HoldsNothing())
        sink.emplace(rules_, totals_, frontier_[node].treeDir);
    const Answer answer = ReceiveCounted(ftp, *listing, sink ? &*sink : nullptr);
    if (sink && answer != Answer::AsExpected) sink->RollBack();
    if (sink && answer == Answer::AsExpected) sink->Deliver(*listing);
    switch (answer) {
        case Answer::OutOfStep: GetBackInStep(client, node); return;
        case Answer::LinesCut:
        case Answer::OtherDirectory: frontier_.AgainByCwd(node); return;
        case Answer::AsExpected:
        case Answer::Refused: break;  // a CDUP's or a CWD's only, none here
    }
    if (expects == Expect::Check) {
        AcceptChecked(client);
    } else if (node != kNoDirectory) {
        TakeStatListing(client, node, std::move(listing), sink ? &*sink : nullptr);
    }
}

// The next reply of `ftp` into `listing`, counted through `sink` if any,
// which takes back what it counted if the reply fails.
Answer PipelinedWalker::ReceiveCounted(TznFTP& ftp, TznFTPDirList& listing, LevelSink* sink) {
    listing.Sink = sink;
    try {
        const Answer answer = ftp.ReceiveAhead(&listing);
        listing.Sink = nullptr;
        return answer;
    } catch (const platform::Exception&) {
        listing.Sink = nullptr;
        if (sink) sink->RollBack();
        throw;
    }
}

// A STAT listing as it came: one that may have been cut is listed again in
// a form that says so; one whose reply names its directory proves which
// command it answers and counts now; the others wait for their check. One
// counted as it came (`sink`) whose reply turns out to prove nothing is
// taken back and listed again, checked.
void PipelinedWalker::TakeStatListing(std::size_t client, int node, std::unique_ptr<TznFTPDirList> listing,
                                      LevelSink* sink) {
    const TznFTP& ftp = lanes_[client].Client();
    if (Suspect(sink ? sink->Entries() : listing->Count(), ftp.LastReply())) {
        if (sink) sink->RollBack();
        frontier_.AgainByCwd(node);
        return;
    }
    if (selfChecking_ && ftp.ListingNamedItsPath() && lanes_[client].HoldsNothing()) {
        Accept(node, *listing, {}, sink ? sink->Own() : LevelFiles{});
        return;
    }
    if (sink && sink->Counted()) {
        sink->RollBack();
        frontier_.Again(node);
        CheckHeld(client);
        return;
    }
    lanes_[client].Hold(HeldListing{node, std::move(listing), {}});
    CheckHeld(client);
}

// The CWD before a "STAT ." refused: that STAT lists the directory the
// connection is still in, not the one it was sent for. Its reply is read
// and dropped; the refusal is held like a listing. False when the
// dialogue is not as sent, and the refusal stands.
bool PipelinedWalker::PassOverRefusedEntry(std::size_t client) {
    TznFTP& ftp = lanes_[client].Client();
    if (ftp.AheadCount() == 0 || ftp.NextAhead().Expects != Expect::Listing) return false;
    const std::string refusal = ftp.LastReply();
    const int refused = ftp.NextAhead().Tag;
    if (!lanes_.TakeReplyOf(client)) return false;
    lanes_[client].StatAnswered();
    TznFTPDirList elsewhere;
    if (ftp.ReceiveAhead(&elsewhere) != Answer::AsExpected) {
        GetBackInStep(client, refused);
        return true;
    }
    lanes_[client].Hold(HeldListing{refused, nullptr, refusal});
    CheckHeld(client);
    return true;
}

// Where replies prove themselves, a reply that does not waits for a NOOP
// of its own, and the walk checks by windows from here on.
void PipelinedWalker::CheckHeld(std::size_t client) {
    if (!selfChecking_) return;
    selfChecking_ = false;
    // The STATs in flight went without a NOOP after them.
    for (std::size_t other = 0; other < lanes_.Size(); ++other) {
        if (!lanes_[other].Retired() && (other == client || lanes_[other].Load() > 0)) SendCheck(other);
    }
}

bool PipelinedWalker::Suspect(int entries, const std::string& reply) {
    if (const int cap = StatedCap(reply)) statedCap_ = cap;
    return !CutReason(reply).empty() || MayBeCut(entries, statedCap_);
}

// A further connection the server closed, or reset: what it owed goes back
// to the queue for the others, and the walk goes on without it.
void PipelinedWalker::LeaveToOthers(std::size_t client, int node) {
    std::deque<int> owed = lanes_.TakeOwed(client);
    if (node != kNoDirectory) owed.push_front(node);
    frontier_.Again(owed);
    lanes_[client].Retire();
}

// A window's listings count once its NOOP is answered where it is due.
void PipelinedWalker::AcceptChecked(std::size_t client) {
    for (const HeldListing& held : lanes_[client].TakeHeld()) {
        if (held.listing) {
            Accept(held.node, *held.listing);
        } else {
            PassOver(totals_, observer_, frontier_[held.node].relative, held.refusal);
        }
    }
}

// A PWD, and every reply up to its "257", puts that connection back in
// step; the directories it owed are listed again, one command at a time on
// each connection from here on.
void PipelinedWalker::GetBackInStep(std::size_t client, int node) {
    TznFTP& ftp = lanes_[client].Client();
    if (++resyncs_ > kMaxResyncs) ftp.RaiseOutOfStep();
    std::deque<int> again = lanes_.TakeOwed(client);
    if (node != kNoDirectory) again.push_front(node);
    // Every command still owed a reply, the one out of place, and the PWD.
    ftp.GetBackInStep(again.size() * 2 + 3);
    frontier_.Again(again);
    window_ = 1;
}

// After a failure, the first connection (which the window keeps using) is
// brought back in step: the replies to the commands sent ahead are read.
// A connection that gives no reply within its time-out is closed, so the
// ending costs one time-out at most; the further connections are closed by
// their owner without waiting.
void PipelinedWalker::DrainAfterFailure() {
    if (!ftp_.DrainAhead()) ftp_.Close();
    lanes_.DropAll();
    frontier_.Forget();
}

}  // namespace zn
