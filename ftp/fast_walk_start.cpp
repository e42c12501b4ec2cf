// SPDX-License-Identifier: MIT
// How the fast walk begins: the form its listings take, chosen on the
// start directory, whether STAT takes a path with a blank whole, and the
// start directory's own listing.
#include "ftp/fast_walker.h"

#include "ftp/listing_cut.h"
#include "net/errors.h"
#include "net/text_helpers.h"

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

// The fullest listing of the start directory: its fullest LIST, then
// STAT (and "STAT -a" where STAT hides what "LIST -a" shows), then MLSD
// where FEAT offers it; the first that lists everything the LIST did is
// the walk's. Only a refusal (a reply other than the expected) passes a
// form over; a failure that ends the connection ends the walk. The
// listing of the form chosen is the start directory's, in startListing_.
ListingForm FastWalker::ChooseForm(bool& hidden) {
    try {
        start_ = ftp_.PrintWorkingDir();
    } catch (const EServerError&) {
        start_.clear();
    }
    listForm_ = FullestList(ftp_, startListing_, hidden, startCut_, startDigest_);
    statedCap_ = StatedCap(startCut_);
    // Only Unix-style absolute paths can be built from names.
    if (start_.empty() || start_.front() != '/') return listForm_;
    for (const bool all : {false, true}) {
        TznFTPDirList byStat;
        ListingDigest digest;
        try {
            const SinkInPlace digesting(byStat, digest);
            ftp_.StatList(start_, byStat, ListingForm{lkStat, all}.Options());
        } catch (const EServerError&) {
            break;
        }
        digest.Finish();
        // A STAT that repeats its lines shows "more" than LIST, and
        // would count each entry twice.
        if (digest.ListsAllOf(startDigest_) && !digest.NamesAnEntryTwice()) {
            selfChecking_ = ftp_.ListingNamedItsPath();
            // Where LIST was cut, STAT is whole only if it shows more.
            if (!startCut_.empty() && !MayBeCut(digest.Count(), statedCap_)) startCut_.clear();
            startListing_.TakeEntries(byStat);
            startDigest_ = std::move(digest);
            return ListingForm{lkStat, all};
        }
        if (!hidden) break;
    }
    if (!OffersMachineListings()) return listForm_;
    TznFTPDirList byMachine;
    ListingDigest digest;
    try {
        const SinkInPlace digesting(ftp_.DirList(), digest);
        ftp_.ListMachine(start_);
    } catch (const EServerError&) {
        return listForm_;
    }
    digest.Finish();
    const std::string machineCut = TakeListing(ftp_, byMachine);
    if (!machineCut.empty() || !digest.ListsAllOf(startDigest_) || digest.NamesAnEntryTwice()) return listForm_;
    startListing_.TakeEntries(byMachine);
    startDigest_ = std::move(digest);
    startCut_.clear();
    return ListingForm{lkMachine, false};
}

// "MLST type*;size*;modify*;" in FEAT's reply: machine listings that give
// each entry's type and size.
bool FastWalker::OffersMachineListings() {
    for (const std::string& feature : ftp_.Features()) {
        const std::string line = LowerCase(feature);
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 5, "mlst ") != 0) continue;
        if (line.find("type", start) != std::string::npos && line.find("size", start) != std::string::npos) return true;
    }
    return false;
}

// The listing by CWD of the first directory with a blank in its path,
// beside its STAT: the same entries, and STAT takes such paths whole. An
// empty directory tells nothing (both listings are empty whatever the
// server does with the blank): the next such directory is asked.
void FastWalker::ProbeBlanks(const std::string& absolute, TznFTPDirList& listing) {
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
void FastWalker::ProbeBlanksBelowStart() {
    for (int i = 0; i < startListing_.Count(); ++i) {
        const TznFTPDirEntry& entry = startListing_.Items(i);
        if (entry.Kind != dkDirectory || !HoldsBlank(entry.Name)) continue;
        WalkTotals scratch;
        if (!EntersDirectory(entry.Name, rules_, scratch)) continue;
        const std::string absolute = ChildPath(start_, entry.Name);
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
void FastWalker::AcceptStart() {
    if (startWhole_) return Accept(0, startListing_, startCut_);
    startListing_.Clear();
    TznFTPDirList listing;
    LevelSink sink(rules_, totals_, frontier_[0].treeDir);
    std::string cut;
    if (form_.Kind == lkMachine) {
        {
            const SinkInPlace counting(ftp_.DirList(), sink);
            ftp_.ListMachine(start_);
        }
        cut = CutReason(ftp_.LastReply());
        sink.Deliver(listing);
    } else {
        bool listed = true;
        try {
            const SinkInPlace counting(listing, sink);
            ftp_.StatList(start_, listing, form_.Options());
        } catch (const EServerError&) {
            if (!ftp_.Connected()) throw;
            listed = false;
        }
        if (!listed || Suspect(sink.Entries(), ftp_.LastReply())) {
            sink.RollBack();
            cut = ListByCwd(start_, listing, &sink);
        } else {
            sink.Deliver(listing);
        }
    }
    Accept(0, listing, cut, sink.Own());
}

}  // namespace zn
