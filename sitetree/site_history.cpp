// SPDX-License-Identifier: MIT
#include "sitetree/site_history.h"

#include "sitetree/ncdu_export.h"

#include <ctime>
#include <utility>

namespace zn {

std::string SiteTreeRoot(const std::string& typedStart) {
    return typedStart.rfind('/', 0) == 0 ? typedStart : "/" + typedStart;
}

std::string WalkSource(const SiteKey& site, const WalkTree& tree) {
    return SchemeName(site.Scheme) + std::string("://") + site.User + "@" + ServerInUrl(site.Server) +
           std::string(tree.Name(WalkTree::kRoot));
}

SiteHistory::SiteHistory(const std::string& root, SiteKey site, const WalkTree& tree, std::string& left) {
    const std::string typed(tree.Name(WalkTree::kRoot));
    if (site.Start.empty()) site.Start = typed;
    folder_ = SiteHistoryFolder(root, site);
    left = AdoptOldWalks(OldSiteHistoryFolder(root, site.Server, typed), folder_, site);
    AdoptWalksWithoutScheme(root, site);
}

bool SiteHistory::Keep(const WalkTree& tree, const std::string& source, int keep, std::string& error) const {
    const NcduMetadata metadata{"1.03", static_cast<std::int64_t>(std::time(nullptr)), source};
    return SaveHistory(tree, metadata, folder_, keep, error);
}

}  // namespace zn
