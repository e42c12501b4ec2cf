// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/listing/dir_list.h"

namespace zn {

// What the choice of a form needs of a listing, gathered as it arrives so
// that a huge listing is not held twice, nor at all: its count, whether it
// shows dot names, and a hash of each entry. Set it as the Sink of the list
// the listing goes into: the list keeps the first `keep` entries, and all
// of them only when there are no more (Whole).
class ListingDigest : public ListingSink {
public:
    static constexpr int kKeptWhole = 20000;

    explicit ListingDigest(int keep = kKeptWhole) : keep_(keep) {}
    bool Take(std::unique_ptr<TznFTPDirEntry>& entry) override;
    // The listing has ended.
    void Finish();

    bool Whole() const { return count_ <= keep_; }
    // Entries, "." and ".." included.
    int Count() const { return count_; }
    bool ShowsDotNames() const { return dotNames_; }
    // Every entry of `narrower` ("." and ".." aside) is here, with the same
    // kind and, for a file, the same size.
    bool ListsAllOf(const ListingDigest& narrower) const;
    // A name shown twice ("." and ".." aside).
    bool NamesAnEntryTwice() const;

private:
    int keep_;
    int count_ = 0;
    bool dotNames_ = false;
    std::vector<std::uint64_t> entries_;  // name, kind and size; sorted once finished
    std::vector<std::uint64_t> names_;
};

// Whether `wider` holds every entry of `narrower` ("." and ".." aside) with
// the same kind and, for a file, the same size.
bool ListsAllOf(const TznFTPDirList& wider, const TznFTPDirList& narrower);
// A listing that shows one name twice ("." and ".." aside): no directory
// holds two entries of one name, so the server repeats its lines, and a
// walk by that listing would count them twice.
bool NamesAnEntryTwice(const TznFTPDirList& listing);
// A name beginning with a dot: the server shows them.
bool ShowsDotNames(const TznFTPDirList& listing);

}  // namespace zn
