// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sitetree/walk_tree.h"

namespace zn {

// Calls `visit` for every directory of the tree after everything below it
// (children in the order they were added, as a walk reports them), with
// its depth and its path below the root: "a/b", "" for the root.
//
// An export can be 100,000 levels deep: each path is built from its
// parent's in one buffer, so memory follows the deepest path rather than
// all of them, and nothing recurses per level.
void VisitDirectories(const WalkTree& tree,
                      const std::function<void(int dir, int depth, const std::string& path)>& visit);

// `path` and then `name` below it.
std::string PathBelow(const std::string& path, std::string_view name);

// The directory of each of a few entries. An entry does not know its
// directory, so the directories are gone through once.
std::unordered_map<std::int64_t, int> DirectoriesOf(const WalkTree& tree, const std::vector<std::int64_t>& entries);
// The paths of a few entries, in their order: "a/b/name".
std::vector<std::string> EntryPaths(const WalkTree& tree, const std::vector<std::int64_t>& entries);

}  // namespace zn
