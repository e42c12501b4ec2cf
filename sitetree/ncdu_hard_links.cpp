// SPDX-License-Identifier: MIT
#include "sitetree/ncdu_hard_links.h"

#include <algorithm>

namespace zn {

void HardLinks::Link(WalkTree& tree, const std::vector<int>& open, std::uint64_t device, std::uint64_t inode,
                     std::int64_t size, bool file) {
    const auto [at, first] = previous_.try_emplace({device, inode}, Previous{open.back(), size, file});
    if (first) return;
    Previous& previous = at->second;
    // Links that disagree on the size or the kind are not one file.
    if (previous.size != size || previous.file != file) return;
    // Directories are numbered as they come, so along the open ones the
    // numbers grow; those up to the previous link's directory were open
    // then, and hold it. The deepest of them holds both links. A search,
    // not a climb: an export can be 100,000 levels deep.
    const int both = *(std::upper_bound(open.begin(), open.end(), previous.dir) - 1);
    tree.CountedTwice(both, size, file ? 1 : 0);
    previous.dir = open.back();
}

}  // namespace zn
