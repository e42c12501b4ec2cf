// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/site_walker.h"

namespace zn {

// The same walk as SiteWalker, with the same rules, totals and events, but
// listed over the control connection: one "STAT <absolute path>" per
// directory, with no data connection, no CWD and no CDUP, several of them
// sent ahead of their replies. It first checks, on the start directory,
// that the server's STAT gives the same entries as its LIST. Where it does
// not (no STAT, another answer), a server whose FEAT offers MLST is walked
// with one "MLSD <absolute path>" per directory, still without CWD and
// CDUP; any other (or one without PWD) is walked by SiteWalker. A
// directory whose path holds a name that a server may read as an option or
// a pattern (a leading "-", "*", "?", "[") is listed by CWD and LIST. A
// reply that names another directory than the one asked for means the
// server is out of step: the walk gets back in step with NOOP and goes on
// one command at a time.
//
// Directories are listed level by level; DirectoryDone comes at the end, in
// the designed walk's order (children before their parent), and not after a
// failure.
class FastWalker : public WalkTotals {
public:
    FastWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules = {});

    void Walk();
    // How the last walk listed: "STAT" or "STAT -a"; "MLSD" where STAT is
    // not usable and FEAT offers machine listings with types and sizes; else
    // "LIST" or "LIST -a", the designed walk.
    std::string Method() const { return form_.Command(); }
    // The totals so far, also while the designed walk runs in its place.
    const WalkTotals& Current() const { return designed_ ? static_cast<const WalkTotals&>(*designed_) : *this; }

    // Opens further logged-on clients of the same server, asked for once the
    // walk knows it will list by STAT (a server without STAT is not asked for
    // connections it would not use): STAT listings are then sent over all of
    // them side by side, each in its own order. A caller that cancels the
    // walk cancels them too.
    void SetHelperSource(std::function<std::vector<TznFTP*>()> source) { helperSource_ = std::move(source); }

    // Commands sent ahead of their replies, per connection.
    static constexpr std::size_t kWindow = 8;

private:
    struct Node {
        std::string absolute;
        std::string relative;
        int depth = 0;
        std::int64_t bytes = 0;  // of its own files
        std::int64_t files = 0;
        std::vector<int> children;
        int treeDir = 0;
    };

    ListingForm ChooseForm(bool& hidden);
    bool OffersMachineListings();
    void RunDesignedWalk();
    void WalkByStat();
    void WalkByMachineListings();
    void SendAhead();
    void ReceiveNext();
    void Accept(int node, const TznFTPDirList& listing);
    void ListByCwd(const std::string& absolute, TznFTPDirList& listing);
    void GetBackInStep(std::size_t client, int node);
    std::size_t LeastLoaded() const;
    void DrainAfterFailure();
    std::pair<std::int64_t, std::int64_t> ReportDone(int node);

    TznFTP& ftp_;
    WalkObserver& observer_;
    WalkRules rules_;
    std::string start_;
    TznFTPDirList startListing_;
    ListingForm form_;
    ListingForm listForm_;     // the fullest LIST, for directories listed by CWD
    std::string statCommand_;  // "STAT " or "STAT -a "
    std::unique_ptr<SiteWalker> designed_;
    std::vector<Node> nodes_;
    struct Sent {
        std::size_t client;
        int node;
    };
    std::function<std::vector<TznFTP*>()> helperSource_;
    std::vector<TznFTP*> clients_;     // ftp_, then the helpers
    std::vector<std::size_t> load_;    // commands in flight per client
    std::deque<int> pending_;          // to be listed, in order
    std::deque<Sent> inFlight_;        // STAT sent, reply not read yet, in the order sent
    std::size_t window_ = kWindow;
};

}  // namespace zn
