// SPDX-License-Identifier: MIT
#pragma once

#include "ftp/listing/dir_list.h"
#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

inline zn::TznFTPDirEntry ParseOne(zn::TServerType type, const std::string& line) {
    zn::TznFTPDirList list;
    list.ServerType = type;
    list.ParseLine(line);
    EXPECT_EQ(list.Count(), 1);
    return list.Items(0);
}

// One line as a server writes it and what it must give; each family has a
// table of them, one row per layout. A date of -1 is not compared.
struct LineCase {
    const char* line;
    zn::TDirEntryKind kind;
    const char* name;  // for dkUnknown: the name the line still gives, or ""
    std::int64_t size;
    platform::TDateTime date = -1;
};

inline void ExpectLines(zn::TServerType type, const std::vector<LineCase>& cases) {
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.line);
        const zn::TznFTPDirEntry e = ParseOne(type, c.line);
        EXPECT_EQ(e.Kind, c.kind);
        EXPECT_EQ(e.Name, c.kind == zn::dkUnknown ? std::string(c.line) : std::string(c.name));
        EXPECT_EQ(e.UnreadName(), c.kind == zn::dkUnknown ? std::string(c.name) : std::string());
        EXPECT_EQ(e.Size, c.size);
        if (c.date != -1) {
            EXPECT_DOUBLE_EQ(e.DateTime, c.date);
        }
    }
}

}  // namespace listingtest
