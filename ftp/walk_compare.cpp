// SPDX-License-Identifier: MIT
#include "ftp/walk_compare.h"

#include "net/text_helpers.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zn {
namespace {

using SizeByPath = std::unordered_map<std::string, std::int64_t>;

// Paths are keyed with NUL between their names, which no name holds: with
// "/", a file named "a/b" (a server may list one) and the file b in the
// directory a would be one key, and a change between them unseen.
constexpr char kKeySeparator = '\0';

std::string KeyOf(const WalkTree& tree, int dir) {
    std::vector<std::string_view> names;
    for (int at = dir; at > WalkTree::kRoot; at = tree.Parent(at)) names.push_back(tree.Name(at));
    std::reverse(names.begin(), names.end());
    std::string path;
    for (const std::string_view name : names) {
        if (!path.empty()) path += kKeySeparator;
        path += name;
    }
    return path;
}

// The path as the user reads it.
std::string Shown(std::string key) {
    std::replace(key.begin(), key.end(), kKeySeparator, '/');
    return key;
}

SizeByPath DirectorySizes(const WalkTree& tree) {
    SizeByPath sizes;
    for (int dir = 0; dir < tree.DirectoryCount(); ++dir) sizes.emplace(KeyOf(tree, dir), tree.TotalBytes(dir));
    return sizes;
}

SizeByPath FileSizes(const WalkTree& tree) {
    SizeByPath sizes;
    for (int dir = 0; dir < tree.DirectoryCount(); ++dir) {
        std::string prefix = KeyOf(tree, dir);
        if (!prefix.empty()) prefix += kKeySeparator;
        for (auto e = tree.FirstEntry(dir); e != WalkTree::kNone; e = tree.NextEntry(e)) {
            const WalkTree::Entry entry = tree.EntryAt(e);
            if (entry.Kind == WalkTree::ekFile) sizes.emplace(prefix + std::string(entry.Name), entry.Size);
        }
    }
    return sizes;
}

std::int64_t Magnitude(const PathChange& change) {
    const std::int64_t delta = change.Change();
    return delta < 0 ? -delta : delta;
}

// Largest by `key` first, then by path, so equal changes come in a fixed
// order.
template <typename Key>
void SortAndCut(std::vector<PathChange>& changes, Key key, std::size_t count) {
    std::sort(changes.begin(), changes.end(), [&](const PathChange& a, const PathChange& b) {
        return key(a) != key(b) ? key(a) > key(b) : a.path < b.path;
    });
    if (changes.size() > count) changes.resize(count);
}

}  // namespace

WalkComparison CompareWalks(const WalkTree& older, const WalkTree& newer, int fileCount) {
    WalkComparison result;
    result.oldBytes = older.TotalBytes(WalkTree::kRoot);
    result.newBytes = newer.TotalBytes(WalkTree::kRoot);
    result.oldFiles = older.TotalFiles(WalkTree::kRoot);
    result.newFiles = newer.TotalFiles(WalkTree::kRoot);

    SizeByPath oldDirs = DirectorySizes(older);
    for (const auto& [path, bytes] : DirectorySizes(newer)) {
        const auto old = oldDirs.find(path);
        const bool added = old == oldDirs.end();
        const std::int64_t was = added ? 0 : old->second;
        if (!added) oldDirs.erase(old);
        if (was != bytes) result.directories.push_back({Shown(path), was, bytes, added, false});
    }
    for (const auto& [path, bytes] : oldDirs) {
        if (bytes != 0) result.directories.push_back({Shown(path), bytes, 0, false, true});
    }
    SortAndCut(result.directories, Magnitude, result.directories.size());

    SizeByPath oldFiles = FileSizes(older);
    for (const auto& [path, bytes] : FileSizes(newer)) {
        const auto old = oldFiles.find(path);
        if (old == oldFiles.end()) {
            result.addedFiles.push_back({Shown(path), 0, bytes, true, false});
            continue;
        }
        if (bytes > old->second) result.grownFiles.push_back({Shown(path), old->second, bytes});
        oldFiles.erase(old);
    }
    for (const auto& [path, bytes] : oldFiles) result.removedFiles.push_back({Shown(path), bytes, 0, false, true});
    const auto count = static_cast<std::size_t>(std::max(fileCount, 0));
    SortAndCut(
        result.addedFiles, [](const PathChange& c) { return c.newBytes; }, count);
    SortAndCut(
        result.removedFiles, [](const PathChange& c) { return c.oldBytes; }, count);
    SortAndCut(
        result.grownFiles, [](const PathChange& c) { return c.Change(); }, count);
    return result;
}

std::string SignedHumanSize(std::int64_t change) {
    return change < 0 ? "-" + HumanSize(-change) : (change > 0 ? "+" : "") + HumanSize(change);
}

}  // namespace zn
