// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sitetree/ncdu_export.h"
#include "sitetree/walk_tree.h"

namespace zn {

// The text of an export (ncdu_export.h), item by item in its depth-first
// order: the head (the metadata and the root's own line), a directory's
// own line, an entry, the end of a directory, and the tail. A copy goes on
// from where the original stood, so a big export can be cut into parts
// whose text is made side by side: the one who cuts only passes over the
// items, which costs a fraction of writing them.
class NcduTextCursor {
public:
    // Both must outlive the cursor and its copies.
    NcduTextCursor(const WalkTree& tree, const NcduMetadata& metadata) : tree_(&tree), metadata_(&metadata) {}

    bool AtEnd() const { return ended_; }
    // Appends the text of the next `items` items, or of those left.
    void Write(std::string& out, std::int64_t items);
    // Passes over the items whose text would take about `bytes` (guessed
    // from their names, without writing them), at least one: how many.
    std::int64_t Skip(std::size_t bytes);

private:
    // One item, appended to `out` unless it is null: the bytes it takes,
    // about.
    std::size_t Step(std::string* out);
    std::size_t OpenDirectory(int dir, std::string* out);

    const WalkTree* tree_;
    const NcduMetadata* metadata_;
    // The innermost open directory (kNone once the root is closed) and the
    // next of its children to write; the directories above it are open
    // too, each at the child on the way down, so a cursor is the same few
    // bytes however deep the tree, and a copy costs nothing.
    int dir_ = WalkTree::kNone;
    int child_ = WalkTree::kNone;
    // Its next entry: a directory's entries come before its children.
    std::int64_t entry_ = WalkTree::kNone;
    bool started_ = false;
    bool ended_ = false;
};

}  // namespace zn
