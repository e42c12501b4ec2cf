// SPDX-License-Identifier: MIT
// After a complete walk, the space left where the server tells it (AVBL,
// only where FEAT lists it), beside the total in the log. The "Last Info
// retrieved" box has no room for the line, as for the change since the
// last walk.

#include "app/main_form.h"

#include "sitetree/space_used.h"
#include "walk/site_run.h"

void TMainFrm::AskSpaceLeft(zn::SiteRun& run) {
    spaceUsed_.clear();
    if (Aborted) return;
    const zn::SpaceLeft left = run.AskSpaceLeft();
    if (!left.Asked) {
        spaceUsed_ = "The space left is not known: " + left.Why;
        return;
    }
    const std::string used = zn::SpaceUsed(TotalBytes, left.Bytes);
    if (!used.empty()) spaceUsed_ = "Space used: " + used;
}

void TMainFrm::LogSpaceUsed() {
    if (!spaceUsed_.empty()) Log(spaceUsed_);
}
