// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zn {

// A vector in chunks of 4,096: it grows without copying what it holds, so
// the peak while a walk adds to it stays near what it keeps, and it asks
// for memory once per chunk rather than per element.
template <typename T>
class ChunkedVector {
public:
    std::int64_t size() const { return size_; }
    T& operator[](std::int64_t i) { return chunks_[static_cast<std::size_t>(i >> kShift)][i & kMask]; }
    const T& operator[](std::int64_t i) const { return chunks_[static_cast<std::size_t>(i >> kShift)][i & kMask]; }
    T& back() { return (*this)[size_ - 1]; }
    void push_back(const T& value) {
        if ((size_ & kMask) == 0) chunks_.push_back(std::make_unique<T[]>(std::size_t{1} << kShift));
        (*this)[size_++] = value;
    }
    // Drops the elements from `size` on, and the chunks left empty.
    void Truncate(std::int64_t size) {
        if (size >= size_) return;
        size_ = size;
        chunks_.resize(static_cast<std::size_t>((size_ + kMask) >> kShift));
    }

private:
    static constexpr int kShift = 12;
    static constexpr std::int64_t kMask = (std::int64_t{1} << kShift) - 1;
    std::vector<std::unique_ptr<T[]>> chunks_;
    std::int64_t size_ = 0;
};

// What a walk saw, kept so that the reports that come after it (the
// breakdown, the largest files, the ncdu export) never walk again: each
// directory entered with its own files, what was passed over and why.
// Names are bytes, as the server sent them.
//
// A site can hold millions of files, so an entry is a record of 16 bytes
// (its size, where its name lies, the next entry of its directory) and its
// kind and name lie in a shared arena, packed: 38 bytes for a file with a
// name of 20 characters. Directories are numbered in the order they are
// added; a directory always comes after its parent, which lets Sum work in
// one backward pass.
class WalkTree {
public:
    enum EntryKind : std::uint8_t {
        ekFile,
        ekLink,      // not a file: a walk does not follow links
        ekExcluded,  // a directory passed over by name
        ekRefused,   // a directory entry that cannot be entered safely
    };
    static constexpr int kRoot = 0;
    static constexpr int kNone = -1;

    struct Entry {
        EntryKind Kind;
        std::string_view Name;
        std::int64_t Size;
    };

    // The root is the start directory, named `rootName` (the start path).
    explicit WalkTree(std::string_view rootName = {});
    WalkTree(const WalkTree&) = delete;
    WalkTree& operator=(const WalkTree&) = delete;

    // The root's name, once known (the start path, an import's root).
    void Rename(int dir, std::string_view name);
    // A directory the walk goes into; unreadable until Listed.
    int AddDirectory(int parent, std::string_view name);
    void Listed(int dir) { dirs_[dir].listed = true; }
    // A directory the server listed only in part: read, but not whole.
    void Cut(int dir) { dirs_[dir].cut = true; }
    void AddEntry(int dir, EntryKind kind, std::string_view name, std::int64_t size);
    // A directory's own size, as a local disk gives it (imports only).
    void SetOwnSize(int dir, std::int64_t size) { dirs_[dir].size = size; }
    // Bytes and files that `dir`'s total would hold twice (two hard links
    // below it to one file; imports only): Sum takes them off there, and so
    // in every directory above it.
    void CountedTwice(int dir, std::int64_t bytes, std::int64_t files);

    // Totals of every directory with everything below it; call after the
    // walk (or during it, for totals so far).
    void Sum();

