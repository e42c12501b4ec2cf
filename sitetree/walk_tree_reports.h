// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sitetree/walk_tree.h"

namespace zn {

// Where the space goes, read from a summed tree: the command line's
// reports and the window's tabs are the same.
struct SizedPath {
    std::string path;
    std::int64_t bytes;
    std::int64_t files;  // in a directory and below; 1 for a file
};
struct ExtensionShare {
    std::string extension;  // lower case, without the dot; "" for none
    std::int64_t bytes;
    std::int64_t files;
};

// The `count` largest directories by total, the start directory left out,
// and the `count` largest files; ties in the order the walk saw them. The tree is summed.
std::vector<SizedPath> LargestDirectories(const WalkTree& tree, int count);
std::vector<SizedPath> LargestFiles(const WalkTree& tree, int count);
// A file name's extension, lower case, without the dot; "" for none.
std::string ExtensionOf(std::string_view name);
// Bytes and files per extension, largest first.
std::vector<ExtensionShare> ByExtension(const WalkTree& tree);

}  // namespace zn
