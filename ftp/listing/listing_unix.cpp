// SPDX-License-Identifier: MIT
// Unix-style listings, the usual answer of most servers, and the layouts
// real servers make of them:
//
//   -rw-r--r--   1 owner    group       10240 Mar  7 14:05 index.html
//   drwxr-xr-x   2 owner    group         512 Dec 24  1998 old stuff
//   lrwxrwxrwx   1 owner    group          11 Jan  1 12:00 docs -> public/docs
//   -rw-r--r--   1 own        10240 Mar  7 14:05 a.txt            (no group column)
//   drwxr-x---   3 webadm Domain Users   4096 Feb 11 09:14 uploads  (a group of two words)
//   -rw-r--r--   1 web  web  20480 2025-02-11 09:14 notes.txt     (ISO date)
//   -rw-r--r--   1 web  web  20480 11 Feb 09:14 notes.txt         (day before month)
//      8 -rw-r--r--   1 web  web   4096 Feb 11 09:14 blocks.txt   (block count first)
//   crw-rw-rw-   1 root root   1,   3 Mar  7 14:05 null          (major, minor)
//   d [R----F--] supervisor   512     Jan 16 18:53    login        (NetWare)
//   -rw-r--r--   1 web  web  20480 notes.txt                       (no date)
//   -rw-r--r--   1 web  longgroup123456 Mar  7 14:05 glued.txt   (size unknown)
//   -rw-r--r--   1 web  web  33.5k Mar  7 14:05 rounded.txt       (size unknown)
//
// The columns before the date vary, the date does not: the date is found by
// its shape (listing_unix_date.cpp), the size is the number just before it
// and the name everything after it and one blank.

#include "ftp/listing/listing_formats.h"
#include "ftp/listing/listing_unix_date.h"

#include "net/core/text_helpers.h"

#include "platform/str_to_int.h"

#include <algorithm>

