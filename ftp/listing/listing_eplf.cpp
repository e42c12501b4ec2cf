// SPDX-License-Identifier: MIT
// EPLF listings: a "+", facts separated by commas, a tab and the name.
//
//   +i8388621.48594,m825718503,r,s280,up755	index.html
//   +i8388621.50690,m824255907,/,	cgi-bin
//
// "r" marks a file that can be fetched, "/" a directory that can be
// entered, "s" gives the size in bytes and "m" the time in seconds since
// 1970 (UTC). Facts this rule does not know are passed over.

#include "ftp/listing/listing_formats.h"

namespace zn::listing {
namespace {

struct EplfFacts {
    bool file = false;
    bool directory = false;
    std::optional<std::int64_t> size;
    std::optional<std::int64_t> seconds;
};

EplfFacts ReadFacts(std::string_view facts) {
    EplfFacts read;
    while (!facts.empty()) {
        const std::size_t end = facts.find(',');
        const std::string_view fact = facts.substr(0, end);
        if (fact == "r") read.file = true;
        if (fact == "/") read.directory = true;
        if (fact.size() > 1 && fact[0] == 's') read.size = ReadDigits(fact.substr(1));
        if (fact.size() > 1 && fact[0] == 'm') read.seconds = ReadDigits(fact.substr(1));
        if (end == std::string_view::npos) break;
        facts.remove_prefix(end + 1);
    }
    return read;
}

}  // namespace

bool HasEplfForm(std::string_view line) {
    const std::size_t tab = line.find('\t');
    return line.size() > 2 && line[0] == '+' && tab != std::string_view::npos && tab + 1 < line.size() &&
           line.substr(0, tab).find(' ') == std::string_view::npos;
}

bool ParseEplfLine(const std::string& line, TznFTPDirEntry& entry) {
    if (!HasEplfForm(line)) return false;
    const std::size_t tab = line.find('\t');
    const std::string_view name = std::string_view(line).substr(tab + 1);
    const EplfFacts facts = ReadFacts(std::string_view(line).substr(1, tab - 1));
    if (facts.directory) {
        entry.Kind = dkDirectory;
    } else if (facts.file && facts.size) {
        entry.Kind = dkFile;
        entry.Size = *facts.size;
    } else {
        // A file without its size, or an entry that is neither: not counted.
        return KeepAsUnread(line, name, entry);
    }
    entry.Name = name;
    platform::TDateTime epoch = 0;
    if (facts.seconds && platform::TryEncodeDate(1970, 1, 1, epoch)) {
        entry.DateTime = epoch + static_cast<double>(*facts.seconds) / 86400.0;
    }
    return true;
}

}  // namespace zn::listing
