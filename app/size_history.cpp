// SPDX-License-Identifier: MIT
// A complete walk is kept with the site's earlier walks, and the log says
// how the total changed since the last one. The "Last Info retrieved" box
// has no room left for that line: its three label pairs and the "Where is
// the space?" link fill its 121 pixels. The breakdown may compare the walk
// with the site's earlier walks.

#include "app/main_form.h"

#include "sitetree/site_history.h"

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
    zn::SiteKey site = walkSite_;
    site.Start = walkStart_;
    std::string left;
    const zn::SiteHistory history(root, site, *walkTree_, left);
    if (!left.empty()) Log(left);
    earlierWalks_ = history.Walks();
    const auto before = history.LastWalk();
    std::string error;
    // The walk counts whether or not it can be kept.
    if (!history.Keep(*walkTree_, walkSource_, zn::kHistoryKeep, error)) {
        Log("The walk is not kept in the history: " + error);
    }
    if (before) Log(zn::ChangeSince(*before, TotalBytes));
}
