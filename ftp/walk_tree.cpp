// SPDX-License-Identifier: MIT
#include "ftp/walk_tree.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zn {
namespace {

// Large enough that a million names need few blocks, small enough that a
// walk of a small site does not reserve much.
constexpr std::size_t kBlockSize = std::size_t{256} * 1024;

}  // namespace

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

WalkTree::WalkTree(std::string_view rootName) {
    dirs_.push_back(Dir{});
    dirs_.back().name = Store(rootName);
}

WalkTree::NameRef WalkTree::Store(std::string_view name) {
    if (name.empty()) return {};
    if (blocks_.empty() || blockUsed_ + name.size() > blockSize_) {
        // A name longer than a block gets a block of its own.
        blockSize_ = std::max(kBlockSize, name.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
        blockUsed_ = 0;
    }
    std::memcpy(blocks_.back().get() + blockUsed_, name.data(), name.size());
    const NameRef ref{static_cast<std::uint32_t>(blocks_.size() - 1), static_cast<std::uint32_t>(blockUsed_),
                      static_cast<std::uint32_t>(name.size())};
    blockUsed_ += name.size();
    return ref;
}

std::string_view WalkTree::NameOf(const NameRef& ref) const {
    if (ref.length == 0) return {};
    return {blocks_[ref.block].get() + ref.offset, ref.length};
}

void WalkTree::Rename(int dir, std::string_view name) { dirs_[dir].name = Store(name); }

int WalkTree::AddDirectory(int parent, std::string_view name) {
    const int index = static_cast<int>(dirs_.size());
    Dir dir;
    dir.name = Store(name);
    dir.parent = parent;
    dirs_.push_back(dir);
    Dir& up = dirs_[parent];
    if (up.lastChild == kNone) {
        up.firstChild = index;
    } else {
        dirs_[up.lastChild].nextSibling = index;
    }
    up.lastChild = index;
    return index;
}

void WalkTree::AddEntry(int dir, EntryKind kind, std::string_view name, std::int64_t size) {
    const std::int64_t index = static_cast<std::int64_t>(entries_.size());
    entries_.push_back(Record{size, Store(name), dir, kNone, kind});
    Dir& owner = dirs_[dir];
    if (owner.lastEntry == kNone) {
        owner.firstEntry = index;
    } else {
        // Masked to the field's width: more entries than 2^55 cannot be held.
        entries_[owner.lastEntry].next = index & ((std::int64_t{1} << 55) - 1);
    }
    owner.lastEntry = index;
    // A link's size counts where an import gives one, as the disk-usage
    // tool that wrote it counted it; a walk keeps links at 0.
    if (kind == ekFile || kind == ekLink)
        owner.ownBytes = SaturatingAdd(owner.ownBytes, std::max<std::int64_t>(size, 0));
    if (kind == ekFile) ++owner.ownFiles;
}

WalkTree::Entry WalkTree::EntryAt(std::int64_t entry) const {
    const Record& record = entries_[entry];
    return {static_cast<EntryKind>(record.kind), NameOf(record.name), record.size};
}

void WalkTree::Sum() {
    for (std::int64_t i = 0; i < dirs_.size(); ++i) {
        Dir& dir = dirs_[i];
        dir.totalBytes = SaturatingAdd(dir.ownBytes, dir.size);
        dir.totalFiles = dir.ownFiles;
    }
    for (int i = DirectoryCount() - 1; i > 0; --i) {
        Dir& parent = dirs_[dirs_[i].parent];
        parent.totalBytes = SaturatingAdd(parent.totalBytes, dirs_[i].totalBytes);
        parent.totalFiles = SaturatingAdd(parent.totalFiles, dirs_[i].totalFiles);
    }
}

std::string WalkTree::Path(int dir) const {
    std::vector<std::string_view> parts;
    for (int at = dir; at > kRoot; at = dirs_[at].parent) parts.push_back(Name(at));
    std::reverse(parts.begin(), parts.end());
    std::string path;
    for (const std::string_view part : parts) {
        if (!path.empty()) path += '/';
        path += part;
    }
    return path;
}

}  // namespace zn
