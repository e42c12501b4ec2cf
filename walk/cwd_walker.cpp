// SPDX-License-Identifier: MIT
#include "walk/cwd_walker.h"

#include "ftp/listing/listing_cut.h"
#include "net/core/errors.h"
#include "net/core/text_helpers.h"
#include "platform/exception.h"
#include "sitetree/walk_tree.h"
#include "walk/level_sink.h"
#include "walk/listing_probe.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace zn {

CwdWalker::CwdWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

// The index of the next entry from `from` on that the walk will enter,
// or -1; it counts nothing.
int CwdWalker::NextDirectoryEntered(const TznFTPDirList& level, int from) const {
    for (int i = from; i < level.Count(); ++i) {
        const TznFTPDirEntry& entry = level.Items(i);
        if (entry.Kind != dkDirectory) continue;
        WalkTotals scratch;
        if (EntersDirectory(entry.Name, rules_, scratch)) return i;
    }
    return -1;
}

void CwdWalker::Restart() {
    totals_ = WalkTotals{};
    path_.clear();
    treeDir_ = 0;
}

void CwdWalker::Walk() {
    Restart();
    if (ChooseListing()) RetrieveDir("", 0);
}

void CwdWalker::WalkWith(const ListingForm& form, TznFTPDirList& start, bool whole, const std::string& cut) {
    Restart();
    form_ = form;
    start_.TakeEntries(start);
    startCut_ = cut;
    startListed_ = true;
    startWhole_ = whole;
    RetrieveDir("", 0);
}

bool CwdWalker::ChooseListing() {
    try {
        bool hidden = false;
        ListingDigest digest;
        form_ = FullestList(ftp_, start_, hidden, startCut_, digest);
        startListed_ = true;
        startWhole_ = digest.Whole();
        observer_.ListingChosen(form_, hidden);
        return true;
    } catch (const platform::Exception& e) {
        AbortWalk(totals_, observer_, e.Message());
        return false;
    }
}

std::string CwdWalker::ListLevel(int depth, TznFTPDirList& level, LevelSink& sink) {
    if (depth == 0 && std::exchange(startListed_, false)) {
        const std::string cut = std::exchange(startCut_, {});
        if (startWhole_) {
            level.TakeEntries(start_);
            return FromTheOtherEnd(ftp_, form_, level, cut);
        }
        start_.Clear();
    }
    return ListCounted(ftp_, form_, level, sink);
}

// CWD into a subdirectory; false when the server refused it and the walk
// passes it over.
bool CwdWalker::Enter(const std::string& name) {
    try {
        ftp_.ChangeDir(name);
        return true;
    } catch (const EServerError&) {
        if (!MayPassOver(rules_, ftp_)) throw;
    }
    PassOver(totals_, observer_, JoinPath(path_, name), ftp_.LastReply());
    return false;
}

// The level's listing into `level`, the server's words in `cut` if it cut
// it short; false when the server refused it below the start and the walk
// passes it over.
bool CwdWalker::ListOrPassOver(int depth, TznFTPDirList& level, LevelSink& sink, std::string& cut) {
    try {
        cut = ListLevel(depth, level, sink);
        return true;
    } catch (const EServerError&) {
        if (depth == 0 || !MayPassOver(rules_, ftp_)) throw;
    }
    PassOver(totals_, observer_, path_, ftp_.LastReply());
    return false;
}

// Makes `child` the working directory: by CWD, or by the CWD that went out
// with the last CDUP (`enteredAhead`, refused with `refusedAhead`). False
// when the server refused it and the walk passes it over, still here.
bool CwdWalker::EnterChild(const std::string& child, bool enteredAhead, const std::string& refusedAhead) {
    if (!enteredAhead) return Enter(child);
    if (refusedAhead.empty()) return true;
    // The CDUP went through: the walk is back in this directory.
    if (!rules_.GoOnPastUnreadable || !refusedAhead.starts_with('5')) throw EServerError(refusedAhead);
    PassOver(totals_, observer_, JoinPath(path_, child), refusedAhead);
    return false;
}

std::int64_t CwdWalker::RetrieveDir(const std::string& name, int depth) {
    // Each level keeps its own listing: the next LIST replaces the client's.
    TznFTPDirList level;
    if (totals_.Aborted) return 0;
    // This directory's bytes, apart from the total: once the total has
    // saturated, a difference of totals would no longer be them.
    LevelFiles own;
    std::int64_t below = 0;
    const std::int64_t filesBefore = totals_.TotalFiles;
    const std::size_t pathLength = path_.size();
    const int treeDir = treeDir_;
    if (depth > 0) path_ = JoinPath(path_, name);
    try {
        std::string cut;
        // Its files are counted as its listing arrives; `level` keeps the
        // subdirectories to enter.
        LevelSink sink(rules_, totals_, treeDir);
        if (!ListOrPassOver(depth, level, sink, cut)) {
            path_.resize(pathLength);
            return 0;
        }
        ++totals_.Directories;
        ListedInTree(rules_, treeDir);
        observer_.DirectoryListed(path_);
        if (!cut.empty()) ListedInPart(rules_, totals_, observer_, treeDir, path_, cut);
        // The CWD into the next subdirectory goes out with the CDUP out of
        // the last one; its refusal is reported when the walk gets there,
        // so the totals at a failure are the same as one command at a time.
        bool enteredAhead = false;
        std::string refusedAhead;
        own = sink.Own();
        own.Add(ClassifyLevel(level, depth, treeDir, rules_, totals_, [&](int index, int childTreeDir) {
            const std::string& child = level.Items(index).Name;
            treeDir_ = childTreeDir;
            if (!EnterChild(child, std::exchange(enteredAhead, false), refusedAhead)) return true;
            below = AddSaturated(below, RetrieveDir(child, depth + 1));
            // After a failure below that closed the connection (a cancel,
            // a time-out), going up would only fail again and report a
            // second time; while it is open, going up puts the server back
            // where the walk started.
            if (totals_.Aborted && !ftp_.Connected() && !rules_.UnwindThroughClosedConnection) return false;
            const int next = totals_.Aborted ? -1 : NextDirectoryEntered(level, index + 1);
            if (next < 0) {
                ftp_.ChangeDirUp();
            } else {
                enteredAhead = true;
                refusedAhead.clear();
                if (!ftp_.ChangeDirUpAndInto(level.Items(next).Name)) refusedAhead = ftp_.LastReply();
            }
            return !totals_.Aborted;
        }));
        if (!totals_.Aborted) {
            observer_.DirectoryDone(path_, depth, AddSaturated(own.Bytes, below), totals_.TotalFiles - filesBefore);
        }
    } catch (const platform::Exception& e) {
        AbortWalk(totals_, observer_, e.Message());
    }
    path_.resize(pathLength);
    return AddSaturated(own.Bytes, below);
}

}  // namespace zn
