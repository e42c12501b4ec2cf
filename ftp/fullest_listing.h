// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ftp/ftp.h"

namespace zn {

// How a walk lists its directories. Many servers, as they ship (vsftpd,
// proftpd, pure-ftpd), leave the names that begin with a dot out of a bare
// LIST, so ".htaccess" and ".git" would be missing from a total that is
// then called complete; "LIST -a", STAT or MLSD show them. A walk tries the
// forms once, on its start directory, and lists every directory, the start
// included, with the one that showed the most: the fullest listing.
enum TListingKind : std::uint8_t { lkList = 0, lkStat = 1, lkMachine = 2 };

struct ListingForm {
    TListingKind Kind = lkList;
    bool All = false;  // with "-a"

    // "LIST", "LIST -a", "STAT", "STAT -a", "MLSD".
    std::string Command() const;
    // What goes between the command and its path: "" or "-a".
    std::string Options() const { return All ? "-a" : ""; }
};

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

// The fullest LIST of the working directory: the bare LIST, and "LIST -a"
// where the bare one shows no dot names. "-a" is taken only when the server
// accepts it and lists everything the bare LIST did and more (a server that
// reads it as a path answers 550, or lists nothing). `start` receives the
// listing of the form chosen; `hidden` tells whether the bare LIST hid
// names that "-a" showed; `cut` the server's words if it cut the listing
// short (listing_cut.h), else empty; `digest` the digest of that listing,
// which `start` holds whole only where the digest says so (else it is
// listed again, counted as it comes).
ListingForm FullestList(TznFTP& ftp, TznFTPDirList& start, bool& hidden, std::string& cut, ListingDigest& digest);

// The line a log shows when the bare LIST hid names: "This server hides
// names that begin with a dot from LIST; listing with LIST -a".
std::string HiddenNamesNote(const ListingForm& form);

}  // namespace zn
