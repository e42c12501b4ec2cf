// SPDX-License-Identifier: MIT
// After a complete walk, the space left where the server tells it (AVBL,
// only where FEAT lists it), beside the total in the log. The "Last Info
// retrieved" box has no room for the line, as for the change since the
// last walk.

#include "app/main_form.h"

#include "sitetree/space_used.h"

#include <exception>

void TMainFrm::AskSpaceLeft() {
    spaceUsed_.clear();
    if (Aborted) return;
    std::optional<std::int64_t> available;
    // The walk is whole: a server that answers badly, or a connection lost
    // now, spoils none of it.
    try {
        available = znFTP->AvailableSpace();
    } catch (const std::exception& e) {
        spaceUsed_ = std::string("The space left is not known: ") + e.what();
        return;
    }
    const std::string used = zn::SpaceUsed(TotalBytes, available);
    if (!used.empty()) spaceUsed_ = "Space used: " + used;
}

void TMainFrm::LogSpaceUsed() {
    if (!spaceUsed_.empty()) Log(spaceUsed_);
}
