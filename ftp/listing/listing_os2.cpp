// SPDX-License-Identifier: MIT
// OS/2 listings: the size, the attributes, the date (month-day-year), the
// time and the name:
//
//     1123      A          07-14-99   12:37  index.html
//        0           DIR   07-14-99   12:37  cgi-bin
//    20480                 02-11-25   09:14  no attributes.txt
//
// "DIR" stands among the attributes of a directory. The name is everything
// after the time and its blanks.

#include "ftp/listing/listing_formats.h"
#include "ftp/listing/listing_unix_date.h"

namespace zn::listing {
namespace {

// "A", "R", "H", "S" in any mix, or "DIR".
bool IsAttributeWord(std::string_view word) {
    return word == "DIR" ||
           (!word.empty() && word.size() <= 4 && word.find_first_not_of("AHRS") == std::string_view::npos);
}

// "07-14-99": two digits each.
bool IsShortDate(std::string_view word) {
    return word.size() == 8 && word[2] == '-' && word[5] == '-' && ReadDigits(word.substr(0, 2)) &&
           ReadDigits(word.substr(3, 2)) && ReadDigits(word.substr(6, 2));
}

// The index of the date word after the size and the attributes, or 0.
std::size_t DateWordAt(const LineWords& words) {
    if (!ReadDigits(words[0])) return 0;
    std::size_t at = 1;
    while (at < 4 && IsAttributeWord(words[at])) ++at;
    return IsShortDate(words[at]) && IsClock(words[at + 1]) && words.Count() > at + 2 ? at : 0;
}

}  // namespace

bool HasOs2Form(std::string_view line) { return DateWordAt(LineWords(line)) != 0; }

bool ParseOs2Line(const std::string& line, TznFTPDirEntry& entry) {
    const LineWords words(line);
    const std::size_t date = DateWordAt(words);
    if (date == 0) return false;
    entry.Kind = dkFile;
    for (std::size_t i = 1; i < date; ++i) {
        if (words[i] == "DIR") entry.Kind = dkDirectory;
    }
    if (entry.Kind == dkFile) entry.Size = *ReadDigits(words[0]);
    entry.Name = words.RestAfter(date + 1);
    const std::string_view day = words[date];
    FoundDate found;
    found.yearGiven = true;
    found.month = (day[0] - '0') * 10 + (day[1] - '0');
    found.day = (day[3] - '0') * 10 + (day[4] - '0');
    found.year = platform::NowLocal().year / 100 * 100 + (day[6] - '0') * 10 + (day[7] - '0');
    const std::string_view clock = words[date + 1];
    const std::size_t colon = clock.find(':');
    found.hour = static_cast<int>(*ReadDigits(clock.substr(0, colon)));
    found.minute = static_cast<int>(*ReadDigits(clock.substr(colon + 1, 2)));
    if (!EncodeFound(found, entry.DateTime)) entry.DateTime = 0;
    return true;
}

}  // namespace zn::listing
