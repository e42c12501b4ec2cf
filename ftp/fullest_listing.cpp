// SPDX-License-Identifier: MIT
#include "ftp/fullest_listing.h"

#include "ftp/level_sink.h"
#include "ftp/site_walker.h"
#include "net/errors.h"

#include <algorithm>
#include <functional>
#include <string_view>
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

bool Dots(std::string_view name) { return name == "." || name == ".."; }

// The bare LIST, or LIST with `options`, into `into`, gathered in `digest`.
std::string ListDigested(TznFTP& ftp, const std::string& options, TznFTPDirList& into, ListingDigest& digest) {
    {
        const SinkInPlace digesting(ftp.DirList(), digest);
        ftp.List(options);
    }
    digest.Finish();
    return TakeListing(ftp, into);
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

bool ListingDigest::Take(std::unique_ptr<TznFTPDirEntry>& entry) {
    const TznFTPDirEntry& e = *entry;
    ++count_;
    if (Dots(e.Name)) return count_ > keep_;
    dotNames_ = dotNames_ || (!e.Name.empty() && e.Name.front() == '.');
    const std::uint64_t name = std::hash<std::string_view>{}(e.Name);
    const auto size = static_cast<std::uint64_t>(e.Kind == dkFile ? e.Size : 0);
    // Mixed so that a name, a kind and a size rarely meet another's hash.
    std::uint64_t key = name ^ (size + 0x9E3779B97F4A7C15ULL + (name << 6) + (name >> 2));
    key = key * 0xFF51AFD7ED558CCDULL + e.Kind;
    entries_.push_back(key);
    names_.push_back(name);
    return count_ > keep_;
}

void ListingDigest::Finish() {
    std::sort(entries_.begin(), entries_.end());
    std::sort(names_.begin(), names_.end());
}

bool ListingDigest::ListsAllOf(const ListingDigest& narrower) const {
    return std::includes(entries_.begin(), entries_.end(), narrower.entries_.begin(), narrower.entries_.end());
}

bool ListingDigest::NamesAnEntryTwice() const {
    return std::adjacent_find(names_.begin(), names_.end()) != names_.end();
}

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

std::string HiddenNamesNote(const ListingForm& form) {
    return "This server hides names that begin with a dot from LIST; listing with " + form.Command();
}

}  // namespace zn
