// SPDX-License-Identifier: MIT
#include "tests/ftp/site_tree.h"

#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

namespace testsupport {

SiteTree::SiteTree() {
    static int counter = 0;
    root_ = fs::temp_directory_path() /
            ("dirweigh-site-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(root_);
}

SiteTree::~SiteTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void SiteTree::AddDirectory(const std::string& relative) { fs::create_directories(root_ / relative); }

void SiteTree::AddFile(const std::string& relative, std::uintmax_t size) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative, std::ios::binary);
    fs::resize_file(root_ / relative, size);
}

std::map<std::string, TreeEntry> SiteTree::Entries(const std::string& relative) const {
    std::map<std::string, TreeEntry> entries;
    for (const auto& item : fs::directory_iterator(root_ / relative)) {
        const bool dir = item.is_directory();
        entries[item.path().filename().string()] = {dir, dir ? 0 : item.file_size()};
    }
    return entries;
}

}  // namespace testsupport
