// SPDX-License-Identifier: MIT
#pragma once

#include "ftp/listing/listing_formats.h"
#include "platform/date_time.h"

// The date of a Unix-style line, found by its shape among the words.
namespace zn::listing {

// Where the date stands and what it says.
struct FoundDate {
    std::size_t first = 0;   // word index of its first field
    std::size_t last = 0;    // and of its last
    bool yearGiven = false;  // otherwise the current year
    int year = 0;
    int month = 0, day = 0, hour = 0, minute = 0;
};

// True when a date in one of the forms servers write starts at word i.
bool DateAt(const LineWords& words, std::size_t i, FoundDate& date);

// What the date gives, in the year of today when it names none (even when
// the date then lies in the future); false for an impossible date or time.
bool EncodeFound(const FoundDate& found, platform::TDateTime& result);

// 1 to 12 for a month's short name in any case, 0 for anything else.
int MonthOf(std::string_view word);

bool IsDay(std::string_view word);
bool IsYear(std::string_view word);
bool IsClock(std::string_view word);

}  // namespace zn::listing
