// SPDX-License-Identifier: MIT
#include "ftp/listing/dir_list.h"
#include "ftp/listing/listing_formats.h"

#include "net/core/text_helpers.h"
#include "platform/str_to_int.h"

#include <algorithm>
#include <cstdint>

namespace zn {
namespace listing {

std::int64_t ReadSize(std::string_view text, std::int64_t fallback) {
    return platform::StrToInt64(text).value_or(fallback);
}

std::optional<std::int64_t> ReadDigits(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value > (INT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

bool KeepAsUnread(const std::string& line, std::string_view name, TznFTPDirEntry& entry) {
    entry = TznFTPDirEntry{};
    entry.Name = line;
    entry.Size = -1;
    const bool inLine = name.data() >= line.data() && name.data() + name.size() <= line.data() + line.size();
    const auto from = inLine ? static_cast<std::size_t>(name.data() - line.data()) : 0;
    if (inLine && !name.empty() && from + name.size() <= UINT16_MAX) {
        entry.NameFrom = static_cast<std::uint16_t>(from);
        entry.NameLength = static_cast<std::uint16_t>(name.size());
    }
    return true;
}

std::size_t LastSpace(std::string_view text) {
    std::size_t at = text.rfind(' ');
    return at == std::string_view::npos ? 0 : at + 1;
}

bool StartsWithLowered(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != lowerPrefix[i]) return false;
    }
    return true;
}

bool EqualsLowered(std::string_view text, std::string_view lower) {
    return text.size() == lower.size() && StartsWithLowered(text, lower);
}

LineWords::LineWords(std::string_view line) : line_(line) {
    std::size_t at = 0;
    while (count_ < kMax) {
        while (at < line.size() && line[at] == ' ') ++at;
        if (at == line.size()) break;
        const std::size_t end = std::min(line.find(' ', at), line.size());
        words_[count_++] = line.substr(at, end - at);
        at = end;
    }
}

std::string_view LineWords::RestAfter(std::size_t i) const {
    if (i >= count_) return {};
    std::size_t at = static_cast<std::size_t>(words_[i].data() - line_.data()) + words_[i].size();
    while (at < line_.size() && line_[at] == ' ') ++at;
    return line_.substr(at);
}

std::string_view LineWords::RestAfterOneBlank(std::size_t i) const {
    if (i >= count_) return {};
    const std::size_t at = static_cast<std::size_t>(words_[i].data() - line_.data()) + words_[i].size();
    return at < line_.size() ? line_.substr(at + 1) : std::string_view();
}

namespace {

// An AS/400 listing laid out by columns: the object type in columns 41 to 45.
bool IsAS400ColumnMarker(std::string_view line) {
    if (line.size() >= 44) {
        std::string_view type = line.substr(40, 4);
        if (type == "*FLR" || type == "*DOC" || type == "*DIR" || type == "*LIB") return true;
    }
    return line.size() >= 45 && line.substr(40, 5) == "*DDIR";
}

bool MentionsPath(std::string_view line) { return line.find("PATH") != std::string_view::npos; }

// The first line after an HP3000 header: "D" or "F" in column 16.
bool IsHP3000Entry(std::string_view line) { return line.size() > 16 && (line[15] == 'D' || line[15] == 'F'); }

bool IsBlank(std::string_view line) { return TrimControl(line).empty(); }

// The lines an HP3000 listing starts with: the "PATH=" line, the column
// headings and blank lines. Headings hold no digit; every entry holds its
// sizes, or has its kind in column 16.
bool IsHP3000Heading(std::string_view line) {
    if (TrimControl(line).substr(0, 5) == "PATH=") return true;
    if (IsHP3000Entry(line)) return false;
    return line.find_first_of("0123456789") == std::string_view::npos;
}

// The family of a listing, from its first line: by the shape of a Unix
// entry, an EPLF or VMS line, a DOS date, an AS/400 object type, an HP3000
// header, the columns of OS/2, VShell or an octal mode; a digit in front
// still means DOS, anything else Unix, whose rule then counts the lines it
// cannot read. Each shape holds something no line of the others does.
TServerType DetectFamily(std::string_view first) {
    if (HasUnixEntryForm(first)) return stUnix;
    if (HasEplfForm(first)) return stEplf;
    if (HasVmsForm(first)) return stVms;
    if (StartsWithDosDate(first)) return stDos;
    if (HasAS400TypeWord(first) || IsAS400ColumnMarker(first)) return stAS400;
    if (IsHP3000NamesHeading(first)) return stHP3000Names;
    if (MentionsPath(first)) return stHP3000;
    if (HasOs2Form(first)) return stOs2;
    if (HasVShellForm(first)) return stVShell;
    if (HasNumericUnixForm(first)) return stNumericUnix;
    if (!first.empty() && first[0] >= '0' && first[0] <= '9') return stDos;
    return stUnix;
}

}  // namespace
}  // namespace listing

ListingReader::ListingReader(TznFTPDirList& list, bool machineListing) : list_(list), machine_(machineListing) {
    list_.Clear();
}

// Lines end at CR, LF or CR LF, also when a chunk ends between the CR and
// the LF; a NUL ends the whole listing.
void ListingReader::Feed(std::string_view bytes) {
    while (!ended_ && !bytes.empty()) {
        if (afterCr_ && bytes.front() == '\n') bytes.remove_prefix(1);
        afterCr_ = false;
        const std::size_t end = bytes.find_first_of(std::string_view("\r\n\0", 3));
        if (end == std::string_view::npos) {
            partial_.append(bytes);
            return;
        }
        partial_.append(bytes.substr(0, end));
        ended_ = bytes[end] == '\0';
        afterCr_ = bytes[end] == '\r';
        bytes.remove_prefix(end + 1);
        TakeLine(std::move(partial_));
        partial_.clear();
    }
}

void ListingReader::Finish() {
    if (!partial_.empty()) TakeLine(std::move(partial_));
    partial_.clear();
    if (!heldName_.empty()) list_.ParseLine(heldName_);
    heldName_.clear();
    ended_ = true;
}

// Blank lines at the end of a listing are not entries; blank lines between
// entries are. So a blank line waits until something else follows.
void ListingReader::TakeLine(std::string line) {
    if (listing::IsBlank(line)) {
        heldBlanks_.push_back(std::move(line));
        return;
    }
    for (const std::string& blank : heldBlanks_) Process(blank);
    heldBlanks_.clear();
    Process(line);
}

void ListingReader::Process(const std::string& line) {
    if (machine_) {
        list_.ParseMachineLine(line);
        return;
    }
    switch (stage_) {
        case Stage::FirstLine: return ProcessFirstLine(line);
        case Stage::HP3000Header: return SkipHP3000Header(line);
        case Stage::Entries: return ProcessEntry(line);
    }
}

// VMS writes a heading and totals around its entries, and a name too long
// for its column on a line of its own, its facts on the next.
void ListingReader::ProcessEntry(const std::string& line) {
    if (list_.ServerType != stVms) {
        list_.ParseLine(line);
        return;
    }
    if (listing::IsBlank(line) || listing::IsVmsHeadingOrTotal(line)) return;
    if (!heldName_.empty()) {
        std::string joined = std::move(heldName_);
        heldName_.clear();
        if (!listing::IsVmsLoneName(line)) {
            list_.ParseLine(joined + ' ' + line);
            return;
        }
        list_.ParseLine(joined);
    }
    if (listing::IsVmsLoneName(line)) {
        heldName_ = line;
        return;
    }
    list_.ParseLine(line);
}

// The first line decides the family when it is still open ("total" always
// means Unix). An HP3000 header is dropped from every listing that starts
// with one, not only from the one the family was detected in, so that its
// lines never pass for entries; the listing AS/400 is detected in gets an
// empty first entry.
void ListingReader::ProcessFirstLine(const std::string& line) {
    stage_ = Stage::Entries;
    if (listing::StartsWithLowered(line, "total")) {
        list_.ServerType = stUnix;
        return;
    }
    const bool detected = list_.ServerType == stAuto;
    if (detected) list_.ServerType = listing::DetectFamily(line);
    const bool hp3000 = list_.ServerType == stHP3000 || list_.ServerType == stHP3000Names;
    if (hp3000 && listing::IsHP3000Heading(line)) {
        stage_ = Stage::HP3000Header;
        return;
    }
    if (detected && list_.ServerType == stAS400) list_.ParseLine(std::string());
    ProcessEntry(line);
}

// Drops the header lines up to the first entry, and nothing else: a listing
// whose entries are not laid out by columns keeps them. An empty entry then
// stands for the parent ("..").
void ListingReader::SkipHP3000Header(const std::string& line) {
    if (listing::IsHP3000Heading(line)) return;
    stage_ = Stage::Entries;
    if (list_.ServerType == stHP3000) list_.ParseLine(std::string());
    list_.ParseLine(line);
}

void ParseListing(std::string_view listing, TznFTPDirList& list) {
    ListingReader reader(list);
    reader.Feed(listing);
    reader.Finish();
}

}  // namespace zn
