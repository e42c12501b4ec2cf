// SPDX-License-Identifier: MIT
// The dates of Unix-style lines, in the forms servers write them:
//
//   Mar  7 14:05          Mar  7  1998          7 Mar 14:05     7 mar 1998
//   2025-02-11 09:14      2025-02-11 09:14:33.123456789 +0100
//   Feb 11, 2025 09:14    (a comma after the day; the time may be left out)
//   02-11 2025            02-11 09:14           (month and day, then year or time)
//   2025/02/11 09:14      11-02-2025 09:14      (day, month, year)
//   2025.02.11            11-Feb-25             (a time may follow either)
//   2025-02-11            (without a time)

#include "ftp/listing/listing_unix_date.h"

#include <array>
#include <cstdint>

namespace zn::listing {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};

// Up to four letters as one number, lower-cased.
constexpr std::uint32_t LoweredKey(std::string_view word) {
    std::uint32_t key = 0;
    for (const char c : word) key = key << 8 | static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return key;
}

constexpr std::array<std::uint32_t, 12> kMonthKeys = [] {
    std::array<std::uint32_t, 12> keys{};
    for (std::size_t i = 0; i < kMonths.size(); ++i) keys[i] = LoweredKey(kMonths[i]);
    return keys;
}();

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

bool IsIsoDate(std::string_view word) {
    return word.size() == 10 && AllDigits(word, 0, 4) && word[4] == '-' && AllDigits(word, 5, 7) && word[7] == '-' &&
           AllDigits(word, 8, 10);
}

// "+0100" after a full ISO time.
bool IsZone(std::string_view word) {
    return word.size() == 5 && (word[0] == '+' || word[0] == '-') && AllDigits(word, 1, 5);
}

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

// The numbers of a word made of digit groups joined by `separator`, each
// group as long as `widths` says; false for any other word.
template <std::size_t N>
bool SplitNumbers(std::string_view word, char separator, const std::array<std::size_t, N>& widths,
                  std::array<int, N>& numbers) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t end = i + 1 < N ? word.find(separator) : word.size();
        if (end == std::string_view::npos || end != widths[i] || !AllDigits(word, 0, end)) return false;
        numbers[i] = Number(word.substr(0, end));
        word.remove_prefix(i + 1 < N ? end + 1 : end);
    }
    return word.empty();
}

// "2025/02/11", "11-02-2025", "2025.02.11", "2025-02-11", "02-11": year,
// month and day (0 when the word names no year).
bool NumericDate(std::string_view word, int& year, int& month, int& day) {
    std::array<int, 3> n{};
    std::array<int, 2> md{};
    year = 0;
    // Each form is known by its length and where its first separator is,
    // so a word is split at most once: every word before a line's date is
    // tried, on every line.
    const char yearFirst = word.size() == 10 ? word[4] : '\0';
    if ((yearFirst == '/' || yearFirst == '.' || yearFirst == '-') && SplitNumbers<3>(word, yearFirst, {4, 2, 2}, n)) {
        year = n[0];
        month = n[1];
        day = n[2];
    } else if (word.size() == 10 && word[2] == '-' && SplitNumbers<3>(word, '-', {2, 2, 4}, n)) {
        day = n[0];
        month = n[1];
        year = n[2];
    } else if (word.size() == 5 && SplitNumbers<2>(word, '-', {2, 2}, md)) {
        month = md[0];
        day = md[1];
    } else {
        return false;
    }
    return true;
}

// "11-Feb-25" and "11-Feb-2025"; a two-digit year is in this century.
bool DayMonthYear(std::string_view word, FoundDate& date) {
    if (word.size() < 9 || word[2] != '-' || word[6] != '-' || !AllDigits(word, 0, 2)) return false;
    const std::string_view year = word.substr(7);
    const int month = MonthOf(word.substr(3, 3));
    if (month == 0 || (year.size() != 2 && year.size() != 4) || !AllDigits(year, 0, year.size())) return false;
    date.day = Number(word.substr(0, 2));
    date.month = month;
    date.year = Number(year) + (year.size() == 2 ? platform::NowLocal().year / 100 * 100 : 0);
    date.yearGiven = true;
    return true;
}

