// SPDX-License-Identifier: MIT
// The reports read from a walk's tree: the largest directories and files,
// the share of each file extension.
#include "sitetree/walk_tree_reports.h"

#include "sitetree/largest.h"
#include "sitetree/walk_tree_paths.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace zn {

// "tar.gz" is not an extension a name can be sorted by reliably; the last
// part is. A leading dot marks a hidden name, not an extension.
std::string ExtensionOf(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return {};
    std::string extension(name.substr(dot + 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

std::vector<SizedPath> LargestDirectories(const WalkTree& tree, int count) {
    Largest largest(count);
    for (int dir = 1; dir < tree.DirectoryCount(); ++dir) largest.Offer(tree.TotalBytes(dir), dir);
    std::vector<SizedPath> result;
    for (const std::int64_t dir : largest.Indexes()) {
        const int d = static_cast<int>(dir);
        result.push_back({tree.Path(d), tree.TotalBytes(d), tree.TotalFiles(d)});
    }
    return result;
}

std::vector<SizedPath> LargestFiles(const WalkTree& tree, int count) {
    Largest largest(count);
    for (std::int64_t entry = 0; entry < tree.EntryCount(); ++entry) {
        const WalkTree::Entry e = tree.EntryAt(entry);
        if (e.Kind == WalkTree::ekFile) largest.Offer(std::max<std::int64_t>(e.Size, 0), entry);
    }
    const std::vector<std::int64_t> winners = largest.Indexes();
    const std::vector<std::string> paths = EntryPaths(tree, winners);
    std::vector<SizedPath> result;
    for (std::size_t i = 0; i < winners.size(); ++i) {
        result.push_back({paths[i], std::max<std::int64_t>(tree.EntryAt(winners[i]).Size, 0), 1});
    }
    return result;
}

std::vector<ExtensionShare> ByExtension(const WalkTree& tree) {
    std::unordered_map<std::string, ExtensionShare> shares;
    for (std::int64_t entry = 0; entry < tree.EntryCount(); ++entry) {
        const WalkTree::Entry e = tree.EntryAt(entry);
        if (e.Kind != WalkTree::ekFile) continue;
        const std::string extension = ExtensionOf(e.Name);
        ExtensionShare& share = shares.try_emplace(extension, ExtensionShare{extension, 0, 0}).first->second;
        share.bytes = SaturatingAdd(share.bytes, std::max<std::int64_t>(e.Size, 0));
        ++share.files;
    }
    std::vector<ExtensionShare> result;
    result.reserve(shares.size());
    for (auto& [extension, share] : shares) result.push_back(share);
    std::sort(result.begin(), result.end(), [](const ExtensionShare& a, const ExtensionShare& b) {
        return a.bytes != b.bytes ? a.bytes > b.bytes : a.extension < b.extension;
    });
    return result;
}

}  // namespace zn
