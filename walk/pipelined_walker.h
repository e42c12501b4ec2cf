// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "walk/connection_gauge.h"
#include "walk/connection_lane.h"
#include "walk/cwd_walker.h"
#include "walk/further_connections.h"
#include "walk/level_sink.h"
#include "walk/listing_probe.h"
#include "walk/path_policy.h"
#include "walk/walk_frontier.h"

namespace zn {

// The same walk as CwdWalker, with the same rules, totals and events, but
// without CWD and CDUP: each directory is listed by its absolute path, with
// the fullest listing the start directory showed (listing_probe.h). Where
// that is STAT, the listings come over the control connection, several
// commands sent ahead of their replies on each of several connections;
// where it is MLSD, one data connection each; where it is LIST, the walk is
// CwdWalker's. A directory whose path holds a name that a server may read
// as an option or a pattern (a leading "-", "*", "?", "["), a blank (where
// the server's STAT splits its argument there), or a name too long for a
// reply line, is listed by CWD and LIST.
//
// STAT replies name no directory on many servers, so the dialogue checks
// itself: after each window of STAT commands goes a NOOP, and a window's
// listings count only when its "200" comes where it is due. A reply out of
// place puts that connection back in step (a PWD, every reply up to its
// "257"), and the walk goes on one command at a time.
//
// Directories are listed depth first (walk_frontier.h). DirectoryDone
// comes at the end, in the designed walk's order (children before their
// parent), and not after a failure.
class PipelinedWalker : public WalkStrategy {
public:
    PipelinedWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules = {});

    void Walk() override;
    // How the last walk listed: "STAT" or "STAT -a"; "MLSD" where STAT is
    // not usable and FEAT offers machine listings with types and sizes; else
    // "LIST" or "LIST -a", the designed walk.
    std::string Method() const override { return form_.Command(); }
    void KnowStart(const std::string& path) override { knownStart_ = path; }
    // The totals so far, also while the designed walk runs in its place.
    const WalkTotals& Totals() const override { return designed_ ? designed_->Totals() : totals_; }

    // Further connections of the same server, asked for once the walk knows
    // it will list by STAT (a server without STAT is not asked for
    // connections it would not use) and then only while one more pays for
    // its logon (connection_gauge.h): STAT listings are sent over all of
    // them side by side, each in its own order. A caller that cancels the
    // walk cancels them too.
    void SetFurtherConnections(FurtherConnections* further) { further_ = further; }

    // Commands sent ahead of their replies, per connection.
    static constexpr std::size_t kWindow = 8;
    // Times a connection may be put back in step before the walk gives up.
    static constexpr int kMaxResyncs = 8;

private:
    void RunDesignedWalk();
    void WalkByStat();
    void WalkByMachineListings();
    void OpenClients();
    void GrowConnections();
    void SendAhead();
    bool SendStat(int node, bool inside);
    void SendCheck(std::size_t client);
    void ReceiveNext();
    void TakeReply(std::size_t client, Expect expects, int node);
    void AcceptChecked(std::size_t client);
    void LeaveToOthers(std::size_t client, int node);
    PathListing HowToList(int node) const;
    void ProbeBlanks(const std::string& absolute, TznFTPDirList& listing);
    void ProbeBlanksBelowStart();
    void AcceptStart();
    void Accept(int node, const TznFTPDirList& listing, const std::string& cut = {}, const LevelFiles& counted = {});
    std::string ListByCwd(const std::string& absolute, TznFTPDirList& listing, LevelSink* sink = nullptr);
    void ListNodeByCwd(int node, bool probe);
    bool Suspect(int entries, const std::string& reply);
    static Answer ReceiveCounted(TznFTP& ftp, TznFTPDirList& listing, LevelSink* sink);
    bool PassOverRefusedEntry(std::size_t client);
    void TakeStatListing(std::size_t client, int node, std::unique_ptr<TznFTPDirList> listing, LevelSink* sink);
    void CheckHeld(std::size_t client);
    void BackToStart();
    void GetBackInStep(std::size_t client, int node);
    void DrainAfterFailure();

    TznFTP& ftp_;
    WalkObserver& observer_;
    WalkRules rules_;
    WalkTotals totals_;
    // The start directory and its listing; its digest only while the form
    // is chosen.
    StartListing start_;
    std::optional<std::string> knownStart_;  // the caller's PWD of the start
    bool startWhole_ = true;                 // start_.listing holds every entry
    int statedCap_ = 0;                      // the most entries a listing may hold, where a server said
    bool moved_ = false;                     // the first connection left the start by CWD
    ListingForm form_;
    ListingForm listForm_;     // the fullest LIST, for directories listed by CWD
    std::string statCommand_;  // "STAT " or "STAT -a "
    std::unique_ptr<CwdWalker> designed_;
    WalkFrontier frontier_;
    FurtherConnections* further_ = nullptr;
    ConnectionGauge gauge_{0};
    std::chrono::steady_clock::time_point lastListed_;
    ConnectionLanes lanes_;
    std::size_t window_ = kWindow;
    int resyncs_ = 0;
    // Every STAT reply so far named its directory: no NOOPs are needed.
    bool selfChecking_ = false;
    Blanks blanks_ = Blanks::Unknown;
};

}  // namespace zn
