// SPDX-License-Identifier: MIT
#include "sitetree/walk_tree.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace zn {
namespace {

// A name's length before its bytes, seven bits a byte.
std::size_t LengthBytes(std::size_t length) {
    std::size_t bytes = 1;
    for (; length >= 0x80; length >>= 7) ++bytes;
    return bytes;
}

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

// An entry's kind, its name's length and its bytes, from an even offset
// of a block; a name longer than a block gets a block of its own.
WalkTree::NameRef WalkTree::Store(std::string_view name, EntryKind kind) {
    const std::size_t need = 1 + LengthBytes(name.size()) + name.size();
    if (blocks_.empty() || blockUsed_ + need > blockSize_) {
        if (blocks_.size() >= (std::size_t{1} << (32 - kOffsetBits)))
            throw std::length_error("The walk's names pass 8 GiB");
        blockSize_ = std::max(kBlockSize, need);
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
        blockUsed_ = 0;
    }
    auto* out = reinterpret_cast<unsigned char*>(blocks_.back().get() + blockUsed_);
    const NameRef ref = static_cast<NameRef>(((blocks_.size() - 1) << kOffsetBits) | (blockUsed_ >> 1));
    *out++ = kind;
    std::size_t length = name.size();
    for (; length >= 0x80; length >>= 7) *out++ = static_cast<unsigned char>(length | 0x80);
    *out++ = static_cast<unsigned char>(length);
    if (!name.empty()) std::memcpy(out, name.data(), name.size());
    blockUsed_ += need + (need & 1);
    return ref;
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
    const std::int64_t index = entries_.size();
    if (index >= kNoRecord) throw std::length_error("The walk holds more entries than a tree keeps");
    entries_.push_back(Record{size, Store(name, kind), kNoRecord});
    Dir& owner = dirs_[dir];
    if (owner.lastEntry == kNone) {
        owner.firstEntry = index;
    } else {
        entries_[owner.lastEntry].next = static_cast<std::uint32_t>(index);
    }
    owner.lastEntry = index;
    // A link's size counts where an import gives one, as the disk-usage
    // tool that wrote it counted it; a walk keeps links at 0.
    if (kind == ekFile || kind == ekLink)
        owner.ownBytes = SaturatingAdd(owner.ownBytes, std::max<std::int64_t>(size, 0));
    if (kind == ekFile) ++owner.ownFiles;
}

WalkTree::Mark WalkTree::MarkOf(int dir) const {
    const Dir& d = dirs_[dir];
    return {dir,        entries_.size(), d.lastEntry,
            d.ownBytes, d.ownFiles,      static_cast<std::uint32_t>(blocks_.size()),
            blockUsed_, blockSize_};
}

void WalkTree::RollBack(const Mark& mark) {
    entries_.Truncate(mark.entries);
    blocks_.resize(mark.arenaBlocks);
    blockUsed_ = mark.arenaUsed;
    blockSize_ = mark.arenaBlockSize;
    Dir& d = dirs_[mark.dir];
    d.lastEntry = mark.lastEntry;
    if (mark.lastEntry == kNone) {
        d.firstEntry = kNone;
    } else {
        entries_[mark.lastEntry].next = kNoRecord;
    }
    d.ownBytes = mark.ownBytes;
    d.ownFiles = mark.ownFiles;
}

void WalkTree::CountedTwice(int dir, std::int64_t bytes, std::int64_t files) {
    countedTwice_.push_back({dir, bytes, files});
}

void WalkTree::Sum() {
    for (std::int64_t i = 0; i < dirs_.size(); ++i) {
        Dir& dir = dirs_[i];
        dir.totalBytes = SaturatingAdd(dir.ownBytes, dir.size);
        dir.totalFiles = dir.ownFiles;
    }
    for (const Twice& twice : countedTwice_) {
        Dir& dir = dirs_[twice.dir];
        dir.totalBytes = SaturatingAdd(dir.totalBytes, -twice.bytes);
        dir.totalFiles -= twice.files;
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
