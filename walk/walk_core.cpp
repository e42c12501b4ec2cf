// SPDX-License-Identifier: MIT
#include "walk/walk_core.h"

#include "ftp/listing/listing_cut.h"
#include "net/core/errors.h"
#include "net/core/text_helpers.h"
#include "platform/exception.h"
#include "sitetree/walk_tree.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace zn {

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

}  // namespace zn
