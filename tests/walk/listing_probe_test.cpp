// SPDX-License-Identifier: MIT
// Which FEAT replies offer the machine listings the fast walk can count
// by: no server.

#include "walk/listing_probe.h"

#include <gtest/gtest.h>

namespace {

TEST(ListingProbe, MachineListingsCountOnlyWhereFeatOffersTypeAndSize) {
    struct Row {
        const char* name;
        std::vector<std::string> features;
        bool offered;
    };
    const Row rows[] = {
        {"type, size and more", {"SIZE", " MLST type*;size*;modify*;"}, true},
        {"any case, no leading blank", {"mlst Type*;Size*;"}, true},
        {"no size", {" MLST type*;modify*;"}, false},
        {"no type", {" MLST size*;modify*;"}, false},
        {"another feature names them", {" SIZE", " REST type size"}, false},
        {"MLSD is not a feature line", {" MLSD type*;size*;"}, false},
        {"no features", {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(zn::OffersMachineListings(row.features), row.offered);
    }
}

}  // namespace