namespace zn::listing {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::string_view kPermissions = "rwxsStTlL-";

// The first column: a type letter and up to nine permission characters;
// after all nine, ACL and attribute markers or a link count run into it.
bool IsModeWord(std::string_view word, bool strict) {
    if (word.empty() || std::string_view("-bcdlpsD").find(word[0]) == std::string_view::npos) return false;
    std::size_t i = 1;
    while (i < word.size() && i < 10 && kPermissions.find(word[i]) != std::string_view::npos) ++i;
    if (i < 10) return !strict && i == word.size();
    for (; i < word.size(); ++i) {
        if (!IsDigit(word[i]) && word[i] != '+' && word[i] != '@' && word[i] != '.') return false;
    }
    return true;
}

// Which word is the mode: the first, or the second after a block count
// ("ls -s"); none when the line is not a Unix entry.
bool FindMode(std::string_view line, const LineWords& words, std::size_t& mode) {
    if (line[0] != ' ' ? IsModeWord(words[0], false) : IsModeWord(words[0], true)) {
        mode = 0;
        return true;
    }
    if (ReadDigits(words[0]) && IsModeWord(words[1], true)) {
        mode = 1;
        return true;
    }
    return false;
}

// Inserts a blank before the 1-based position, or at the end when the text
// is shorter.
void InsertBlankBefore(std::string& text, std::size_t position) {
    text.insert(std::min(position - 1, text.size()), 1, ' ');
}

// Month, day and "hh:mm" or year by the column rule. What the text does
// not give stays as today's date at 00:00.
bool ColumnDate(const std::string& text, platform::TDateTime& result) {
    const platform::LocalDateTime today = platform::NowLocal();
    FoundDate found;
    found.yearGiven = true;
    found.year = today.year;
    found.month = today.month;
    found.day = today.day;
    if (int month = MonthOf(ExtractField(text, 0, true)); month != 0) found.month = month;
    if (std::int32_t d = ExtractIntField(text, 1); d != -1) found.day = d;
    const std::string last = ExtractField(text, 2, true);
    if (std::size_t colon = last.find(':'); colon != std::string::npos) {
        found.hour = platform::StrToIntDef(std::string_view(last).substr(0, colon), 0);
        found.minute = platform::StrToIntDef(std::string_view(last).substr(colon + 1), 0);
    } else if (std::int32_t y = ExtractIntField(text, 2); y != -1) {
        found.year = y;
    }
    return EncodeFound(found, result);
}

// A line with a Unix mode but no date that can be found (a month name in
// another language, a short line) is read by fixed columns: size in word
// 4, date in words 5 to 7, name from word 8. A line without the group
// column has too few words: splitting the link-count column, then the
// permissions, recovers the name.
void ParseByColumns(const std::string& line, TznFTPDirEntry& entry) {
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
    if (!ColumnDate(dateText, entry.DateTime)) entry.DateTime = platform::Now();
    if (entry.Kind == dkLink) entry.LinkTarget = ExtractField(work, 10, true);
}

// Devices hold no bytes, and "1, 3" before their date is the major and
// minor number. Like a link, and like the devices of a machine listing,
// they are neither a file nor a directory of the site.
TDirEntryKind KindOfType(char type) {
    switch (type) {
        case 'd': return dkDirectory;
        case 'l':
        case 'c':
        case 'b': return dkLink;
        default: return dkFile;
    }
}

// A size that stands for a number the line does not give: rounded with a
// unit ("33.5k", "2M"), or run into the owner or group ("longgroup123456").
bool HidesTheSize(std::string_view word) {
    if (word.empty()) return false;
    const std::size_t digits = word.find_first_of("0123456789");
    const bool letterFirst = (word[0] | 0x20) >= 'a' && (word[0] | 0x20) <= 'z';
    if (letterFirst && digits != std::string_view::npos &&
        word.find_first_not_of("0123456789", digits) == std::string_view::npos) {
        return true;
    }
    const std::size_t unit = word.find_first_not_of("0123456789.");
    return unit != std::string_view::npos && unit > 0 && IsDigit(word[0]) && word.size() - unit <= 3 &&
           std::string_view("kKmMgGtTpPeE").find(word[unit]) != std::string_view::npos;
}

// NetWare pads the name with blanks after the time, and puts its rights in
// brackets after a one-letter type.
bool IsNetWare(const LineWords& words, std::size_t mode) {
    const std::string_view rights = words[mode + 1];
    return words[mode].size() == 1 && rights.size() > 2 && rights.front() == '[' && rights.back() == ']';
}

// A word that may be a date of a form not known here ("Feb-11-2024",
// "11.02.24"): a month name in front, or digits with separators only.
bool MayBeDate(std::string_view word) {
    if (MonthOf(word.substr(0, 3)) != 0 && (word.size() == 3 || word[3] == '-' || word[3] == '/' || word[3] == '.')) {
        return true;
    }
    return word.find_first_of("0123456789") != std::string_view::npos &&
           word.find_first_of("-/.:,") != std::string_view::npos &&
           word.find_first_not_of("0123456789-/.:,") == std::string_view::npos;
}

// A line without a date. Only "mode links owner group size name" tells its
// size and its name apart without a guess, and only when the name does not
// start with what may be a date. A month in another language keeps being
// read by the columns, and so do lines too short to hold a size and a name,
// except a file's, which no column can size.
bool ParseWithoutDate(const std::string& line, const LineWords& words, std::size_t mode, TznFTPDirEntry& entry) {
    for (std::size_t i = mode + 3; i + 2 < words.Count(); ++i) {
        if (MonthOf(words[i]) == 0 && !ReadDigits(words[i]) && IsDay(words[i + 1]) &&
            (IsClock(words[i + 2]) || IsYear(words[i + 2]))) {
            ParseByColumns(line, entry);
            return true;
        }
    }
    if (words.Count() < mode + 6) {
        if (entry.Kind == dkFile) return false;
        ParseByColumns(line, entry);
        return true;
    }
    const auto size = ReadDigits(words[mode + 4]);
    if (!ReadDigits(words[mode + 1]) || ReadDigits(words[mode + 2]) || ReadDigits(words[mode + 3]) || !size ||
        MayBeDate(words[mode + 5])) {
        return false;
    }
    entry.Size = *size;
    entry.DateTime = 0;
    entry.Name = words.RestAfterOneBlank(mode + 4);
    return true;
}

}  // namespace

bool HasUnixEntryForm(std::string_view line) {
    const LineWords words(line);
    return IsModeWord(words[0], true) || (ReadDigits(words[0]) && IsModeWord(words[1], true));
}

bool ParseUnixLine(const std::string& line, TznFTPDirEntry& entry) {
    if (line.empty()) return false;
    const LineWords words(line);
    std::size_t mode = 0;
    if (!FindMode(line, words, mode)) return false;
    const char type = words[mode][0];
    entry.Kind = KindOfType(type);

    FoundDate found;
    std::size_t at = mode + 2;
    while (at < words.Count() && !DateAt(words, at, found)) ++at;
    if (at >= words.Count()) return ParseWithoutDate(line, words, mode, entry);
    const std::string_view name =
        IsNetWare(words, mode) ? words.RestAfter(found.last) : words.RestAfterOneBlank(found.last);
    const std::string_view sizeWord = words[found.first - 1];
    if (entry.Kind == dkFile && HidesTheSize(sizeWord)) return KeepAsUnread(line, name, entry);
    entry.Size = type == 'c' || type == 'b' ? 0 : ReadDigits(sizeWord).value_or(-1);
    if (!EncodeFound(found, entry.DateTime)) entry.DateTime = platform::Now();
    entry.Name = name;
    if (entry.Kind == dkLink) {
        const std::size_t arrow = entry.Name.find(" -> ");
        if (arrow != std::string::npos) entry.LinkTarget = entry.Name.substr(arrow + 4);
    }
    return true;
}

}  // namespace zn::listing
