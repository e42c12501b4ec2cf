// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/listing/dir_list.h"

// The rule of each listing family. Each fills the entry from one line and
// returns false when the line does not have the shape of its family: such a
// line is counted as unreadable rather than read as something it is not.
// A line of the family's shape that does not give its size in bytes is
// left unread too, but keeps its name (KeepAsUnread).
namespace zn::listing {

bool ParseUnixLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseDosLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseHP3000Line(const std::string& line, TznFTPDirEntry& entry);
bool ParseAS400Line(const std::string& line, TznFTPDirEntry& entry);
bool ParseMachineLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseEplfLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseOs2Line(const std::string& line, TznFTPDirEntry& entry);
bool ParseVShellLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseNumericUnixLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseHP3000NamesLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseVmsLine(const std::string& line, TznFTPDirEntry& entry);

// A line of the family's shape whose size cannot be known exactly: it stays
// unread (dkUnknown, the raw line, size -1) and keeps `name`, a view into
// `line`. Returns true: the line was read as far as it can be.
bool KeepAsUnread(const std::string& line, std::string_view name, TznFTPDirEntry& entry);

// What each family's first line looks like, for detection.
bool HasUnixEntryForm(std::string_view line);
bool StartsWithDosDate(std::string_view line);
bool HasAS400TypeWord(std::string_view line);
bool HasEplfForm(std::string_view line);
bool HasOs2Form(std::string_view line);
bool HasVShellForm(std::string_view line);
bool HasNumericUnixForm(std::string_view line);
bool IsHP3000NamesHeading(std::string_view line);
bool HasVmsForm(std::string_view line);
// A VMS name too long for its column stands alone; its facts follow.
bool IsVmsLoneName(std::string_view line);
// The "Directory DISK:[DIR]" heading and the "Total of ..." lines.
bool IsVmsHeadingOrTotal(std::string_view line);

// A size column with 64-bit range; `fallback` when it is not a number.
std::int64_t ReadSize(std::string_view text, std::int64_t fallback);

// A size written in decimal digits only, nothing else; none when the text is
// anything else or beyond 64 bits. "+12" and "$10" are not sizes.
std::optional<std::int64_t> ReadDigits(std::string_view text);

// Position (from 1) of the last blank, 0 when there is none.
std::size_t LastSpace(std::string_view text);

// True when the text starts with `prefix`, comparing A-Z without case.
bool StartsWithLowered(std::string_view text, std::string_view lowerPrefix);

// True when the texts are equal, comparing A-Z without case.
bool EqualsLowered(std::string_view text, std::string_view lower);

// The first few blank-separated words of a line, as views into it, without
// copying: the families that find their columns by shape look at no more.
// Only the blank separates words; a run of blanks is one separator.
class LineWords {
public:
    static constexpr std::size_t kMax = 16;

    explicit LineWords(std::string_view line);
    std::size_t Count() const { return count_; }
    // An empty view past the last word.
    std::string_view operator[](std::size_t i) const { return i < count_ ? words_[i] : std::string_view(); }
    // Everything after word i and the blanks that follow it.
    std::string_view RestAfter(std::size_t i) const;
    // Everything after word i and exactly one blank.
    std::string_view RestAfterOneBlank(std::size_t i) const;

private:
    std::string_view line_;
    std::array<std::string_view, kMax> words_{};
    std::size_t count_ = 0;
};

}  // namespace zn::listing
