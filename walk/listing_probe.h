// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ftp/client/ftp.h"
#include "walk/listing_digest.h"
#include "walk/listing_form.h"

namespace zn {

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

// What the choice of a form leaves of the start directory.
struct StartListing {
    std::string path;       // from PWD; empty where the server refused it
    TznFTPDirList listing;  // in the form chosen, whole where the digest says so
    ListingDigest digest;   // of that listing
    std::string cut;        // the server's words if it cut that listing short
};

struct ListingChoice {
    ListingForm form;           // the walk's
    ListingForm listForm;       // the fullest LIST, for directories listed by CWD
    bool hidden = false;        // the bare LIST hid names that the walk's form shows
    int statedCap = 0;          // the most entries a listing may hold, where the server said
    bool selfChecking = false;  // the STAT chosen named the directory it listed
};

// The fullest listing of the working directory, for a walk by absolute
// paths: its fullest LIST, then STAT (and "STAT -a" where STAT hides what
// "LIST -a" shows), then MLSD where FEAT offers it; the first that lists
// everything the LIST did is the walk's. Only a refusal (a reply other than
// the expected) passes a form over; a failure that ends the connection ends
// the walk. Only Unix-style absolute paths can be built from names: a start
// whose path is not one is listed by LIST. `knownPath`: the start's PWD
// where the caller asked for it already.
ListingChoice ChooseListing(TznFTP& ftp, StartListing& start, const std::optional<std::string>& knownPath = {});

// "MLST type*;size*;modify*;" among FEAT's lines: machine listings that
// give each entry's type and size.
bool OffersMachineListings(const std::vector<std::string>& features);

}  // namespace zn
