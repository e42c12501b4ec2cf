// SPDX-License-Identifier: MIT
// VMS listings: the name with its version, the size in blocks (used, or
// used/allocated), the date and time, the owner and the protection:
//
//   Directory WEB$DISK:[WEB]
//
//   INDEX.HTML;3          40/42   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWED,RWED,RE,RE)
//   CGI-BIN.DIR;1             1   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWE,RWE,RE,RE)
//   A_NAME_TOO_LONG_FOR_ITS_COLUMN.TXT;1
//                        155   2-JUL-2003 10:30:13.64  [WEB,WEBADM]  (RWED,RWED,RE,RE)
//
//   Total of 3 files, 196/198 blocks.
//
// A directory is a file named ".DIR"; the walk enters it by the name before
// that. A size in 512-byte blocks is only a bound on a file's bytes: the
// last block is seldom full, and a file of variable-length records holds
// more than its bytes. So a file stays unread, with its name, and is never
// counted with a size it does not have. The reader joins a name standing
// on a line of its own to the line of facts after it, and drops the
// heading and the totals.

#include "ftp/listing/listing_formats.h"
#include "ftp/listing/listing_unix_date.h"

namespace zn::listing {
namespace {

// "NAME.EXT;12": a version after the last ";".
bool IsVersionedName(std::string_view word) {
    const std::size_t semicolon = word.rfind(';');
    return semicolon != std::string_view::npos && semicolon > 0 && ReadDigits(word.substr(semicolon + 1));
}

// "155" or "40/42".
bool IsBlocks(std::string_view word) {
    const std::size_t slash = word.find('/');
    if (slash == std::string_view::npos) return ReadDigits(word).has_value();
    return ReadDigits(word.substr(0, slash)) && ReadDigits(word.substr(slash + 1));
}

// "2-JUL-2003" or "11-FEB-2025".
bool ReadVmsDate(std::string_view word, FoundDate& date) {
    const std::size_t dash = word.find('-');
    if (dash != 1 && dash != 2) return false;
    if (word.size() != dash + 9 || word[dash + 4] != '-' || !IsYear(word.substr(dash + 5))) return false;
    const auto day = ReadDigits(word.substr(0, dash));
    date.month = MonthOf(word.substr(dash + 1, 3));
    if (!day || date.month == 0) return false;
    date.day = static_cast<int>(*day);
    date.year = static_cast<int>(*ReadDigits(word.substr(dash + 5)));
    date.yearGiven = true;
    return true;
}

}  // namespace

bool IsVmsLoneName(std::string_view line) {
    const LineWords words(line);
    return words.Count() == 1 && IsVersionedName(words[0]);
}

bool IsVmsHeadingOrTotal(std::string_view line) {
    const LineWords words(line);
    if (words[0] == "Total" && words[1] == "of") return true;
    if (words[0] == "Grand" && EqualsLowered(words[1], "total")) return true;
    return words.Count() == 2 && words[0] == "Directory" && words[1].find(":[") != std::string_view::npos &&
           words[1].back() == ']';
}

bool HasVmsForm(std::string_view line) {
    const LineWords words(line);
    FoundDate date;
    if (IsVmsHeadingOrTotal(line) && words[0] == "Directory") return true;
    return IsVersionedName(words[0]) && (words.Count() == 1 || (IsBlocks(words[1]) && ReadVmsDate(words[2], date)));
}

bool ParseVmsLine(const std::string& line, TznFTPDirEntry& entry) {
    const LineWords words(line);
    FoundDate date;
    if (!IsVersionedName(words[0]) || !IsBlocks(words[1]) || !ReadVmsDate(words[2], date)) return false;
    const std::string_view name = words[0];
    const std::size_t semicolon = name.rfind(';');
    if (semicolon < 4 || !EqualsLowered(name.substr(semicolon - 4, 4), ".dir")) {
        return KeepAsUnread(line, name, entry);
    }
    entry.Kind = dkDirectory;
    entry.Name = name.substr(0, semicolon - 4);
    if (IsClock(words[3])) {
        const std::size_t colon = words[3].find(':');
        date.hour = static_cast<int>(ReadDigits(words[3].substr(0, colon)).value_or(0));
        date.minute = static_cast<int>(ReadDigits(words[3].substr(colon + 1, 2)).value_or(0));
    }
    if (!EncodeFound(date, entry.DateTime)) entry.DateTime = 0;
    return !entry.Name.empty();
}

}  // namespace zn::listing
