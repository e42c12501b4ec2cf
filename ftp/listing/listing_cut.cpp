// SPDX-License-Identifier: MIT
#include "ftp/listing/listing_cut.h"

#include "net/core/text_helpers.h"
#include "platform/str_to_int.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace zn {

std::string CutReason(const std::string& reply) {
    return LowerCase(reply).find("truncated") != std::string::npos ? reply : std::string();
}

int StatedCap(const std::string& reply) {
    const std::string lower = LowerCase(reply);
    const std::size_t at = lower.find("truncated to ");
    if (at == std::string::npos) return 0;
    const std::size_t from = at + 13;
    const std::size_t to = lower.find_first_not_of("0123456789", from);
    const auto cap = platform::StrToInt64(lower.substr(from, to == std::string::npos ? to : to - from));
    return cap && *cap > 0 && *cap <= 1000000000 ? static_cast<int>(*cap) : 0;
}

bool MayBeCut(int entries, int statedCap) {
    return (statedCap > 0 && entries == statedCap) || (entries >= 1000 && entries % 1000 == 0);
}

std::string CutMessage(const std::string& path, const std::string& reason) {
    return (path.empty() ? std::string("the start directory") : path) + ": the server listed only part of it (" +
           reason +
           "); the files it left out are not in the total. The server's owner can raise the server's "
           "limit on listings (pure-ftpd: its -L option)";
}

namespace {

// "." and ".." come first in either order; they are no part of the meeting.
bool IsDot(const TznFTPDirEntry& entry) { return entry.Name == "." || entry.Name == ".."; }

// Whether the names, dots aside, run strictly up (or strictly down).
bool InOrder(const TznFTPDirList& list, bool up) {
    const std::string* last = nullptr;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& name = list.Items(i).Name;
        if (IsDot(list.Items(i))) continue;
        if (last && (up ? !(*last < name) : !(name < *last))) return false;
        last = &name;
    }
    return last != nullptr;
}

const std::string& LastName(const TznFTPDirList& list) {
    for (int i = list.Count() - 1;; --i) {
        if (!IsDot(list.Items(i))) return list.Items(i).Name;
    }
}

}  // namespace

bool JoinFromBothEnds(TznFTPDirList& forward, TznFTPDirList& reverse) {
    if (!InOrder(forward, true) || !InOrder(reverse, false)) return false;
    // Forward runs up to its last name, reverse down to its last: they
    // meet when reverse reaches as low as forward reaches high.
    const std::string& highest = LastName(forward);
    if (highest < LastName(reverse)) return false;
    // Reverse's entries above forward's highest, lowest first, complete
    // it; those at or below it must all be forward's. A forward listing
    // that was cut leaves something above it: a server that cuts before it
    // sorts gives the same entries both ways, and nothing is above.
    std::vector<int> above;
    std::vector<std::string_view> names;
    for (int i = 0; i < forward.Count(); ++i) {
        if (!IsDot(forward.Items(i))) names.emplace_back(forward.Items(i).Name);
    }
    for (int i = 0; i < reverse.Count(); ++i) {
        const TznFTPDirEntry& entry = reverse.Items(i);
        if (IsDot(entry)) continue;
        if (highest < entry.Name) {
            above.push_back(i);
        } else if (!std::binary_search(names.begin(), names.end(), std::string_view(entry.Name))) {
            return false;
        }
    }
    if (above.empty()) return false;
    TznFTPDirList joined;
    joined.TakeEntries(forward);
    // Reverse lists them highest first.
    std::reverse(above.begin(), above.end());
    for (const int index : above) {
        auto entry = std::make_unique<TznFTPDirEntry>();
        *entry = reverse.Items(index);
        joined.Add(std::move(entry));
    }
    forward.TakeEntries(joined);
    return true;
}

}  // namespace zn
