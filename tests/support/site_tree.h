// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>

namespace testsupport {

struct TreeEntry {
    bool directory;
    std::uintmax_t size;
    bool operator==(const TreeEntry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TreeEntry& e);

struct TreeTotals {
    std::uintmax_t bytes = 0, files = 0;
    // The start directory included.
    std::uintmax_t directories = 0;
    bool operator==(const TreeTotals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TreeTotals& t);

// Whether names that begin with a dot count: servers as they ship leave them
// out of a bare LIST.
enum class Hidden { Included, LeftOut };

// A generated site in a temporary directory, removed by the destructor.
class SiteTree {
public:
    SiteTree();
    // The site in `root`, a folder a server's fixture made (an SFTP
    // chroot), removed by the destructor all the same.
    explicit SiteTree(std::filesystem::path root);
    ~SiteTree();
    const std::filesystem::path& Root() const { return root_; }
    void AddFile(const std::string& relative, std::uintmax_t size);
    void AddDirectory(const std::string& relative);
    // An ordinary web site with the hidden entries servers treat apart:
    // .htaccess, a .git with objects, .well-known, a hidden directory inside
    // a hidden one, dot files in subdirectories, empty directories (one of
    // them hidden), beside ordinary pages and images.
    void AddWebSite();
    // What a listing of the directory should show: name -> kind and size.
    std::map<std::string, TreeEntry> Entries(const std::string& relative, Hidden hidden = Hidden::Included) const;
    // The totals of what is on disk now; with Hidden::LeftOut, of what a
    // walk sees when no name beginning with a dot is listed.
    TreeTotals Totals(Hidden hidden = Hidden::Included) const;

private:
    std::filesystem::path root_;
};

}  // namespace testsupport
