// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace testsupport {

struct TreeEntry {
    bool directory;
    std::uintmax_t size;
    bool operator==(const TreeEntry&) const = default;
};

// A generated site in a temporary directory, removed by the destructor.
class SiteTree {
public:
    SiteTree();
    ~SiteTree();
    const std::filesystem::path& Root() const { return root_; }
    void AddFile(const std::string& relative, std::uintmax_t size);
    void AddDirectory(const std::string& relative);
    // What a listing of the directory should show: name -> kind and size.
    std::map<std::string, TreeEntry> Entries(const std::string& relative) const;

private:
    std::filesystem::path root_;
};

}  // namespace testsupport
