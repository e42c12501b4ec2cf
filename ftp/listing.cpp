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

// A line ends at CR, LF or CR LF; a NUL ends the whole text.
std::vector<std::string> SplitLines(std::string_view text) {
    if (std::size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
    }
    return lines;
}

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

// Drops the HP3000 header: every line up to the first that has "D" or "F"
// in column 16; a ".." entry then stands for the parent.
void RemoveHP3000Header(std::vector<std::string>& lines) {
    std::size_t first = 1;
    while (first < lines.size() && (lines[first].size() <= 16 || (lines[first][15] != 'D' && lines[first][15] != 'F'))) {
        ++first;
    }
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(first));
    if (!lines.empty()) lines.insert(lines.begin(), std::string());
}

TServerType DetectFamily(std::vector<std::string>& lines) {
    const std::string& first = lines.front();
    if (!first.empty() && first[0] >= '0' && first[0] <= '9') return stDos;
    if (HasUnixEntryForm(first)) return stUnix;
    if (first.find("PATH") != std::string::npos) {
        RemoveHP3000Header(lines);
        return stHP3000;
    }
    if (IsAS400Header(first)) {
        lines.insert(lines.begin(), std::string());
        return stAS400;
    }
    return stUnix;
}

}  // namespace
}  // namespace listing

void ParseListing(std::string_view listing, TznFTPDirList& list) {
    std::vector<std::string> lines = listing::SplitLines(listing);
    StripTrailingBlankLines(lines);
    list.Clear();
    if (lines.empty()) return;
    if (listing::StartsWithLowered(lines.front(), "total")) {
        lines.erase(lines.begin());
        list.ServerType = stUnix;
    } else if (list.ServerType == stAuto) {
        list.ServerType = listing::DetectFamily(lines);
    }
    for (const std::string& line : lines) list.ParseLine(line);
}

}  // namespace zn
