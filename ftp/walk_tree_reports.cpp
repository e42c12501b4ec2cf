// SPDX-License-Identifier: MIT
// The reports read from a walk's tree: the largest directories and files,
// the share of each file extension.
#include "ftp/walk_tree_reports.h"

#include <algorithm>
#include <queue>
#include <string_view>
#include <unordered_map>

namespace zn {
namespace {

// Keeps the `count` largest of what it is offered: a site's million files
// are never sorted whole.
class Largest {
public:
    explicit Largest(int count) : count_(static_cast<std::size_t>(std::max(count, 0))) {}
    void Offer(std::int64_t bytes, std::int64_t index) {
        if (count_ == 0) return;
        if (heap_.size() < count_) {
            heap_.push({bytes, index});
        } else if (Before({bytes, index}, heap_.top())) {
            heap_.pop();
            heap_.push({bytes, index});
        }
    }
    // Largest first; ties in the order offered.
    std::vector<std::int64_t> Indexes() {
        std::vector<Item> items;
        for (; !heap_.empty(); heap_.pop()) items.push_back(heap_.top());
        std::sort(items.begin(), items.end(), Before);
        std::vector<std::int64_t> indexes;
        indexes.reserve(items.size());
        for (const Item& item : items) indexes.push_back(item.second);
        return indexes;
    }

private:
    using Item = std::pair<std::int64_t, std::int64_t>;
    static bool Before(const Item& a, const Item& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    }
    struct Later {
        bool operator()(const Item& a, const Item& b) const { return Before(a, b); }
    };
    std::size_t count_;
    std::priority_queue<Item, std::vector<Item>, Later> heap_;  // the smallest kept on top
};

std::string Joined(const std::string& parent, std::string_view name) {
    return parent.empty() ? std::string(name) : parent + "/" + std::string(name);
}

}  // namespace

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
    // An entry does not know its directory: the directories are gone
    // through once for the few that won.
    std::unordered_map<std::int64_t, int> directoryOf;
    for (const std::int64_t entry : winners) directoryOf.emplace(entry, WalkTree::kNone);
    for (int dir = 0; dir < tree.DirectoryCount() && !directoryOf.empty(); ++dir) {
        for (auto e = tree.FirstEntry(dir); e != WalkTree::kNone; e = tree.NextEntry(e)) {
            const auto found = directoryOf.find(e);
            if (found != directoryOf.end()) found->second = dir;
        }
    }
    std::vector<SizedPath> result;
    for (const std::int64_t entry : winners) {
        const WalkTree::Entry e = tree.EntryAt(entry);
        result.push_back({Joined(tree.Path(directoryOf[entry]), e.Name), std::max<std::int64_t>(e.Size, 0), 1});
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
