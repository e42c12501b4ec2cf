// SPDX-License-Identifier: MIT
#include "walk/site_walker.h"

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

SiteWalker::SiteWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules)
    : ftp_(ftp), observer_(observer), rules_(std::move(rules)) {}

bool EntersDirectory(const std::string& name, const WalkRules& rules, WalkTotals& totals, int treeDir) {
    if (name == "." || name == "..") return false;
    if (name.empty() || name.find('/') != std::string::npos) {
        ++totals.RefusedDirectories;
        if (rules.Tree && treeDir >= 0) rules.Tree->AddEntry(treeDir, WalkTree::ekRefused, name, 0);
        return false;
    }
    if (rules.Excludes.count(name)) {
        ++totals.SkippedDirectories;
        if (rules.Tree && treeDir >= 0) rules.Tree->AddEntry(treeDir, WalkTree::ekExcluded, name, 0);
        return false;
    }
    return true;
}

// A server may claim any size: two files of 2^63 - 1 bytes would wrap a
// sum to a negative total. Sums stop at the largest value instead, which no
// real site reaches.
std::int64_t AddSaturated(std::int64_t sum, std::int64_t size) {
    return size > std::numeric_limits<std::int64_t>::max() - sum ? std::numeric_limits<std::int64_t>::max()
                                                                 : sum + size;
}

void ListedInTree(const WalkRules& rules, int treeDir) {
    if (rules.Tree) rules.Tree->Listed(treeDir);
}

bool WalkTotals::Saturated() const { return TotalBytes == std::numeric_limits<std::int64_t>::max(); }

std::string TakeListing(TznFTP& ftp, TznFTPDirList& into) {
    into.TakeEntries(ftp.DirList());
    return CutReason(ftp.LastReply());
}

std::string ListWhole(TznFTP& ftp, const ListingForm& form, TznFTPDirList& into) {
    ftp.List(form.Options());
    return FromTheOtherEnd(ftp, form, into, TakeListing(ftp, into));
}

std::string FromTheOtherEnd(TznFTP& ftp, const ListingForm& form, TznFTPDirList& into, std::string cut) {
    if (cut.empty()) return cut;
    TznFTPDirList reverse;
    try {
        ftp.List(form.All ? "-ar" : "-r");
    } catch (const EServerError&) {
        return cut;  // no such option here
    }
    reverse.TakeEntries(ftp.DirList());
    return JoinFromBothEnds(into, reverse) ? std::string() : cut;
}

bool MayPassOver(const WalkRules& rules, const TznFTP& ftp) {
    return rules.GoOnPastUnreadable && ftp.Connected() && ftp.LastReply().starts_with('5');
}

void PassOver(WalkTotals& totals, WalkObserver& observer, const std::string& path, const std::string& reply) {
    // The tree keeps the directory as entered and never listed: unread.
    ++totals.UnreadableDirectories;
    observer.DirectoryNotRead(path, reply);
}

void ListedInPart(const WalkRules& rules, WalkTotals& totals, WalkObserver& observer, int treeDir,
                  const std::string& path, const std::string& reason) {
    ++totals.CutDirectories;
    if (rules.Tree) rules.Tree->Cut(treeDir);
    observer.DirectoryCut(path, CutMessage(path, reason));
}

std::string TooDeepMessage(int maxDepth, const std::string& name) {
    return "The directory tree is deeper than " + std::to_string(maxDepth) + " levels; the walk stops at " + name;
}

std::string JoinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "/" + name;
}

void LevelFiles::Add(const LevelFiles& more) {
    Bytes = AddSaturated(Bytes, more.Bytes);
    Files += more.Files;
}

