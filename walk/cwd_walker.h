// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "walk/walk_core.h"

namespace zn {

class LevelSink;

// A depth-first walk of the FTP client's current directory: one LIST per
// directory, CWD into each subdirectory and CDUP back out. A failure is
// reported once, where it happened, and every level then goes back up.
class CwdWalker : public WalkStrategy {
public:
    CwdWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules = {});

    // Walks from the current directory, listed with its fullest LIST.
    void Walk() override;
    const WalkTotals& Totals() const override { return totals_; }
    std::string Method() const override { return form_.Command(); }
    // Walks with `form`, the current directory's listing already in `start`
    // (taken; listed again unless `whole`), `cut` the server's words if it
    // listed it only in part: another walk has chosen the form.
    void WalkWith(const ListingForm& form, TznFTPDirList& start, bool whole, const std::string& cut = {});

private:
    void Restart();
    // Lists the current directory with its fullest LIST, kept for the walk
    // of that directory, and says so to the observer. False after a failure,
    // which is reported.
    bool ChooseListing();
    // Walks the current directory, already entered under `name`, at `depth`
    // levels below the start; returns the bytes found there and below.
    std::int64_t RetrieveDir(const std::string& name, int depth);
    int NextDirectoryEntered(const TznFTPDirList& level, int from) const;
    // The listing of a level; the server's words when it cut it short.
    std::string ListLevel(int depth, TznFTPDirList& level, LevelSink& sink);
    bool Enter(const std::string& name);
    bool ListOrPassOver(int depth, TznFTPDirList& level, LevelSink& sink, std::string& cut);
    bool EnterChild(const std::string& child, bool enteredAhead, const std::string& refusedAhead);

    TznFTP& ftp_;
    WalkObserver& observer_;
    WalkRules rules_;
    WalkTotals totals_;
    std::string path_;
    int treeDir_ = 0;  // the tree's number of the directory entered next
    ListingForm form_;
    // The start directory's listing from the choice of form, for the walk
    // to take instead of listing it again where it was kept whole.
    TznFTPDirList start_;
    std::string startCut_;
    bool startListed_ = false;
    bool startWhole_ = false;
};

}  // namespace zn
