// SPDX-License-Identifier: MIT
// The directories of a walk's tree, largest first.
#include "app/cli/cli_breakdown.h"

#include "app/cli/cli_report.h"
#include "sitetree/walk_tree_paths.h"

#include <algorithm>

namespace cli {

std::vector<DuLine> DuBySize(const zn::WalkTree& tree, int maxDepth) {
    std::vector<std::pair<int, DuLine>> lines;  // with its directory, for the order of equal sizes
    zn::VisitDirectories(tree, [&](int dir, int depth, const std::string& path) {
        if (maxDepth < 0 || depth <= maxDepth) lines.push_back({dir, {path, depth, tree.TotalBytes(dir)}});
    });
    std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
        return a.second.bytes != b.second.bytes ? a.second.bytes > b.second.bytes : a.first < b.first;
    });
    std::vector<DuLine> sorted;
    sorted.reserve(lines.size());
    for (auto& line : lines) sorted.push_back(std::move(line.second));
    return sorted;
}

}  // namespace cli
