// SPDX-License-Identifier: MIT
#include "sitetree/walk_tree_paths.h"

#include <vector>

namespace zn {

void VisitDirectories(const WalkTree& tree,
                      const std::function<void(int dir, int depth, const std::string& path)>& visit) {
    struct Open {
        int dir;
        int next;                // the child to go into next
        std::size_t pathLength;  // of the parent's path, to cut back to
    };
    std::string path;
    std::vector<Open> open{{WalkTree::kRoot, tree.FirstChild(WalkTree::kRoot), 0}};
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == WalkTree::kNone) {
            visit(top.dir, static_cast<int>(open.size()) - 1, path);
            path.resize(top.pathLength);
            open.pop_back();
            continue;
        }
        const int child = top.next;
        top.next = tree.NextSibling(child);
        const std::size_t parentLength = path.size();
        if (!path.empty()) path += '/';
        path += tree.Name(child);
        open.push_back({child, tree.FirstChild(child), parentLength});
    }
}

std::string PathBelow(const std::string& path, std::string_view name) {
    std::string joined;
    joined.reserve(path.size() + 1 + name.size());
    joined = path;
    if (!joined.empty()) joined += '/';
    joined += name;
    return joined;
}

std::unordered_map<std::int64_t, int> DirectoriesOf(const WalkTree& tree, const std::vector<std::int64_t>& entries) {
    std::unordered_map<std::int64_t, int> directoryOf;
    for (const std::int64_t entry : entries) directoryOf.emplace(entry, WalkTree::kNone);
    std::size_t found = 0;
    for (int dir = 0; dir < tree.DirectoryCount() && found < directoryOf.size(); ++dir) {
        for (auto e = tree.FirstEntry(dir); e != WalkTree::kNone; e = tree.NextEntry(e)) {
            const auto at = directoryOf.find(e);
            if (at == directoryOf.end()) continue;
            at->second = dir;
            ++found;
        }
    }
    return directoryOf;
}

std::vector<std::string> EntryPaths(const WalkTree& tree, const std::vector<std::int64_t>& entries) {
    const auto directoryOf = DirectoriesOf(tree, entries);
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    for (const std::int64_t entry : entries) {
        paths.push_back(PathBelow(tree.Path(directoryOf.at(entry)), tree.EntryAt(entry).Name));
    }
    return paths;
}

}  // namespace zn
