// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sitetree/history_key.h"
#include "sitetree/walk_history.h"
#include "sitetree/walk_tree.h"

namespace zn {

// The root of a site's tree: the start directory as typed, made absolute,
// as both front ends name what they walked.
std::string SiteTreeRoot(const std::string& typedStart);

// Where a walk of `tree` measured `site`, as a URL names it, for the
// history and the export: the scheme, the user, the server (an IPv6
// address in brackets, as a URL must write it) and the tree's root; never
// the password.
std::string WalkSource(const SiteKey& site, const WalkTree& tree);

// The kept walks of the site a walk was of, for what follows a complete
// walk: the walks before it, the newest of them to compare with, and the
// walk itself kept beside them.
class SiteHistory {
public:
    // The site's folder under `root`. A `site` whose Start is empty (the
    // server gave no name for it) is kept under the tree's root, the path
    // as typed. What an earlier version kept of the site is moved in where
    // it is certainly this site's; `left` receives the line that says what
    // was left where it was, else "".
    SiteHistory(const std::string& root, SiteKey site, const WalkTree& tree, std::string& left);

    const std::string& Folder() const { return folder_; }
    // The kept walks, oldest first, and the newest one's total.
    std::vector<std::string> Walks() const { return HistoryFiles(folder_); }
    std::optional<KeptWalk> LastWalk() const { return LastKeptWalk(folder_); }
    // Keeps the tree as the newest walk, `source` naming where it was
    // measured, and the last `keep` walks with it; false with the reason
    // in `error`.
    bool Keep(const WalkTree& tree, const std::string& source, int keep, std::string& error) const;

private:
    std::string folder_;
};

}  // namespace zn
