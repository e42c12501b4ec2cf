// SPDX-License-Identifier: MIT
// A complete walk is kept with the site's earlier walks, and the log says
// how the total changed since the last one. The "Last Info retrieved" box
// has no room left for that line: its three label pairs and the "Where is
// the space?" link fill its 121 pixels. The breakdown may compare the walk
// with the site's earlier walks.

#include "app/main_form.h"

#include "sitetree/history_key.h"
#include "sitetree/walk_history.h"

#include <QLineEdit>

#include <ctime>

void TMainFrm::AfterWalk() {
    // A walk cut short compares as if the rest had gone: nothing to keep
    // or compare.
    earlierWalks_.clear();
    if (Aborted) return;
    KeepInHistory();
    LogSpaceUsed();
}

void TMainFrm::KeepInHistory() {
    if (!IniHistory || !walkTree_) return;
    const std::string root = zn::HistoryRoot();
    if (root.empty()) return;
    const std::string typed(walkTree_->Name(zn::WalkTree::kRoot));
    zn::SiteKey site = walkSite_;
    site.Start = walkStart_.empty() ? typed : walkStart_;
    const std::string folder = zn::SiteHistoryFolder(root, site);
    // What an earlier version kept of the site, where it is certainly this
    // site's, is read as its own.
    const std::string left = zn::AdoptOldWalks(zn::OldSiteHistoryFolder(root, site.Server, typed), folder, site);
    if (!left.empty()) Log(left);
    zn::AdoptWalksWithoutScheme(root, site);
    earlierWalks_ = zn::HistoryFiles(folder);
    const auto before = zn::LastKeptWalk(folder);
    const zn::NcduMetadata metadata{"1.03", static_cast<std::int64_t>(std::time(nullptr)), walkSource_};
    std::string error;
    // The walk counts whether or not it can be kept.
    if (!zn::SaveHistory(*walkTree_, metadata, folder, zn::kHistoryKeep, error)) {
        Log("The walk is not kept in the history: " + error);
    }
    if (before) Log(zn::ChangeSince(*before, TotalBytes));
}
