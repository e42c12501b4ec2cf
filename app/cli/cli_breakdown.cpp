// SPDX-License-Identifier: MIT
// The directories of a walk's tree, largest first.
#include "app/cli/cli_breakdown.h"

#include "app/cli/cli_report.h"

#include <algorithm>

namespace cli {

std::vector<DuLine> DuBySize(const zn::WalkTree& tree, int maxDepth) {
    std::vector<int> depth(static_cast<std::size_t>(tree.DirectoryCount()), 0);
    std::vector<DuLine> lines;
    for (int dir = 0; dir < tree.DirectoryCount(); ++dir) {
        if (dir > 0) depth[static_cast<std::size_t>(dir)] = depth[static_cast<std::size_t>(tree.Parent(dir))] + 1;
        if (maxDepth >= 0 && depth[static_cast<std::size_t>(dir)] > maxDepth) continue;
        lines.push_back({tree.Path(dir), depth[static_cast<std::size_t>(dir)], tree.TotalBytes(dir)});
    }
    std::stable_sort(lines.begin(), lines.end(), [](const DuLine& a, const DuLine& b) { return a.bytes > b.bytes; });
    return lines;
}

}  // namespace cli
