// SPDX-License-Identifier: MIT
// Machine listings (RFC 3659, MLSD): "fact=value;fact=value; name", one
// entry per line, with exact types and sizes, whatever the server's own
// listing looks like.

#include "ftp/listing/listing_formats.h"

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

// A line of no known type, or a file of no known size: unread, with the
// name it gives. Its size stays 0, as that of any unread machine line.
bool Unread(const std::string& line, std::string_view name, TznFTPDirEntry& entry) {
    KeepAsUnread(line, name, entry);
    entry.Size = 0;
    return true;
}

}  // namespace

bool ParseMachineLine(const std::string& line, TznFTPDirEntry& entry) {
    // The facts hold no blank; exactly one blank (a space, or a tab from
    // some servers) ends them, and the name is everything after it, blanks
    // and tabs included. A line may have no facts (it starts with the
    // blank), a fact may have no value ("type=;"), the last ";" may be
    // missing: all that tells nothing more about the entry.
    const std::size_t space = line.find_first_of(" \t");
    if (space == std::string::npos || space + 1 == line.size()) return false;
    const std::string_view facts = std::string_view(line).substr(0, space);
    const std::string_view type = FactValue(facts, "type");
    const std::string_view name = std::string_view(line).substr(space + 1);
    entry.Name = name;
    if (EqualsLowered(type, "file")) {
        // A size is decimal digits and nothing else (RFC 3659); a file of
        // unknown size must not pass for an empty one.
        const auto size = ReadDigits(FactValue(facts, "size"));
        if (!size) return Unread(line, name, entry);
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
        return Unread(line, name, entry);
    }
    return true;
}

}  // namespace zn::listing
