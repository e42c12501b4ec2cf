// SPDX-License-Identifier: MIT
#include "sitetree/walk_compare.h"

#include "net/core/text_helpers.h"
#include "sitetree/largest.h"
#include "sitetree/walk_tree_paths.h"

#include <algorithm>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zn {
namespace {

// A directory or a file by the directory it is in and its name. The two
// trees are matched level by level on it, with no path built: an export
// can be deep enough that every path at once would not fit in memory. A
// file named "a/b" in the root is not the file b of the directory a.
struct Place {
    std::int64_t parent;
    std::string_view name;
    bool operator==(const Place&) const = default;
};
struct PlaceHash {
    std::size_t operator()(const Place& place) const {
        return std::hash<std::string_view>()(place.name) ^ (std::hash<std::int64_t>()(place.parent) * 31);
    }
};
template <typename Value>
using ByPlace = std::unordered_map<Place, Value, PlaceHash>;

// For each directory of `newer`, the one of `older` at the same path, or
// kNone. A directory comes after its parent, so the parent is matched first.
std::vector<int> Counterparts(const WalkTree& older, const WalkTree& newer) {
    ByPlace<int> olderDirs;
    for (int dir = 1; dir < older.DirectoryCount(); ++dir)
        olderDirs.emplace(Place{older.Parent(dir), older.Name(dir)}, dir);
    std::vector<int> counterpart(static_cast<std::size_t>(newer.DirectoryCount()), WalkTree::kNone);
    counterpart[WalkTree::kRoot] = WalkTree::kRoot;
    for (int dir = 1; dir < newer.DirectoryCount(); ++dir) {
        const int parent = counterpart[static_cast<std::size_t>(newer.Parent(dir))];
        if (parent == WalkTree::kNone) continue;
        const auto found = olderDirs.find({parent, newer.Name(dir)});
        if (found != olderDirs.end()) counterpart[static_cast<std::size_t>(dir)] = found->second;
    }
    return counterpart;
}

std::int64_t Magnitude(const PathChange& change) {
    const std::int64_t delta = change.Change();
    return delta < 0 ? -delta : delta;
}

// Every directory whose total changed, the largest change first; equal
// changes in the newer tree's order, then the gone ones in the older's.
std::vector<PathChange> ChangedDirectories(const WalkTree& older, const WalkTree& newer,
                                           const std::vector<int>& counterpart) {
    std::vector<std::pair<PathChange, std::int64_t>> changes;  // with its place in that order
    std::vector<bool> matched(static_cast<std::size_t>(older.DirectoryCount()));
    VisitDirectories(newer, [&](int dir, int, const std::string& path) {
        const int old = counterpart[static_cast<std::size_t>(dir)];
        if (old != WalkTree::kNone) matched[static_cast<std::size_t>(old)] = true;
        const std::int64_t was = old == WalkTree::kNone ? 0 : older.TotalBytes(old);
        if (was != newer.TotalBytes(dir))
            changes.push_back({{path, was, newer.TotalBytes(dir), old == WalkTree::kNone, false}, dir});
    });
    VisitDirectories(older, [&](int dir, int, const std::string& path) {
        if (matched[static_cast<std::size_t>(dir)] || older.TotalBytes(dir) == 0) return;
        changes.push_back({{path, older.TotalBytes(dir), 0, false, true}, newer.DirectoryCount() + std::int64_t{dir}});
    });
    std::sort(changes.begin(), changes.end(), [](const auto& a, const auto& b) {
        return Magnitude(a.first) != Magnitude(b.first) ? Magnitude(a.first) > Magnitude(b.first) : a.second < b.second;
    });
    std::vector<PathChange> result;
    result.reserve(changes.size());
    for (auto& change : changes) result.push_back(std::move(change.first));
    return result;
}

ByPlace<std::int64_t> FilesByPlace(const WalkTree& tree) {
    ByPlace<std::int64_t> files;
    for (int dir = 0; dir < tree.DirectoryCount(); ++dir) {
        for (auto e = tree.FirstEntry(dir); e != WalkTree::kNone; e = tree.NextEntry(e)) {
            const WalkTree::Entry entry = tree.EntryAt(e);
            if (entry.Kind == WalkTree::ekFile) files.emplace(Place{dir, entry.Name}, e);
        }
    }
    return files;
}

// The files that came, went or grew, at most `count` of each, largest
// first, equal ones in the order of their tree. Only those are given a
// path.
class FileChanges {
public:
    FileChanges(const WalkTree& older, const WalkTree& newer, const std::vector<int>& counterpart, int count)
        : older_(older),
          newer_(newer),
          counterpart_(counterpart),
          olderFiles_(FilesByPlace(older)),
          added_(count),
          grown_(count),
          removed_(count) {}

