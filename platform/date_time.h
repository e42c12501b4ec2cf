// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Date-time values as the components exchange them: days since 30 December
// 1899 00:00, the time of day as the fraction.
namespace platform {

using TDateTime = double;

struct LocalDateTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
// False, and `result` untouched, for a date outside years 1 to 9999 or not in
// the calendar (Gregorian leap years).
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);

LocalDateTime DecodeDateTime(TDateTime value);

// The local date and time; cheap enough to call once per listing line.
LocalDateTime NowLocal();
TDateTime Now();

}  // namespace platform
