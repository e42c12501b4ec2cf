// SPDX-License-Identifier: MIT
#include "walk/listing_digest.h"

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

}  // namespace

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

}  // namespace zn
