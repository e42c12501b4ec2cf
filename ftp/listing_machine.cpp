// SPDX-License-Identifier: MIT
// Machine listings (RFC 3659, MLSD): "fact=value;fact=value; name", one
// entry per line, with exact types and sizes, whatever the server's own
// listing looks like.

#include "ftp/listing_formats.h"

namespace zn::listing {
namespace {

// The value of `fact` (named without case) in "a=1;b=2;", or nothing.
std::string_view FactValue(std::string_view facts, std::string_view fact) {
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view item = facts.substr(0, end);
        const std::size_t equals = item.find('=');
        if (equals == fact.size() && StartsWithLowered(item, fact)) return item.substr(equals + 1);
        if (end == std::string_view::npos) break;
        facts.remove_prefix(end + 1);
    }
    return {};
}

}  // namespace

bool ParseMachineLine(const std::string& line, TznFTPDirEntry& entry) {
    // The facts hold no blank; the name, after the first blank (a space, or
    // a tab from some servers), may.
    const std::size_t space = line.find_first_of(" \t");
    if (space == std::string::npos || space + 1 == line.size()) return false;
    const std::string_view facts = std::string_view(line).substr(0, space);
    const std::string_view type = FactValue(facts, "type");
    entry.Name = line.substr(space + 1);
    if (EqualsLowered(type, "file")) {
        // A size is decimal digits and nothing else (RFC 3659); a file of
        // unknown size must not pass for an empty one.
        const auto size = ReadDigits(FactValue(facts, "size"));
        if (!size) return false;
        entry.Kind = dkFile;
        entry.Size = *size;
        return true;
    }
    if (EqualsLowered(type, "dir")) {
        entry.Kind = dkDirectory;
    } else if (EqualsLowered(type, "cdir") || EqualsLowered(type, "pdir")) {
        // The directory itself and its parent, whatever name they are given.
        entry.Kind = dkDirectory;
        entry.Name = type.front() == 'c' || type.front() == 'C' ? "." : "..";
    } else if (StartsWithLowered(type, "os.")) {
        entry.Kind = dkLink;  // a link or a device: neither a file nor a directory of the site
    } else {
        return false;
    }
    return true;
}

}  // namespace zn::listing