// The forms held in one word, with a time after them; the year-first forms
// with "." or "-" may stand alone, and month and day may have a year after
// them instead.
bool OneWordDate(const LineWords& words, std::size_t i, FoundDate& date) {
    const std::string_view a = words[i], b = words[i + 1];
    // Every such form starts with a digit and is 5, 9, 10 or 11 long.
    if (a.size() < 5 || a.size() > 11 || a[0] < '0' || a[0] > '9') return false;
    if (!DayMonthYear(a, date)) {
        int year = 0;
        if (!NumericDate(a, year, date.month, date.day)) return false;
        const bool alone = a.size() == 10 && (a[4] == '.' || a[4] == '-');
        if (!alone && !IsClock(b) && !(year == 0 && IsYear(b))) return false;
        date.year = year;
        date.yearGiven = year != 0;
    }
    date.first = date.last = i;
    if (IsClock(b) || (!date.yearGiven && IsYear(b))) {
        ReadClockOrYear(b, date);
        date.last = i + 1;
    }
    return true;
}

}  // namespace

// Three letters in any case, compared as one number: every word before a
// line's date is tried.
int MonthOf(std::string_view word) {
    if (word.size() != 3) return 0;
    const std::uint32_t wanted = LoweredKey(word);
    for (std::size_t i = 0; i < kMonthKeys.size(); ++i) {
        if (kMonthKeys[i] == wanted) return static_cast<int>(i) + 1;
    }
    return 0;
}

bool IsDay(std::string_view word) { return (word.size() == 1 || word.size() == 2) && AllDigits(word, 0, word.size()); }

bool IsYear(std::string_view word) { return word.size() == 4 && AllDigits(word, 0, 4); }

// "9:05", "09:05", and with seconds and their fraction ("09:05:33.5").
bool IsClock(std::string_view word) {
    const std::size_t colon = word.size() > 2 && word[1] == ':' ? 1 : word.size() > 3 && word[2] == ':' ? 2 : 0;
    if (colon == 0) return false;
    if (!AllDigits(word, 0, colon) || !AllDigits(word, colon + 1, colon + 3)) return false;
    std::string_view rest = word.substr(colon + 3);
    if (rest.empty()) return true;
    if (rest.size() < 3 || rest[0] != ':' || !AllDigits(rest, 1, 3)) return false;
    rest.remove_prefix(3);
    return rest.empty() || (rest[0] == '.' && AllDigits(rest, 1, rest.size()));
}

bool DateAt(const LineWords& words, std::size_t i, FoundDate& date) {
    const std::string_view a = words[i], b = words[i + 1], c = words[i + 2];
    // Every word before a line's date is tried, on every line: the cheap
    // tests come first.
    const int month = MonthOf(a);
    const int later = month == 0 && IsDay(a) ? MonthOf(b) : 0;
    const auto clockOrYear = [c] { return IsClock(c) || IsYear(c); };
    const bool dayComma =
        month != 0 && b.size() >= 2 && b.back() == ',' && IsDay(b.substr(0, b.size() - 1)) && IsYear(c);
    if (month != 0 && IsDay(b) && clockOrYear()) {
        date.month = month;
        date.day = Number(b);
    } else if (later != 0 && clockOrYear()) {
        date.month = later;
        date.day = Number(a);
    } else if (dayComma) {
        date.month = month;
        date.day = Number(b.substr(0, b.size() - 1));
        ReadClockOrYear(c, date);
        date.first = i;
        date.last = i + 2;
        if (IsClock(words[i + 3])) {
            ReadClockOrYear(words[i + 3], date);
            date.last = i + 3;
        }
        return true;
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
        return OneWordDate(words, i, date);
    }
    ReadClockOrYear(c, date);
    date.first = i;
    date.last = i + 2;
    return true;
}

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

}  // namespace zn::listing