    void Compare(WalkComparison& result) {
        std::vector<bool> kept(static_cast<std::size_t>(older_.EntryCount()));
        for (int dir = 0; dir < newer_.DirectoryCount(); ++dir) {
            for (auto e = newer_.FirstEntry(dir); e != WalkTree::kNone; e = newer_.NextEntry(e)) {
                const WalkTree::Entry entry = newer_.EntryAt(e);
                if (entry.Kind != WalkTree::ekFile) continue;
                const std::int64_t old = OlderOf(dir, entry.Name);
                if (old == WalkTree::kNone) {
                    added_.Offer(entry.Size, e);
                    continue;
                }
                kept[static_cast<std::size_t>(old)] = true;
                const std::int64_t was = older_.EntryAt(old).Size;
                if (entry.Size > was) grown_.Offer(entry.Size - was, e);
            }
        }
        for (std::int64_t e = 0; e < older_.EntryCount(); ++e) {
            const WalkTree::Entry entry = older_.EntryAt(e);
            if (!kept[static_cast<std::size_t>(e)] && entry.Kind == WalkTree::ekFile) removed_.Offer(entry.Size, e);
        }
        Describe(result);
    }

private:
    // The file of the older tree at the place of `name` in the newer's `dir`.
    std::int64_t OlderOf(int dir, std::string_view name) const {
        const int old = counterpart_[static_cast<std::size_t>(dir)];
        if (old == WalkTree::kNone) return WalkTree::kNone;
        const auto found = olderFiles_.find({old, name});
        return found == olderFiles_.end() ? WalkTree::kNone : found->second;
    }

    void Describe(WalkComparison& result) {
        const std::vector<std::int64_t> added = added_.Indexes(), removed = removed_.Indexes();
        const std::vector<std::int64_t> grown = grown_.Indexes();
        const std::vector<std::string> addedPaths = EntryPaths(newer_, added),
                                       removedPaths = EntryPaths(older_, removed);
        const std::vector<std::string> grownPaths = EntryPaths(newer_, grown);
        const auto grownIn = DirectoriesOf(newer_, grown);
        for (std::size_t i = 0; i < added.size(); ++i)
            result.addedFiles.push_back({addedPaths[i], 0, newer_.EntryAt(added[i]).Size, true, false});
        for (std::size_t i = 0; i < removed.size(); ++i)
            result.removedFiles.push_back({removedPaths[i], older_.EntryAt(removed[i]).Size, 0, false, true});
        for (std::size_t i = 0; i < grown.size(); ++i) {
            const WalkTree::Entry entry = newer_.EntryAt(grown[i]);
            const std::int64_t was = older_.EntryAt(OlderOf(grownIn.at(grown[i]), entry.Name)).Size;
            result.grownFiles.push_back({grownPaths[i], was, entry.Size});
        }
    }

    const WalkTree& older_;
    const WalkTree& newer_;
    const std::vector<int>& counterpart_;
    const ByPlace<std::int64_t> olderFiles_;
    Largest added_, grown_, removed_;
};

}  // namespace

WalkComparison CompareWalks(const WalkTree& older, const WalkTree& newer, int fileCount) {
    WalkComparison result;
    result.oldBytes = older.TotalBytes(WalkTree::kRoot);
    result.newBytes = newer.TotalBytes(WalkTree::kRoot);
    result.oldFiles = older.TotalFiles(WalkTree::kRoot);
    result.newFiles = newer.TotalFiles(WalkTree::kRoot);
    const std::vector<int> counterpart = Counterparts(older, newer);
    result.directories = ChangedDirectories(older, newer, counterpart);
    if (fileCount > 0) FileChanges(older, newer, counterpart, fileCount).Compare(result);
    return result;
}

std::string SignedHumanSize(std::int64_t change) {
    return change < 0 ? "-" + HumanSize(-change) : (change > 0 ? "+" : "") + HumanSize(change);
}

}  // namespace zn
