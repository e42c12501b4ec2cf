// SPDX-License-Identifier: MIT
#pragma once

#include "sitetree/walk_tree.h"

#include <algorithm>
#include <string>
#include <vector>

namespace testsupport {

inline const char* KindName(zn::WalkTree::EntryKind kind) {
    switch (kind) {
        case zn::WalkTree::ekFile: return "file";
        case zn::WalkTree::ekLink: return "link";
        case zn::WalkTree::ekExcluded: return "excluded";
        case zn::WalkTree::ekRefused: return "refused";
    }
    return "?";
}

// One line per directory and per entry, sorted: walks may list in
// different orders and still see the same.
inline std::vector<std::string> Dump(zn::WalkTree& tree) {
    tree.Sum();
    std::vector<std::string> lines;
    for (int dir = 0; dir < tree.DirectoryCount(); ++dir) {
        const std::string under = tree.Path(dir).empty() ? "" : "/" + tree.Path(dir);
        lines.push_back("/" + tree.Path(dir) + (tree.IsListed(dir) ? "" : " unreadable") +
                        (tree.OwnSize(dir) > 0 ? " size " + std::to_string(tree.OwnSize(dir)) : "") + " own " +
                        std::to_string(tree.OwnBytes(dir)) + "/" + std::to_string(tree.OwnFiles(dir)) + " total " +
                        std::to_string(tree.TotalBytes(dir)) + "/" + std::to_string(tree.TotalFiles(dir)));
        for (auto e = tree.FirstEntry(dir); e != zn::WalkTree::kNone; e = tree.NextEntry(e)) {
            const auto entry = tree.EntryAt(e);
            lines.push_back(under + "/" + std::string(entry.Name) + " " + KindName(entry.Kind) + " " +
                            std::to_string(entry.Size));
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace testsupport
