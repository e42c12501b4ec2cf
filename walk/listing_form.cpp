// SPDX-License-Identifier: MIT
#include "walk/listing_form.h"

namespace zn {

std::string ListingForm::Command() const {
    const char* verb = Kind == lkStat ? "STAT" : Kind == lkMachine ? "MLSD" : "LIST";
    return All ? std::string(verb) + " -a" : std::string(verb);
}

std::string HiddenNamesNote(const ListingForm& form) {
    return "This server hides names that begin with a dot from LIST; listing with " + form.Command();
}

}  // namespace zn
