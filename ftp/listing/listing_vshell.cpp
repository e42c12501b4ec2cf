// SPDX-License-Identifier: MIT
// The listings of some Windows servers (VShell among them): the size, the
// date with a comma after the day, the time and the name; a directory's
// name ends in "/", which is dropped:
//
//   206876  Apr 04, 2000 21:06 index.html
//        0  Apr 04, 2000 21:06 cgi-bin/
//    20480  Feb 11, 2025 09:14 annual report.pdf

#include "ftp/listing/listing_formats.h"
#include "ftp/listing/listing_unix_date.h"

namespace zn::listing {
namespace {

bool HasShape(const LineWords& words) {
    const std::string_view day = words[2];
    return words.Count() > 5 && ReadDigits(words[0]) && MonthOf(words[1]) != 0 && day.size() >= 2 &&
           day.back() == ',' && IsDay(day.substr(0, day.size() - 1)) && IsYear(words[3]) && IsClock(words[4]);
}

}  // namespace

bool HasVShellForm(std::string_view line) { return HasShape(LineWords(line)); }

bool ParseVShellLine(const std::string& line, TznFTPDirEntry& entry) {
    const LineWords words(line);
    if (!HasShape(words)) return false;
    FoundDate found;
    if (!DateAt(words, 1, found) || !EncodeFound(found, entry.DateTime)) entry.DateTime = 0;
    entry.Name = words.RestAfterOneBlank(4);
    if (entry.Name.size() > 1 && entry.Name.back() == '/') {
        entry.Kind = dkDirectory;
        entry.Name.pop_back();
    } else {
        entry.Kind = dkFile;
        entry.Size = *ReadDigits(words[0]);
    }
    return !entry.Name.empty();
}

}  // namespace zn::listing
