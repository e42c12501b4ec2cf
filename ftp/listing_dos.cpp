// SPDX-License-Identifier: MIT
// DOS-style listings of Windows servers:
//
//   03-07-99  02:05PM                10240 index.html
//   03-07-99  02:05PM       <DIR>          cgi-bin
//   03-07-99  02:05PM                10240 my page.html   (name read as "page.html")

#include "ftp/listing_formats.h"

#include "net/text_helpers.h"

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
    bool Number(int& value) {
        SkipBlanks();
        std::size_t start = pos_;
        value = 0;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])) && pos_ - start < 4) {
            value = value * 10 + (text_[pos_++] - '0');
        }
        return pos_ > start && !(pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_])));
    }
    bool Separator(char c) {
        if (!At(c)) return false;
        ++pos_;
        return true;
    }
    bool ScanDate(int& month, int& day, int& year) {
        if (!Number(month) || !Separator('-') || !Number(day)) return false;
        const platform::LocalDateTime today = platform::NowLocal();
        year = today.year;
        std::size_t save = pos_;
        if (Separator('-')) {
            int y = 0;
            if (Number(y)) {
                year = y <= 99 ? today.year / 100 * 100 + y : y;
            } else {
                pos_ = save;  // the "-" after the date is skipped by the caller
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

bool ParseDosLine(const std::string& line, TznFTPDirEntry& entry) {
    // A date this rule cannot read leaves DateTime 0; the line still counts.
    const std::string dateText = ExtractField(line, 0, true) + ' ' + ExtractField(line, 1, true);
    if (!DosDateScanner(dateText).Scan(entry.DateTime)) entry.DateTime = 0;

    std::string lowered = line;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    entry.Kind = lowered.find("<dir>") != std::string::npos ? dkDirectory : dkFile;

    const std::size_t p = LastSpace(line);
    if (p == 0) return true;
    entry.Name = line.substr(p);
    const std::string_view before = TrimControl(std::string_view(line).substr(0, p - 1));
    const std::size_t q = LastSpace(before);
    entry.Size = ReadSize(before.substr(q), 0);
    return true;
}

}  // namespace zn::listing
