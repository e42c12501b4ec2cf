// SPDX-License-Identifier: MIT
#include "ftp/fullest_listing.h"

#include "ftp/site_walker.h"
#include "net/errors.h"

#include <algorithm>
#include <functional>
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

// Entries of a bare listing held beside its "-a" listing, at most.
constexpr int kBareListingKept = 100000;

// One hash per entry ("." and ".." aside) of name, kind and size, sorted.
std::vector<std::uint64_t> EntryHashes(const TznFTPDirList& list) {
    std::vector<std::uint64_t> hashes;
    hashes.reserve(static_cast<std::size_t>(list.Count()));
    std::string key;
    for (int i = 0; i < list.Count(); ++i) {
        const TznFTPDirEntry& e = list.Items(i);
        if (e.Name == "." || e.Name == "..") continue;
        key.assign(e.Name);
        key += '\0';
        key += std::to_string(e.Kind) + ' ' + std::to_string(e.Kind == dkFile ? e.Size : 0);
        hashes.push_back(std::hash<std::string>{}(key));
    }
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

std::string ListBare(TznFTP& ftp, TznFTPDirList& start) {
    ftp.List();
    return TakeListing(ftp, start);
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

bool NamesAnEntryTwice(const TznFTPDirList& listing) {
    const std::vector<EntryKey> keys = WalkedContent(listing);
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (std::get<0>(keys[i]) == std::get<0>(keys[i - 1])) return true;
    }
    return false;
}

bool ShowsDotNames(const TznFTPDirList& listing) {
    for (int i = 0; i < listing.Count(); ++i) {
        if (!listing.Items(i).Name.empty() && listing.Items(i).Name.front() == '.') return true;
    }
    return false;
}

ListingForm FullestList(TznFTP& ftp, TznFTPDirList& start, bool& hidden, std::string& cut) {
    hidden = false;
    cut = ListBare(ftp, start);
    if (ShowsDotNames(start)) return {};
    const std::string bareCut = cut;
    // A huge bare listing is kept only as a hash per entry while "-a" is
    // listed, so that it is not held twice; it is listed again should the
    // walk need it after all.
    const std::vector<std::uint64_t> bare = EntryHashes(start);
    const int bareCount = start.Count();
    TznFTPDirList kept;
    if (bareCount <= kBareListingKept) kept.TakeEntries(start);
    start.Clear();
    const auto backToBare = [&] {
        if (bareCount <= kBareListingKept) {
            start.TakeEntries(kept);
            cut = bareCut;
        } else {
            cut = ListBare(ftp, start);
        }
        return ListingForm{};
    };
    try {
        ftp.List(ListingForm{lkList, true}.Options());
    } catch (const EServerError&) {
        return backToBare();  // "-a" refused: the bare form is all there is
    }
    cut = TakeListing(ftp, start);
    const std::vector<std::uint64_t> all = EntryHashes(start);
    // Two listings cut short cannot be compared entry by entry: "-a" is
    // taken where it shows what only it would, the dot entries.
    if (!cut.empty() || !bareCut.empty()) {
        if (ShowsDotNames(start)) {
            hidden = true;
            return ListingForm{lkList, true};
        }
        return backToBare();
    }
    // "-a" read as something else (a path, perhaps).
    if (!std::includes(all.begin(), all.end(), bare.begin(), bare.end())) return backToBare();
    // The same entries: the server ignores "-a" or hides nothing, and this
    // listing is the bare one's. More counts "." and "..": a start
    // directory without hidden names still tells, by them, that "-a" works
    // as in ls, and the directories below may hold hidden names.
    if (start.Count() <= bareCount) return {};
    hidden = true;
    return ListingForm{lkList, true};
}

std::string HiddenNamesNote(const ListingForm& form) {
    return "This server hides names that begin with a dot from LIST; listing with " + form.Command();
}

}  // namespace zn
