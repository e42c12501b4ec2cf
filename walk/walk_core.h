// SPDX-License-Identifier: MIT
// What every walk shares: the rules it walks by, the totals it keeps, the
// observer it tells, how a listing is counted, and the interface the window
// and the command line drive a walk through.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "ftp/client/ftp.h"
#include "walk/listing_form.h"

namespace zn {

class LevelSink;
class WalkTree;

// What a walk tells its driver as it goes. Every hook is optional.
class WalkObserver {
public:
    virtual ~WalkObserver() = default;
    // A failure ended the walk at this level; the levels above unwind.
    virtual void WalkFailed(const std::string& message) = 0;
    // A directory's listing has been read; `path` is relative to the start
    // ("" for the start directory itself).
    virtual void DirectoryListed(const std::string& /*path*/) {}
    // A directory and everything below it has been walked (not after a
    // failure), with the bytes and files found there.
    virtual void DirectoryDone(const std::string& /*path*/, int /*depth*/, std::int64_t /*bytes*/,
                               std::int64_t /*files*/) {}
    // The start directory has been listed and the walk lists with `form`;
    // `hidden`: the bare LIST left out names that `form` shows.
    virtual void ListingChosen(const ListingForm& /*form*/, bool /*hidden*/) {}
    // The server refused to open or to list the directory at `path`
    // (`reply`, its words); the walk went on without it.
    virtual void DirectoryNotRead(const std::string& /*path*/, const std::string& /*reply*/) {}
    // The server listed the directory at `path` only in part; `message`
    // says so, with its words and what its owner can change.
    virtual void DirectoryCut(const std::string& /*path*/, const std::string& /*message*/) {}
};

// The rules of a size walk, shared by the window and the command line:
// directories with an excluded name (exact, byte for byte), ".", ".." and
// entries without a name are never entered, nor is a name holding "/" (a
// CWD there and one CDUP back would leave the walk somewhere else, or
// outside the start); links and unreadable lines are
// left out; a file whose size is not a number counts but adds no bytes; the
// walk goes no deeper than `MaxDepth` levels below its start.
constexpr int kDefaultMaxWalkDepth = 100;

struct WalkRules {
    std::set<std::string> Excludes{"logs"};
    int MaxDepth = kDefaultMaxWalkDepth;
    // After a failure that closed the connection (a cancel, a time-out),
    // each level above still tries to go up and reports that it cannot: the
    // window sets this, so its log shows every level that was left. Off, the failure is
    // reported once.
    bool UnwindThroughClosedConnection = false;
    // A directory the server refuses (its CWD or its listing answered 5xx,
    // the connection still in step) is counted, told and passed over, and
    // the rest of the site is walked, as du does; off, it ends the walk, as
    // the window's users know it.
    bool GoOnPastUnreadable = false;
    // Where the walk keeps what it saw, if anywhere; the caller owns it.
    WalkTree* Tree = nullptr;
};

// The totals of a walk, whichever way it lists.
struct WalkTotals {
    std::int64_t TotalBytes = 0;
    std::int64_t TotalFiles = 0;
    std::int64_t Directories = 0;         // walked, the start directory included
    std::int64_t SkippedDirectories = 0;  // excluded by name
    // Directory entries that cannot be entered safely: a name holding "/"
    // or no name at all. Counted so that nothing is left out unseen.
    std::int64_t RefusedDirectories = 0;
    std::int64_t UnparsedLines = 0;
    // Directories the server refused to open or to list, passed over.
    std::int64_t UnreadableDirectories = 0;
    // Directories the server listed only in part: what it listed counts.
    std::int64_t CutDirectories = 0;
    bool Aborted = false;

    // The bytes passed the largest number a total holds and stopped there.
    bool Saturated() const;
    // Everything below the start was read, and the total is exact.
    bool Whole() const { return !Aborted && UnreadableDirectories == 0 && CutDirectories == 0 && !Saturated(); }
};

// A directory's own files: those in its listing, not below.
struct LevelFiles {
    std::int64_t Bytes = 0;  // saturated, apart from the total's
    std::int64_t Files = 0;

