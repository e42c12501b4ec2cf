// SPDX-License-Identifier: MIT
// DOS-style listings of Windows servers:
//
//   03-07-99  02:05PM                10240 index.html
//   03-07-99  02:05PM       <DIR>          cgi-bin
//   02-11-25  09:14AM       <DIR>          Old Site
//   02-11-25  09:14AM               20480 annual report.pdf
//   2025-02-11  21:14           1,048,576 backup.zip
//
// After the date and the time comes the size or the directory marker; the
// name is everything after that field and the blanks that follow it.

#include "ftp/listing/listing_formats.h"

#include "net/core/text_helpers.h"

#include <cctype>

namespace zn::listing {
namespace {

// A cursor over a date-time text in the fixed format "MM-DD-YYYY HH:MM" with
// AM and PM markers. It never consults the locale or any process-wide date
// settings.
class DosDateScanner {
public:
    explicit DosDateScanner(std::string_view text) : text_(text) {}

    bool Scan(platform::TDateTime& result) {
        int month = 0, day = 0, year = 0;
        if (!ScanDate(month, day, year)) return false;
        if (At('-')) ++pos_;
        SkipBlanks();
        platform::TDateTime date = 0, time = 0;
        if (!platform::TryEncodeDate(year, month, day, date)) return false;
        if (pos_ < text_.size() && !ScanTime(time)) return false;
        result = date + time;
        return true;
    }

private:
    void SkipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    }
    bool At(char c) {
        SkipBlanks();
        return pos_ < text_.size() && text_[pos_] == c;
    }
    bool Number(int& value, std::size_t* digits = nullptr) {
        SkipBlanks();
        std::size_t start = pos_;
        value = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) && pos_ - start < 4) {
            value = value * 10 + (text_[pos_++] - '0');
        }
        if (digits) *digits = pos_ - start;
        return pos_ > start && !(pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])));
    }
    bool Separator(char c) {
        if (!At(c)) return false;
        ++pos_;
        return true;
    }
    // Month, day and year; a date that starts with a four-digit year is
    // year, month and day ("2025-02-11").
    bool ScanDate(int& month, int& day, int& year) {
        std::size_t firstDigits = 0;
        if (!Number(month, &firstDigits) || !Separator('-') || !Number(day)) return false;
        const platform::LocalDateTime today = platform::NowLocal();
        year = today.year;
        std::size_t save = pos_;
        if (Separator('-')) {
            int y = 0;
            if (!Number(y)) {
                pos_ = save;  // the "-" after the date is skipped by the caller
            } else if (firstDigits == 4) {
                year = month;
                month = day;
                day = y;
            } else {
                year = y <= 99 ? today.year / 100 * 100 + y : y;
            }
        }
        return true;
    }
    // "AM" or "PM", without regard to case: 0 none, 1 AM, 2 PM.
    int Marker() {
        SkipBlanks();
        if (pos_ + 2 > text_.size()) return 0;
        const char a = static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_])));
        const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_ + 1])));
        if (m != 'M' || (a != 'A' && a != 'P')) return 0;
        pos_ += 2;
        return a == 'A' ? 1 : 2;
    }
    bool ScanTime(platform::TDateTime& result) {
        int marker = Marker();
        int hour = 0, minute = 0, second = 0;
        if (!Number(hour)) return false;
        if (Separator(':')) {
            if (!Number(minute)) return false;
            if (Separator(':') && !Number(second)) return false;
        }
        if (marker == 0) marker = Marker();
        if (marker != 0) {
            if (hour < 1 || hour > 12) return false;
            if (hour == 12) hour = 0;
            if (marker == 2) hour += 12;
        }
        return platform::TryEncodeTime(hour, minute, second, 0, result);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

bool StartsWithDosDate(std::string_view line) {
    // Digits, a separator, digits, and optionally a separator and digits.
    std::size_t at = 0, groups = 0;
    while (groups < 3) {
        const std::size_t start = at;
        while (at < line.size() && at - start < 4 && std::isdigit(static_cast<unsigned char>(line[at]))) ++at;
        if (at == start) return false;
        ++groups;
        if (at == line.size() || line[at] == ' ') break;
        if (groups == 3 || std::string_view("-/.").find(line[at]) == std::string_view::npos) return false;
        ++at;
    }
    return groups >= 2 && (at == line.size() || line[at] == ' ');
}

namespace {

// "02:05PM", "21:14", "9:05:33", or with the marker as a word of its own.
bool IsTimeWord(std::string_view word) {
    if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0]))) return false;
    if (word.find(':') == std::string_view::npos) return false;
    return word.find_first_not_of("0123456789:AaPpMm") == std::string_view::npos;
}

bool IsMarker(std::string_view word) { return EqualsLowered(word, "am") || EqualsLowered(word, "pm"); }

// "20480", "1,048,576" or "1.048.576": digits in groups of three after the
// first, all with the same separator.
std::optional<std::int64_t> GroupedSize(std::string_view word) {
    const std::size_t separator = word.find_first_of(",.");
    if (separator == std::string_view::npos) return ReadDigits(word);
    if (separator == 0 || separator > 3) return std::nullopt;
    std::string digits(word.substr(0, separator));
    for (std::size_t at = separator; at < word.size(); at += 4) {
        if (word[at] != word[separator] || at + 4 > word.size()) return std::nullopt;
        digits.append(word.substr(at + 1, 3));
    }
    return ReadDigits(digits);
}

}  // namespace

bool ParseDosLine(const std::string& line, TznFTPDirEntry& entry) {
    if (!StartsWithDosDate(line)) return false;
    const LineWords words(line);
    // A bare date is an entry without a name or a size, as it always was.
    entry.Kind = dkFile;
    if (words.Count() == 1) {
        if (!DosDateScanner(words[0]).Scan(entry.DateTime)) entry.DateTime = 0;
        return true;
    }

    std::size_t field = 1;
    if (IsTimeWord(words[1])) field = IsMarker(words[2]) ? 3 : 2;
    // A date this rule cannot read leaves DateTime 0; the line still counts.
    const std::string_view last = words[field - 1];
    const std::string_view dateText(words[0].data(),
                                    static_cast<std::size_t>(last.data() - words[0].data()) + last.size());
    if (!DosDateScanner(dateText).Scan(entry.DateTime)) entry.DateTime = 0;

    const std::string_view marker = words[field];
    if (marker.size() > 2 && marker.front() == '<' && marker.back() == '>') {
        if (EqualsLowered(marker, "<dir>")) {
            entry.Kind = dkDirectory;
        } else if (EqualsLowered(marker, "<junction>") || StartsWithLowered(marker, "<symlink")) {
            entry.Kind = dkLink;  // leads elsewhere, maybe back up: neither counted nor entered
        } else {
            return false;
        }
    } else if (const auto size = GroupedSize(marker)) {
        entry.Size = *size;
    } else {
        return false;
    }
    entry.Name = words.RestAfter(field);
    return !entry.Name.empty();
}

}  // namespace zn::listing
