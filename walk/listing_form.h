// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace zn {

// How a walk lists its directories. Many servers, as they ship (vsftpd,
// proftpd, pure-ftpd), leave the names that begin with a dot out of a bare
// LIST, so ".htaccess" and ".git" would be missing from a total that is
// then called complete; "LIST -a", STAT or MLSD show them. A walk tries the
// forms once, on its start directory (listing_probe.h), and lists every
// directory, the start included, with the one that showed the most: the
// fullest listing.
enum TListingKind : std::uint8_t { lkList = 0, lkStat = 1, lkMachine = 2 };

struct ListingForm {
    TListingKind Kind = lkList;
    bool All = false;  // with "-a"

    // "LIST", "LIST -a", "STAT", "STAT -a", "MLSD".
    std::string Command() const;
    // What goes between the command and its path: "" or "-a".
    std::string Options() const { return All ? "-a" : ""; }
};

// The line a log shows when the bare LIST hid names: "This server hides
// names that begin with a dot from LIST; listing with LIST -a".
std::string HiddenNamesNote(const ListingForm& form);

}  // namespace zn
