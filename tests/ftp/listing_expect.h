// SPDX-License-Identifier: MIT
#pragma once

#include "ftp/dir_list.h"
#include "platform/date_time.h"

#include <gtest/gtest.h>

namespace listingtest {

inline platform::TDateTime At(int year, int month, int day, int hour = 0, int minute = 0) {
    platform::TDateTime date = 0, time = 0;
    EXPECT_TRUE(platform::TryEncodeDate(year, month, day, date));
    EXPECT_TRUE(platform::TryEncodeTime(hour, minute, 0, 0, time));
    return date + time;
}

inline int ThisYear() { return platform::NowLocal().year; }

// Parses one listing with the given family set beforehand.
inline void Parse(zn::TznFTPDirList& list, zn::TServerType type, std::string_view text) {
    list.ServerType = type;
    zn::ParseListing(text, list);
}

}  // namespace listingtest
