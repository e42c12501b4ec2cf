// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sitetree/walk_tree.h"

namespace zn {

// What changed between two walks of a site (or any two exports): the
// directories whose totals changed, largest change first, and the files
// that came, went or grew. Paths are below the start directory ("" is the
// start directory itself), so two walks compare whatever their root names.
struct PathChange {
    std::string path;
    std::int64_t oldBytes = 0;  // 0 where it did not exist
    std::int64_t newBytes = 0;
    // Not in the older walk, or not in the newer: a size of 0 there does
    // not tell a directory that came or went from an empty one.
    bool added = false;
    bool removed = false;
    std::int64_t Change() const { return newBytes - oldBytes; }
};

struct WalkComparison {
    std::int64_t oldBytes = 0, newBytes = 0;
    std::int64_t oldFiles = 0, newFiles = 0;
    std::vector<PathChange> directories;   // every changed one, by the size of the change
    std::vector<PathChange> addedFiles;    // largest first
    std::vector<PathChange> removedFiles;  // largest first
    std::vector<PathChange> grownFiles;    // the most grown first
};

// Both trees summed. At most `fileCount` files in each list.
WalkComparison CompareWalks(const WalkTree& older, const WalkTree& newer, int fileCount);

// A change for people: "+1.50 KiB", "-512 B", "0 B".
std::string SignedHumanSize(std::int64_t change);

}  // namespace zn
