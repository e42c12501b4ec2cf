// SPDX-License-Identifier: MIT
#include "tests/support/site_tree.h"

#include <unistd.h>

#include <fstream>
#include <utility>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

bool IsHidden(const fs::path& name) { return name.filename().string().starts_with("."); }

}  // namespace

std::ostream& operator<<(std::ostream& out, const TreeEntry& e) {
    return out << (e.directory ? "dir" : "file ") << (e.directory ? "" : std::to_string(e.size));
}

std::ostream& operator<<(std::ostream& out, const TreeTotals& t) {
    return out << t.bytes << " bytes, " << t.files << " files, " << t.directories << " directories";
}

SiteTree::SiteTree() {
    static int counter = 0;
    root_ = fs::temp_directory_path() / ("dirweigh-site-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(root_);
}

SiteTree::SiteTree(std::filesystem::path root) : root_(std::move(root)) { fs::create_directories(root_); }

SiteTree::~SiteTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void SiteTree::AddDirectory(const std::string& relative) { fs::create_directories(root_ / relative); }

void SiteTree::AddFile(const std::string& relative, std::uintmax_t size) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary).close();
    fs::resize_file(root_ / relative, size);
}

void SiteTree::AddWebSite() {
    AddFile("index.html", 14210);
    AddFile("favicon.ico", 15086);
    AddFile("robots.txt", 67);
    AddFile(".htaccess", 1342);
    AddFile("about/index.html", 9876);
    AddFile("blog/2024/first-post.html", 23455);
    AddFile("blog/.htaccess", 211);
    AddFile("css/site.css", 48213);
    AddFile("images/logo.png", 187654);
    AddFile("images/.DS_Store", 6148);
    AddFile(".well-known/security.txt", 412);
    AddFile(".well-known/acme-challenge/Xf3k9QzPq2", 87);
    AddFile(".git/HEAD", 21);
    AddFile(".git/config", 312);
    AddFile(".git/index", 3904);
    AddFile(".git/refs/heads/main", 41);
    AddFile(".git/objects/4b/825dc642cb6eb9a060e54bf8d69288fbee4904", 15);
    AddFile(".git/objects/9f/1c2e7a3d5b8e0f4a6c2d1e9b7a5f3c8d0e2b4a6c", 1843);
    AddFile(".git/objects/e6/9de29bb2d1d6434b8b29ae775ad8c2e48c5391", 9);
    AddFile(".git/objects/pack/pack-3f6e.pack", 401233);
    AddFile(".git/objects/pack/pack-3f6e.idx", 2780);
    // A hidden directory inside a hidden one.
    AddFile(".git/.cache/fsmonitor", 128);
    AddDirectory(".git/refs/tags");
    AddDirectory("uploads");
}

std::map<std::string, TreeEntry> SiteTree::Entries(const std::string& relative, Hidden hidden) const {
    std::map<std::string, TreeEntry> entries;
    for (const auto& item : fs::directory_iterator(root_ / relative)) {
        if (hidden == Hidden::LeftOut && IsHidden(item.path())) continue;
        const bool dir = item.is_directory();
        entries[item.path().filename().string()] = {dir, dir ? 0 : item.file_size()};
    }
    return entries;
}

TreeTotals SiteTree::Totals(Hidden hidden) const {
    TreeTotals totals;
    totals.directories = 1;
    for (auto item = fs::recursive_directory_iterator(root_); item != fs::recursive_directory_iterator(); ++item) {
        if (hidden == Hidden::LeftOut && IsHidden(item->path())) {
            item.disable_recursion_pending();
            continue;
        }
        if (item->is_directory()) {
            ++totals.directories;
        } else {
            ++totals.files;
            totals.bytes += item->file_size();
        }
    }
    return totals;
}

}  // namespace testsupport