std::int64_t CountEntry(const TznFTPDirEntry& entry, WalkTotals& totals, WalkTree* tree, int treeDir) {
    if (entry.Kind == dkFile) {
        const std::int64_t bytes = std::max<std::int64_t>(entry.Size, 0);
        totals.TotalBytes = AddSaturated(totals.TotalBytes, bytes);
        ++totals.TotalFiles;
        if (tree) tree->AddEntry(treeDir, WalkTree::ekFile, entry.Name, entry.Size);
        return bytes;
    }
    if (entry.Kind == dkUnknown) {
        ++totals.UnparsedLines;
    } else if (entry.Kind == dkLink && tree) {
        // Unix listings write a link as "name -> target".
        std::string_view name = entry.Name;
        const std::string arrow = " -> " + entry.LinkTarget;
        if (!entry.LinkTarget.empty() && name.ends_with(arrow)) name.remove_suffix(arrow.size());
        tree->AddEntry(treeDir, WalkTree::ekLink, name, 0);
    }
    return 0;
}

namespace {

// The tree's number for the directory `name` the walk goes into below
// `parent`; nothing without a tree.
int EnterInTree(const WalkRules& rules, int parent, const std::string& name) {
    return rules.Tree ? rules.Tree->AddDirectory(parent, name) : 0;
}

}  // namespace

LevelFiles ClassifyLevel(const TznFTPDirList& listing, int depth, int treeDir, const WalkRules& rules,
                         WalkTotals& totals, const std::function<bool(int index, int childTreeDir)>& enter) {
    LevelFiles own;
    for (int i = 0; i < listing.Count(); ++i) {
        const TznFTPDirEntry& entry = listing.Items(i);
        if (entry.Kind != dkDirectory) {
            const std::int64_t filesBefore = totals.TotalFiles;
            own.Bytes = AddSaturated(own.Bytes, CountEntry(entry, totals, rules.Tree, treeDir));
            own.Files += totals.TotalFiles - filesBefore;
            continue;
        }
        if (!EntersDirectory(entry.Name, rules, totals, treeDir)) continue;
        // A listing that leads back to an ancestor would otherwise be walked
        // ever deeper.
        if (depth >= rules.MaxDepth) throw platform::Exception(TooDeepMessage(rules.MaxDepth, entry.Name));
        if (!enter(i, EnterInTree(rules, treeDir, entry.Name))) break;
    }
    return own;
}

void AbortWalk(WalkTotals& totals, WalkObserver& observer, const std::string& message) {
    totals.Aborted = true;
    observer.WalkFailed(message);
}

// The index of the next entry from `from` on that the walk will enter,
// or -1; it counts nothing.
int SiteWalker::NextDirectoryEntered(const TznFTPDirList& level, int from) const {
    for (int i = from; i < level.Count(); ++i) {
        const TznFTPDirEntry& entry = level.Items(i);
        if (entry.Kind != dkDirectory) continue;
        WalkTotals scratch;
        if (EntersDirectory(entry.Name, rules_, scratch)) return i;
    }
    return -1;
}

void SiteWalker::Restart() {
    totals_ = WalkTotals{};
    path_.clear();
    treeDir_ = 0;
}

void SiteWalker::Walk() {
    Restart();
    if (ChooseListing()) RetrieveDir("", 0);
}

void SiteWalker::WalkWith(const ListingForm& form, TznFTPDirList& start, bool whole, const std::string& cut) {
    Restart();
    form_ = form;
    start_.TakeEntries(start);
    startCut_ = cut;
    startListed_ = true;
    startWhole_ = whole;
    RetrieveDir("", 0);
}

bool SiteWalker::ChooseListing() {
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

std::string SiteWalker::ListLevel(int depth, TznFTPDirList& level, LevelSink& sink) {
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
bool SiteWalker::Enter(const std::string& name) {
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
bool SiteWalker::ListOrPassOver(int depth, TznFTPDirList& level, LevelSink& sink, std::string& cut) {
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
bool SiteWalker::EnterChild(const std::string& child, bool enteredAhead, const std::string& refusedAhead) {
    if (!enteredAhead) return Enter(child);
    if (refusedAhead.empty()) return true;
    // The CDUP went through: the walk is back in this directory.
    if (!rules_.GoOnPastUnreadable || !refusedAhead.starts_with('5')) throw EServerError(refusedAhead);
    PassOver(totals_, observer_, JoinPath(path_, child), refusedAhead);
    return false;
}

std::int64_t SiteWalker::RetrieveDir(const std::string& name, int depth) {
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
