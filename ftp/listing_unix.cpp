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
//
// The columns before the date vary, the date does not: the date is found by
// its shape, the size is the number just before it and the name everything
// after it and one blank.

#include "ftp/listing_formats.h"

#include "net/text_helpers.h"

#include "platform/str_to_int.h"

#include <algorithm>
#include <array>

namespace zn::listing {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text, std::size_t from, std::size_t to) {
    if (to > text.size() || from >= to) return false;
    for (std::size_t i = from; i < to; ++i) {
        if (!IsDigit(text[i])) return false;
    }
    return true;
}

int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

// 1 to 12 for a month's short name in any case, 0 for anything else.
int MonthOf(std::string_view word) {
    if (word.size() != 3) return 0;
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (EqualsLowered(word, kMonths[i])) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool IsDay(std::string_view word) { return (word.size() == 1 || word.size() == 2) && AllDigits(word, 0, word.size()); }

bool IsYear(std::string_view word) { return word.size() == 4 && AllDigits(word, 0, 4); }

// "9:05", "09:05", and with seconds and their fraction ("09:05:33.5").
bool IsClock(std::string_view word) {
    const std::size_t colon = word.find(':');
    if (colon != 1 && colon != 2) return false;
    if (!AllDigits(word, 0, colon) || !AllDigits(word, colon + 1, colon + 3)) return false;
    std::string_view rest = word.substr(colon + 3);
    if (rest.empty()) return true;
    if (rest.size() < 3 || rest[0] != ':' || !AllDigits(rest, 1, 3)) return false;
    rest.remove_prefix(3);
    return rest.empty() || (rest[0] == '.' && AllDigits(rest, 1, rest.size()));
}

bool IsIsoDate(std::string_view word) {
    return word.size() == 10 && AllDigits(word, 0, 4) && word[4] == '-' && AllDigits(word, 5, 7) && word[7] == '-' &&
           AllDigits(word, 8, 10);
}

// "+0100" after a full ISO time.
bool IsZone(std::string_view word) {
    return word.size() == 5 && (word[0] == '+' || word[0] == '-') && AllDigits(word, 1, 5);
}

// Where the date stands and what it says.
struct FoundDate {
    std::size_t first = 0;   // word index of its first field
    std::size_t last = 0;    // and of its last
    bool yearGiven = false;  // otherwise the current year
    int year = 0;
    int month = 0, day = 0, hour = 0, minute = 0;
};

void ReadClockOrYear(std::string_view word, FoundDate& date) {
    if (IsYear(word)) {
        date.year = Number(word);
        date.yearGiven = true;
        return;
    }
    const std::size_t colon = word.find(':');
    date.hour = Number(word.substr(0, colon));
    date.minute = Number(word.substr(colon + 1, 2));
}

// The date at word i in one of the forms servers write: "Mon DD HH:MM",
// "Mon DD YYYY", "DD Mon HH:MM", "DD Mon YYYY", "YYYY-MM-DD HH:MM[:SS[.f]] [zone]".
bool DateAt(const LineWords& words, std::size_t i, FoundDate& date) {
    const std::string_view a = words[i], b = words[i + 1], c = words[i + 2];
    const bool clockOrYear = IsClock(c) || IsYear(c);
    if (int month = MonthOf(a); month != 0 && IsDay(b) && clockOrYear) {
        date.month = month;
        date.day = Number(b);
    } else if (int later = MonthOf(b); later != 0 && IsDay(a) && clockOrYear) {
        date.month = later;
        date.day = Number(a);
    } else if (IsIsoDate(a) && IsClock(b)) {
        date.year = Number(a.substr(0, 4));
        date.yearGiven = true;
        date.month = Number(a.substr(5, 2));
        date.day = Number(a.substr(8, 2));
        ReadClockOrYear(b, date);
        date.first = i;
        date.last = IsZone(c) ? i + 2 : i + 1;
        return true;
    } else {
        return false;
    }
    ReadClockOrYear(c, date);
    date.first = i;
    date.last = i + 2;
    return true;
}

// What the date gives, in the year of today when it names none (even when
// the date then lies in the future); false for an impossible date or time.
bool EncodeFound(const FoundDate& found, platform::TDateTime& result) {
    const int year = found.yearGiven ? found.year : platform::NowLocal().year;
    platform::TDateTime date = 0, time = 0;
    if (!platform::TryEncodeDate(year, found.month, found.day, date) ||
        !platform::TryEncodeTime(found.hour, found.minute, 0, 0, time)) {
        return false;
    }
    result = date + time;
    return true;
}

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
    entry.Kind = type == 'd' ? dkDirectory : type == 'l' ? dkLink : dkFile;

    FoundDate found;
    std::size_t at = mode + 2;
    while (at < words.Count() && !DateAt(words, at, found)) ++at;
    if (at >= words.Count()) {
        ParseByColumns(line, entry);
        return true;
    }
    entry.Size = ReadDigits(words[found.first - 1]).value_or(-1);
    if (!EncodeFound(found, entry.DateTime)) entry.DateTime = platform::Now();
    entry.Name = words.RestAfterOneBlank(found.last);
    if (entry.Kind == dkLink) {
        const std::size_t arrow = entry.Name.find(" -> ");
        if (arrow != std::string::npos) entry.LinkTarget = entry.Name.substr(arrow + 4);
    }
    return true;
}

}  // namespace zn::listing
