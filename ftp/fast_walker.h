#pragma once

#include <memory>
#include <string>

#include "ftp/site_walker.h"

namespace zn {

// The same walk as SiteWalker, with the same rules, totals and events, but
// listed over the control connection: one "STAT <absolute path>" per
// directory, with no data connection, no CWD and no CDUP. It first checks,
// on the start directory, that the server's STAT gives the same entries as
// its LIST; where it does not (no PWD, no STAT, another answer), the whole
// walk is SiteWalker's. A directory whose path holds a name that a server
// may read as an option or a pattern (a leading "-", "*", "?", "[") is
// listed by CWD and LIST instead.
class FastWalker : public WalkTotals {
public:
    FastWalker(TznFTP& ftp, WalkObserver& observer, WalkRules rules = {});

    void Walk();
    // How the last walk listed: "STAT", or "LIST" after the fallback.
    const std::string& Method() const { return method_; }
    // The totals so far, also while the designed walk runs in its place.
    const WalkTotals& Current() const { return designed_ ? static_cast<const WalkTotals&>(*designed_) : *this; }

private:
    bool StatListsLikeList();
    void RetrieveDir(const std::string& absolute, const std::string& relative, int depth, TznFTPDirList* listed);
    void ListDirectory(const std::string& absolute, TznFTPDirList& level);
    void RunDesignedWalk();

    TznFTP& ftp_;
    WalkObserver& observer_;
    WalkRules rules_;
    std::string start_;
    TznFTPDirList startListing_;
    std::string method_;
    std::unique_ptr<SiteWalker> designed_;
};

}  // namespace zn
