// SPDX-License-Identifier: MIT
// Unix-style listings, the usual answer of most servers:
//
//   -rw-r--r--   1 owner    group       10240 Mar  7 14:05 index.html
//   drwxr-xr-x   2 owner    group         512 Dec 24  1998 old stuff
//   lrwxrwxrwx   1 owner    group          11 Jan  1 12:00 docs -> public/docs
//   -rw-r--r--   1 own        10240 Mar  7 14:05 a.txt          (no group column)

#include "ftp/listing_formats.h"

#include "net/text_helpers.h"

#include "platform/str_to_int.h"

#include <algorithm>
#include <array>

namespace zn::listing {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Month, day and "hh:mm" or year. What the text does not give stays as
// today's date at 00:00; a time means the current year, even when the date
// then lies in the future. False for an impossible date or time.
bool UnixDate(const std::string& text, platform::TDateTime& result) {
    const platform::LocalDateTime today = platform::NowLocal();
    int year = today.year, month = today.month, day = today.day, hour = 0, minute = 0;

    const std::string monthWord = ExtractField(text, 0, true);
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (monthWord == kMonths[i]) month = static_cast<int>(i) + 1;
    }
    if (std::int32_t d = ExtractIntField(text, 1); d != -1) day = d;

    const std::string last = ExtractField(text, 2, true);
    if (std::size_t colon = last.find(':'); colon != std::string::npos) {
        hour = platform::StrToIntDef(std::string_view(last).substr(0, colon), 0);
        minute = platform::StrToIntDef(std::string_view(last).substr(colon + 1), 0);
    } else if (std::int32_t y = ExtractIntField(text, 2); y != -1) {
        year = y;
    }

    platform::TDateTime date = 0, time = 0;
    if (!platform::TryEncodeDate(year, month, day, date) || !platform::TryEncodeTime(hour, minute, 0, 0, time)) {
        return false;
    }
    result = date + time;
    return true;
}

// Inserts a blank before the 1-based position, or at the end when the text
// is shorter.
void InsertBlankBefore(std::string& text, std::size_t position) {
    text.insert(std::min(position - 1, text.size()), 1, ' ');
}

}  // namespace

bool ParseUnixLine(const std::string& line, TznFTPDirEntry& entry) {
    if (line.empty()) return false;
    entry.Kind = line[0] == 'd' ? dkDirectory : line[0] == 'l' ? dkLink : dkFile;

    // A line without the group column (or with columns run together) has
    // too few words: splitting the link-count column, then the permissions,
    // recovers the name. The inserted blanks stay for the later columns.
    std::string work = line;
    entry.Name = ExtractField(work, 8, false);
    if (entry.Name.empty()) {
        InsertBlankBefore(work, 25);
        entry.Name = ExtractField(work, 8, false);
    }
    if (entry.Name.empty()) {
        InsertBlankBefore(work, 7);
        entry.Name = ExtractField(work, 8, false);
    }

    entry.Size = ReadSize(ExtractField(work, 4, true), -1);

    const std::string dateText =
        ExtractField(work, 5, true) + ' ' + ExtractField(work, 6, true) + ' ' + ExtractField(work, 7, true);
    if (!UnixDate(dateText, entry.DateTime)) entry.DateTime = platform::Now();

    if (entry.Kind == dkLink) entry.LinkTarget = ExtractField(work, 10, true);
    return true;
}

}  // namespace zn::listing
