// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sitetree/walk_tree.h"
#include "walk/cwd_walker.h"

namespace zn {

// Counts a directory's listing into the walk's totals and tree while it
// arrives, so that a directory of a million files is never held whole.
// Set it as the Sink of the list the listing goes into; it takes every
// entry. A listing of up to `keep` entries is only held, and Deliver gives
// it whole, as if no sink had been there: the walk may still join it to
// its other end or check it. Past that, what was held and everything after
// it is counted as it comes (files, links, unreadable lines, the
// directories passed over), and only the subdirectories to enter are kept.
class LevelSink : public ListingSink {
public:
    static constexpr int kHeldWhole = 20000;

    LevelSink(const WalkRules& rules, WalkTotals& totals, int treeDir, int keep = kHeldWhole);

    bool Take(std::unique_ptr<TznFTPDirEntry>& entry) override;
    // The listing ended: what the walk still has to go through goes into
    // `into`, the whole listing or, where it was counted, the
    // subdirectories to enter.
    void Deliver(TznFTPDirList& into);
    // Whether the listing was counted as it came, not held.
    bool Counted() const { return counting_; }
    // Takes back all it counted or held, as if the listing had never come:
    // one that is read again another way, or one that was not the
    // directory's.
    void RollBack();

    // The directory's own files counted so far.
    const LevelFiles& Own() const { return own_; }
    // Entries seen, "." and ".." included.
    int Entries() const { return entries_; }

private:
    void Count(TznFTPDirEntry& entry);
    void StartCounting();

    const WalkRules& rules_;
    WalkTotals& totals_;
    int treeDir_;
    int keep_;
    WalkTotals before_;
    std::optional<WalkTree::Mark> mark_;
    TznFTPDirList held_;  // until it passes `keep_`; then the directories to enter
    LevelFiles own_;
    int entries_ = 0;
    bool counting_ = false;
};

// Sets a sink on a list for as long as it lives, and takes it off on every
// way out.
class SinkInPlace {
public:
    SinkInPlace(TznFTPDirList& list, ListingSink& sink) : list_(list) { list_.Sink = &sink; }
    ~SinkInPlace() { list_.Sink = nullptr; }
    SinkInPlace(const SinkInPlace&) = delete;
    SinkInPlace& operator=(const SinkInPlace&) = delete;

private:
    TznFTPDirList& list_;
};

// Lists the working directory with `form` as ListWhole does, through
// `sink`; `into` receives what it delivers. A listing the server cut short
// and too long to hold is taken back and read again whole, since its other
// end must be joined to it (listing_cut.h). Returns the server's words
// when the listing stays cut. A failure takes back what was counted.
std::string ListCounted(TznFTP& ftp, const ListingForm& form, TznFTPDirList& into, LevelSink& sink);

}  // namespace zn
