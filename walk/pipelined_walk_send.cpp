// SPDX-License-Identifier: MIT
// What the fast walk sends: STAT commands ahead of their replies over each
// connection with room in its window, a NOOP after each window, and one
// more connection where it pays.
#include "walk/pipelined_walker.h"

#include "net/core/errors.h"

namespace zn {

void PipelinedWalker::OpenClients() {
    lanes_.Reset(&ftp_);
    gauge_ = ConnectionGauge(ftp_.LogonSeconds());
    lastListed_ = std::chrono::steady_clock::now();
}

// Takes the connections whose logon is done, then asks for one more if it
// pays for the directories not listed yet: those waiting, and those in
// flight, whose subdirectories will wait.
void PipelinedWalker::GrowConnections() {
    if (!further_) return;
    for (TznFTP* ftp : further_->TakeLoggedOn()) {
        gauge_.LogonTaken(ftp->LogonSeconds());
        lanes_.Add(ftp);
    }
    const std::size_t unlisted = frontier_.Waiting() + lanes_.InFlight();
    if (gauge_.OneMorePays(unlisted, lanes_.Working() + further_->Opening())) further_->OpenOne();
}

// Fills the windows, then checks what each connection was sent since its
// last check, unless more is about to go there. A directory that must be
// listed by CWD and LIST waits until every reply in flight is in: those
// commands take the first connection's turn.
void PipelinedWalker::SendAhead() {
    bool full = false;
    while (!frontier_.Empty()) {
        const int node = frontier_.Next();
        const PathListing how = HowToList(node);
        if (how == PathListing::Cwd || how == PathListing::CwdProbingBlanks) {
            if (lanes_.Awaiting()) break;
            frontier_.TakeNext();
            ListNodeByCwd(node, how == PathListing::CwdProbingBlanks);
            continue;
        }
        if (!SendStat(node, how == PathListing::StatInside)) {
            full = true;
            break;
        }
    }
    if (full) return;
    for (std::size_t client = 0; client < lanes_.Size(); ++client) {
        if (lanes_[client].Unchecked()) SendCheck(client);
    }
}

bool PipelinedWalker::SendStat(int node, bool inside) {
    std::size_t client = lanes_.Next(window_);
    // A further connection the server has closed while it owed nothing
    // leaves the walk quietly.
    while (client > 0 && client < lanes_.Size() && !lanes_[client].Client().Connected() && lanes_[client].Load() == 0) {
        lanes_[client].Retire();
        client = lanes_.Next(window_);
    }
    if (client == lanes_.Size()) return false;
    const std::string& path = frontier_[node].absolute;
    const std::string argument = inside ? "." : path;
    try {
        if (inside && client == 0) moved_ = true;
        if (inside) lanes_.Send(client, "CWD " + path, Expect::EntryBeforeListing);
        lanes_.Send(client, statCommand_ + argument, Expect::Listing, argument, node);
    } catch (const ESocketError&) {
        if (client == 0) throw;
        LeaveToOthers(client, kNoDirectory);
        return true;
    }
    frontier_.TakeNext();
    lanes_[client].StatSent();
    if (!selfChecking_ && lanes_[client].FillsWindow(window_)) SendCheck(client);
    return true;
}

void PipelinedWalker::SendCheck(std::size_t client) {
    try {
        lanes_.Send(client, "NOOP", Expect::Check);
    } catch (const ESocketError&) {
        if (client == 0) throw;
        LeaveToOthers(client, kNoDirectory);
        return;
    }
    lanes_[client].Checked();
}

}  // namespace zn
