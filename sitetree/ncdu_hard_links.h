// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "sitetree/walk_tree.h"

namespace zn {

// ncdu counts a file with several hard links once in each directory that
// holds one or more of its links below it, however many: a directory's
// size is that of the distinct files below it. Its export marks such a
// link (hlnkc) with its inode (ino) and device (dev, inherited from the
// directory above where it is left out).
//
// Each link is counted as a file; each further link of one file is then
// taken off once in the deepest directory that holds it and the link
// before it. The links in any directory's part of an export come one
// after another, so what is left in each directory is one count per file.
class HardLinks {
public:
    // A link of `size` bytes in the innermost of the directories now open
    // (`open`, the root first); `file`: a file rather than another kind.
    void Link(WalkTree& tree, const std::vector<int>& open, std::uint64_t device, std::uint64_t inode,
              std::int64_t size, bool file);

private:
    struct Inode {
        std::uint64_t device, inode;
        bool operator==(const Inode&) const = default;
    };
    struct InodeHash {
        std::size_t operator()(const Inode& key) const {
            return std::hash<std::uint64_t>()(key.inode * 31 + key.device);
        }
    };
    struct Previous {
        int dir;
        std::int64_t size;
        bool file;
    };
    std::unordered_map<Inode, Previous, InodeHash> previous_;
};

}  // namespace zn
