// SPDX-License-Identifier: MIT
#include "ftp/fullest_listing.h"

#include "ftp/site_walker.h"
#include "net/errors.h"

#include <algorithm>
#include <tuple>
#include <vector>

namespace zn {
namespace {

using EntryKey = std::tuple<std::string, int, std::int64_t>;

// Name, kind and size of every entry but "." and "..", sorted: what a walk
// takes from a listing.
std::vector<EntryKey> WalkedContent(const TznFTPDirList& list) {
    std::vector<EntryKey> keys;
    keys.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        const TznFTPDirEntry& e = list.Items(i);
        if (e.Name == "." || e.Name == "..") continue;
        keys.emplace_back(e.Name, e.Kind, e.Kind == dkFile ? e.Size : 0);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

}  // namespace

std::string ListingForm::Command() const {
    const char* verb = Kind == lkStat ? "STAT" : Kind == lkMachine ? "MLSD" : "LIST";
    return All ? std::string(verb) + " -a" : std::string(verb);
}

bool ListsAllOf(const TznFTPDirList& wider, const TznFTPDirList& narrower) {
    const std::vector<EntryKey> all = WalkedContent(wider), some = WalkedContent(narrower);
    return std::includes(all.begin(), all.end(), some.begin(), some.end());
}

bool ShowsDotNames(const TznFTPDirList& listing) {
    for (int i = 0; i < listing.Count(); ++i) {
        if (!listing.Items(i).Name.empty() && listing.Items(i).Name.front() == '.') return true;
    }
    return false;
}

ListingForm FullestList(TznFTP& ftp, TznFTPDirList& start, bool& hidden) {
    hidden = false;
    ftp.List();
    RefuseTruncatedListing(ftp.LastReply());
    start.TakeEntries(ftp.DirList());
    if (ShowsDotNames(start)) return {};
    TznFTPDirList all;
    try {
        ftp.List(ListingForm{lkList, true}.Options());
    } catch (const EServerError&) {
        return {};  // "-a" refused: the bare form is all there is
    }
    RefuseTruncatedListing(ftp.LastReply());
    all.TakeEntries(ftp.DirList());
    // More entries counts "." and "..": a start directory without hidden
    // names still tells, by them, that "-a" works as in ls, and the
    // directories below may hold hidden names.
    if (all.Count() <= start.Count() || !ListsAllOf(all, start)) return {};
    hidden = true;
    start.TakeEntries(all);
    return ListingForm{lkList, true};
}

std::string HiddenNamesNote(const ListingForm& form) {
    return "This server hides names that begin with a dot from LIST; listing with " + form.Command();
}

}  // namespace zn
