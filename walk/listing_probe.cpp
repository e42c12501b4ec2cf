// SPDX-License-Identifier: MIT
// The choice, made once on the start directory, between LIST, "LIST -a",
// STAT, "STAT -a" and MLSD.
#include "walk/listing_probe.h"

#include "ftp/listing/listing_cut.h"
#include "net/core/errors.h"
#include "net/core/text_helpers.h"
#include "walk/cwd_walker.h"
#include "walk/level_sink.h"

#include <utility>

namespace zn {
namespace {

// The bare LIST, or LIST with `options`, into `into`, gathered in `digest`.
std::string ListDigested(TznFTP& ftp, const std::string& options, TznFTPDirList& into, ListingDigest& digest) {
    {
        const SinkInPlace digesting(ftp.DirList(), digest);
        ftp.List(options);
    }
    digest.Finish();
    return TakeListing(ftp, into);
}

// STAT, and "STAT -a" where the bare LIST hid names: the first that lists
// everything the LIST did becomes the start's listing.
bool ChoseStat(TznFTP& ftp, StartListing& start, ListingChoice& choice) {
    for (const bool all : {false, true}) {
        TznFTPDirList byStat;
        ListingDigest digest;
        try {
            const SinkInPlace digesting(byStat, digest);
            ftp.StatList(start.path, byStat, ListingForm{lkStat, all}.Options());
        } catch (const EServerError&) {
            return false;
        }
        digest.Finish();
        // A STAT that repeats its lines shows "more" than LIST, and
        // would count each entry twice.
        if (digest.ListsAllOf(start.digest) && !digest.NamesAnEntryTwice()) {
            choice.selfChecking = ftp.ListingNamedItsPath();
            // Where LIST was cut, STAT is whole only if it shows more.
            if (!start.cut.empty() && !MayBeCut(digest.Count(), choice.statedCap)) start.cut.clear();
            start.listing.TakeEntries(byStat);
            start.digest = std::move(digest);
            choice.form = ListingForm{lkStat, all};
            return true;
        }
        if (!choice.hidden) return false;
    }
    return false;
}

// MLSD, where it lists everything the LIST did, whole.
bool ChoseMachine(TznFTP& ftp, StartListing& start) {
    TznFTPDirList byMachine;
    ListingDigest digest;
    try {
        const SinkInPlace digesting(ftp.DirList(), digest);
        ftp.ListMachine(start.path);
    } catch (const EServerError&) {
        return false;
    }
    digest.Finish();
    const std::string machineCut = TakeListing(ftp, byMachine);
    if (!machineCut.empty() || !digest.ListsAllOf(start.digest) || digest.NamesAnEntryTwice()) return false;
    start.listing.TakeEntries(byMachine);
    start.digest = std::move(digest);
    start.cut.clear();
    return true;
}

}  // namespace

ListingForm FullestList(TznFTP& ftp, TznFTPDirList& start, bool& hidden, std::string& cut, ListingDigest& digest) {
    hidden = false;
    ListingDigest bare;
    cut = ListDigested(ftp, {}, start, bare);
    const auto backToBare = [&](TznFTPDirList& kept, const std::string& bareCut) {
        start.TakeEntries(kept);
        cut = bareCut;
        digest = std::move(bare);
        return ListingForm{};
    };
    if (bare.ShowsDotNames()) return backToBare(start, cut);
    const std::string bareCut = cut;
    // Held beside the "-a" listing: at most what a digest keeps of it.
    TznFTPDirList kept;
    kept.TakeEntries(start);
    ListingDigest all;
    try {
        cut = ListDigested(ftp, ListingForm{lkList, true}.Options(), start, all);
    } catch (const EServerError&) {
        return backToBare(kept, bareCut);  // "-a" refused: the bare form is all there is
    }
    // Two listings cut short cannot be compared entry by entry: "-a" is
    // taken where it shows what only it would, the dot entries.
    if (!cut.empty() || !bareCut.empty()) {
        if (!all.ShowsDotNames()) return backToBare(kept, bareCut);
        hidden = true;
        digest = std::move(all);
        return ListingForm{lkList, true};
    }
    // "-a" read as something else (a path, perhaps).
    if (!all.ListsAllOf(bare)) return backToBare(kept, bareCut);
    // The same entries: the server ignores "-a" or hides nothing, and this
    // listing is the bare one's. More counts "." and "..": a start
    // directory without hidden names still tells, by them, that "-a" works
    // as in ls, and the directories below may hold hidden names.
    hidden = all.Count() > bare.Count();
    digest = std::move(all);
    return hidden ? ListingForm{lkList, true} : ListingForm{};
}

ListingChoice ChooseListing(TznFTP& ftp, StartListing& start, const std::optional<std::string>& knownPath) {
    ListingChoice choice;
    try {
        start.path = knownPath ? *knownPath : ftp.PrintWorkingDir();
    } catch (const EServerError&) {
        start.path.clear();
    }
    choice.listForm = FullestList(ftp, start.listing, choice.hidden, start.cut, start.digest);
    choice.form = choice.listForm;
    choice.statedCap = StatedCap(start.cut);
    if (start.path.empty() || start.path.front() != '/') return choice;
    if (ChoseStat(ftp, start, choice)) return choice;
    if (OffersMachineListings(ftp.Features()) && ChoseMachine(ftp, start)) choice.form = ListingForm{lkMachine, false};
    return choice;
}

bool OffersMachineListings(const std::vector<std::string>& features) {
    for (const std::string& feature : features) {
        const std::string line = LowerCase(feature);
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || line.compare(start, 5, "mlst ") != 0) continue;
        if (line.find("type", start) != std::string::npos && line.find("size", start) != std::string::npos) return true;
    }
    return false;
}

}  // namespace zn