    void Add(const LevelFiles& more);
};

// Whether a walk goes into the directory entry `name`; counts the refused
// and the skipped ones, and keeps them in the rules' tree under `treeDir`.
bool EntersDirectory(const std::string& name, const WalkRules& rules, WalkTotals& totals, int treeDir = -1);
// size added to sum, both 0 or more, at most the largest int64.
std::int64_t AddSaturated(std::int64_t sum, std::int64_t size);
// That a directory's listing has been read, in the rules' tree if any.
void ListedInTree(const WalkRules& rules, int treeDir);
// After a LIST or an MLSD of `ftp`: its listing, moved into `into`; the
// server's reply when it said it cut the listing short (listing_cut.h),
// else empty.
std::string TakeListing(TznFTP& ftp, TznFTPDirList& into);
// Lists the working directory with `form` into `into`. Where the server
// cut the listing short, the same listing in reverse order ("-r") may give
// the rest (listing_cut.h). Returns the server's words when the listing
// stays cut, else empty.
std::string ListWhole(TznFTP& ftp, const ListingForm& form, TznFTPDirList& into);
// The same for a listing of the working directory already in `into`, which
// the server cut short with the words `cut` (empty: it did not).
std::string FromTheOtherEnd(TznFTP& ftp, const ListingForm& form, TznFTPDirList& into, std::string cut);
// Whether the failure of `ftp` just raised is a refusal of one directory
// that the walk may pass over: the rules allow it, the server answered
// 5xx, and the connection is still open.
bool MayPassOver(const WalkRules& rules, const TznFTP& ftp);
// A directory the server refused, passed over: counted, kept in the rules'
// tree as unread, told to the observer.
void PassOver(WalkTotals& totals, WalkObserver& observer, const std::string& path, const std::string& reply);
// A directory listed only in part: counted, marked in the rules' tree,
// told to the observer.
void ListedInPart(const WalkRules& rules, WalkTotals& totals, WalkObserver& observer, int treeDir,
                  const std::string& path, const std::string& reason);
// Counts a file entry, a link or an unreadable line into `totals` (the
// bytes saturate rather than wrap) and keeps files and links in `tree`
// under `treeDir`. Returns the entry's bytes.
std::int64_t CountEntry(const TznFTPDirEntry& entry, WalkTotals& totals, WalkTree* tree, int treeDir);
// The message of a walk that meets a directory deeper than the bound.
std::string TooDeepMessage(int maxDepth, const std::string& name);
// "a/b" and "c": "a/b/c"; the start directory is "".
std::string JoinPath(const std::string& parent, const std::string& name);

// Goes through the listing of a directory `depth` levels below the start,
// in the listing's order, under the rules: each file (and each unreadable
// line) is counted into `totals` and kept in the rules' tree under
// `treeDir`; each subdirectory the walk enters goes to `enter`, with its
// index in the listing and its number in the tree, and `enter` says whether
// to go on. Returns the directory's own files. A subdirectory to enter
// below the depth bound ends the walk (platform::Exception).
LevelFiles ClassifyLevel(const TznFTPDirList& listing, int depth, int treeDir, const WalkRules& rules,
                         WalkTotals& totals, const std::function<bool(int index, int childTreeDir)>& enter);

// A failure that ends the walk: the totals say so, the observer hears it.
void AbortWalk(WalkTotals& totals, WalkObserver& observer, const std::string& message);

// One way of walking a site, as the window and the command line drive it.
class WalkStrategy {
public:
    virtual ~WalkStrategy() = default;
    // Resets the totals and walks from the client's current directory; a
    // failure is reported to the observer and marks the totals aborted.
    virtual void Walk() = 0;
    // The totals so far, while the walk runs too.
    virtual const WalkTotals& Totals() const = 0;
    // The command the last walk listed with: "LIST", "LIST -a", "STAT",
    // "STAT -a" or "MLSD".
    virtual std::string Method() const = 0;
    // The server's name of the start directory (its PWD), where the caller
    // asked for it already: a walk that needs it does not ask again.
    virtual void KnowStart(const std::string& /*path*/) {}
};

}  // namespace zn
