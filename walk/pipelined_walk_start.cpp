// SPDX-License-Identifier: MIT
// How the fast walk begins, once its listing form is chosen
// (listing_probe.h): whether STAT takes a path with a blank whole, and the
// start directory's own listing.
#include "walk/pipelined_walker.h"

#include "ftp/listing/listing_cut.h"
#include "net/core/errors.h"
#include "net/core/text_helpers.h"

#include <utility>

namespace zn {
namespace {

// No entry but "." and "..".
bool HoldsNothing(const TznFTPDirList& listing) {
    for (int i = 0; i < listing.Count(); ++i) {
        if (listing.Items(i).Name != "." && listing.Items(i).Name != "..") return false;
    }
    return true;
}

}  // namespace

// The listing by CWD of the first directory with a blank in its path,
// beside its STAT: the same entries, and STAT takes such paths whole. An
// empty directory tells nothing (both listings are empty whatever the
// server does with the blank): the next such directory is asked.
void PipelinedWalker::ProbeBlanks(const std::string& absolute, TznFTPDirList& listing) {
    if (HoldsNothing(listing)) return;
    TznFTPDirList byStat;
    try {
        ftp_.StatList(absolute, byStat, form_.Options());
    } catch (const EServerError&) {
        blanks_ = Blanks::SplitListed;
        return;
    }
    const bool same = ListsAllOf(byStat, listing) && ListsAllOf(listing, byStat) && !NamesAnEntryTwice(byStat);
    blanks_ = same ? Blanks::Whole : Blanks::SplitListed;
    if (same) return;
    // In the directory itself, "STAT ." has no blank to split at.
    TznFTPDirList byDot;
    try {
        moved_ = true;
        ftp_.ChangeDir(absolute);
        ftp_.StatList(".", byDot, form_.Options());
    } catch (const EServerError&) {
        return;
    }
    if (ListsAllOf(byDot, listing) && ListsAllOf(listing, byDot) && !NamesAnEntryTwice(byDot)) blanks_ = Blanks::Split;
}

// A directory of the start with a blank in its name tells, before the
// further connections open, whether STAT takes such paths whole: one
// listing by CWD beside one by STAT. (pyftpdlib loses the first command of
// a session opened between two active-mode listings of another.)
void PipelinedWalker::ProbeBlanksBelowStart() {
    for (int i = 0; i < start_.listing.Count(); ++i) {
        const TznFTPDirEntry& entry = start_.listing.Items(i);
        if (entry.Kind != dkDirectory || !HoldsBlank(entry.Name)) continue;
        WalkTotals scratch;
        if (!EntersDirectory(entry.Name, rules_, scratch)) continue;
        const std::string absolute = ChildPath(start_.path, entry.Name);
        if (!MayBeReadAsPattern(absolute)) {
            TznFTPDirList listing;
            try {
                ListByCwd(absolute, listing);
                ProbeBlanks(absolute, listing);
            } catch (const EServerError&) {
                // Refused: the walk meets it again and judges it there.
                if (!ftp_.Connected()) throw;
            }
        }
        return;
    }
}

// A start directory too big to keep from the choice of form is listed
// again with the form chosen, and counted as it arrives.
void PipelinedWalker::AcceptStart() {
    if (startWhole_) return Accept(0, start_.listing, start_.cut);
    start_.listing.Clear();
    TznFTPDirList listing;
    LevelSink sink(rules_, totals_, frontier_[0].treeDir);
    std::string cut;
    if (form_.Kind == lkMachine) {
        {
            const SinkInPlace counting(ftp_.DirList(), sink);
            ftp_.ListMachine(start_.path);
        }
        cut = CutReason(ftp_.LastReply());
        sink.Deliver(listing);
    } else {
        bool listed = true;
        try {
            const SinkInPlace counting(listing, sink);
            ftp_.StatList(start_.path, listing, form_.Options());
        } catch (const EServerError&) {
            if (!ftp_.Connected()) throw;
            listed = false;
        }
        if (!listed || Suspect(sink.Entries(), ftp_.LastReply())) {
            sink.RollBack();
            cut = ListByCwd(start_.path, listing, &sink);
        } else {
            sink.Deliver(listing);
        }
    }
    Accept(0, listing, cut, sink.Own());
}

}  // namespace zn
