// SPDX-License-Identifier: MIT
#include "ftp/dir_list.h"
#include "ftp/listing_formats.h"

#include "net/text_helpers.h"
#include "platform/str_to_int.h"

namespace zn {
namespace listing {

std::int64_t ReadSize(std::string_view text, std::int64_t fallback) {
    return platform::StrToInt64(text).value_or(fallback);
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

namespace {

// "-rw-r--r--" and its kin: a type character and nine permission characters.
// Such a line is Unix whatever else it holds (a file named CLASSPATH.txt
// must not make the listing look like HP3000's).
bool HasUnixEntryForm(std::string_view line) {
    if (line.size() < 10 || std::string_view("-dlbcps").find(line[0]) == std::string_view::npos) return false;
    for (std::size_t i = 1; i < 10; ++i) {
        if (std::string_view("rwxsStT-").find(line[i]) == std::string_view::npos) return false;
    }
    return true;
}

bool IsAS400Header(std::string_view line) {
    if (line.size() >= 44) {
        std::string_view type = line.substr(40, 4);
        if (type == "*FLR" || type == "*DOC" || type == "*DIR" || type == "*LIB") return true;
    }
    return line.size() >= 45 && line.substr(40, 5) == "*DDIR";
}

bool IsHP3000Header(std::string_view line) { return line.find("PATH") != std::string_view::npos; }

// The first line after an HP3000 header: "D" or "F" in column 16.
bool IsHP3000Entry(std::string_view line) { return line.size() > 16 && (line[15] == 'D' || line[15] == 'F'); }

bool IsBlank(std::string_view line) { return TrimControl(line).empty(); }

TServerType DetectFamily(std::string_view first) {
    if (!first.empty() && first[0] >= '0' && first[0] <= '9') return stDos;
    if (HasUnixEntryForm(first)) return stUnix;
    if (IsHP3000Header(first)) return stHP3000;
    if (IsAS400Header(first)) return stAS400;
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
    ended_ = true;
}

// Blank lines at the end of a listing are not entries; blank lines between
// entries are. So a blank line waits until something else follows.
void ListingReader::TakeLine(std::string line) {
    if (listing::IsBlank(line)) {
        heldBlanks_.push_back(std::move(line));
        return;
    }
    for (std::string& blank : heldBlanks_) Process(std::move(blank));
    heldBlanks_.clear();
    Process(std::move(line));
}

void ListingReader::Process(std::string line) {
    if (machine_) {
        list_.ParseMachineLine(line);
        return;
    }
    switch (stage_) {
        case Stage::FirstLine: return ProcessFirstLine(std::move(line));
        case Stage::HP3000Header: return SkipHP3000Header(std::move(line));
        case Stage::Entries: list_.ParseLine(line); return;
    }
}

// The first line decides the family when it is still open ("total" always
// means Unix). An HP3000 header is dropped from every listing that starts
// with one, not only from the one the family was detected in, so that its
// lines never pass for entries; the listing AS/400 is detected in gets an
// empty first entry.
void ListingReader::ProcessFirstLine(std::string line) {
    stage_ = Stage::Entries;
    if (listing::StartsWithLowered(line, "total")) {
        list_.ServerType = stUnix;
        return;
    }
    const bool detected = list_.ServerType == stAuto;
    if (detected) list_.ServerType = listing::DetectFamily(line);
    if (list_.ServerType == stHP3000 && listing::IsHP3000Header(line)) {
        stage_ = Stage::HP3000Header;
        return;
    }
    if (detected && list_.ServerType == stAS400) list_.ParseLine(std::string());
    list_.ParseLine(line);
}

// Drops every header line up to the first entry; an empty entry then stands
// for the parent ("..").
void ListingReader::SkipHP3000Header(std::string line) {
    if (!listing::IsHP3000Entry(line)) return;
    stage_ = Stage::Entries;
    list_.ParseLine(std::string());
    list_.ParseLine(line);
}

void ParseListing(std::string_view listing, TznFTPDirList& list) {
    ListingReader reader(list);
    reader.Feed(listing);
    reader.Finish();
}

}  // namespace zn