    int DirectoryCount() const { return static_cast<int>(dirs_.size()); }
    std::int64_t EntryCount() const { return entries_.size(); }
    std::string_view Name(int dir) const { return NameOf(dirs_[dir].name); }
    int Parent(int dir) const { return dirs_[dir].parent; }
    int FirstChild(int dir) const { return dirs_[dir].firstChild; }
    int NextSibling(int dir) const { return dirs_[dir].nextSibling; }
    bool IsListed(int dir) const { return dirs_[dir].listed; }
    bool IsCut(int dir) const { return dirs_[dir].cut; }
    std::int64_t OwnSize(int dir) const { return dirs_[dir].size; }
    std::int64_t OwnBytes(int dir) const { return dirs_[dir].ownBytes; }
    std::int64_t OwnFiles(int dir) const { return dirs_[dir].ownFiles; }
    // After Sum: its own size, its files and everything below it.
    std::int64_t TotalBytes(int dir) const { return dirs_[dir].totalBytes; }
    std::int64_t TotalFiles(int dir) const { return dirs_[dir].totalFiles; }
    // Its path below the root, "a/b"; "" for the root.
    std::string Path(int dir) const;

    // The entries of a directory, in the order they were added.
    std::int64_t FirstEntry(int dir) const { return dirs_[dir].firstEntry; }
    std::int64_t NextEntry(std::int64_t entry) const {
        const std::uint32_t next = entries_[entry].next;
        return next == kNoRecord ? std::int64_t{kNone} : std::int64_t{next};
    }
    // Inline: an export reads every entry of the tree, and every name.
    Entry EntryAt(std::int64_t entry) const {
        const Record& record = entries_[entry];
        return {static_cast<EntryKind>(*At(record.name)), NameOf(record.name), record.size};
    }

    // Where the entries added from here on begin: a listing streamed into
    // the tree and then found wanting is taken back whole (RollBack), so
    // long as nothing was added to another directory in between.
    struct Mark {
        int dir = 0;
        std::int64_t entries = 0;
        std::int64_t lastEntry = kNone;
        std::int64_t ownBytes = 0, ownFiles = 0;
        std::uint32_t arenaBlocks = 0;
        std::size_t arenaUsed = 0, arenaBlockSize = 0;
    };
    Mark MarkOf(int dir) const;
    void RollBack(const Mark& mark);

private:
    // Where a name lies in the arena: its block, and its offset there in
    // units of two bytes. 8 GiB of names at most; no walk nor import comes
    // near.
    using NameRef = std::uint32_t;
    static constexpr std::uint32_t kNoRecord = 0xFFFFFFFF;
    static constexpr int kOffsetBits = 17;
    static constexpr std::size_t kBlockSize = std::size_t{2} << kOffsetBits;  // 256 KiB

    struct Dir {
        NameRef name = 0;
        int parent = kNone;
        int firstChild = kNone, lastChild = kNone, nextSibling = kNone;
        std::int64_t firstEntry = kNone, lastEntry = kNone;
        std::int64_t size = 0;
        std::int64_t ownBytes = 0, ownFiles = 0;
        std::int64_t totalBytes = 0, totalFiles = 0;
        bool listed = false;
        bool cut = false;
    };
    // 16 bytes: a file costs this and its name, with its kind and length,
    // in the arena.
    struct Record {
        std::int64_t size = 0;
        NameRef name = 0;
        std::uint32_t next = kNoRecord;
    };

    struct Twice {
        int dir;
        std::int64_t bytes, files;
    };

    NameRef Store(std::string_view name, EntryKind kind = ekFile);
    const unsigned char* At(NameRef ref) const {
        return reinterpret_cast<const unsigned char*>(blocks_[ref >> kOffsetBits].get()) +
               (std::size_t{ref & ((1U << kOffsetBits) - 1)} << 1);
    }
    std::string_view NameOf(NameRef ref) const {
        const unsigned char* at = At(ref) + 1;
        std::size_t length = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char byte = *at++;
            length |= std::size_t{byte & 0x7FU} << shift;
            if ((byte & 0x80) == 0) break;
        }
        return {reinterpret_cast<const char*>(at), length};
    }

    ChunkedVector<Dir> dirs_;
    ChunkedVector<Record> entries_;
    // Few or none: only an import with hard links has them.
    std::vector<Twice> countedTwice_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockUsed_ = 0;
    std::size_t blockSize_ = 0;
};

// a + b, held at the largest value rather than wrapping.
std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b);

}  // namespace zn
