// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <future>
#include <iosfwd>
#include <string>
#include <vector>

#include "sitetree/history_key.h"
#include "sitetree/walk_history.h"
#include "sitetree/walk_tree.h"

namespace cli {

struct Options;
struct Totals;

// The walks kept per site, and the comparison with one of them.
struct HistoryOptions {
    bool write = true;  // --no-history: false
    int keep = zn::kHistoryKeep;
    std::string compare;  // "last", or an export; empty: no comparison
};

// Whether the walk must keep its tree: for the history in `historyRoot`
// (empty: none is kept) or for a comparison.
bool HistoryKeepsTree(const HistoryOptions& options, const std::string& historyRoot);
// Whether the history needs to know which site the walk is of: to keep
// the walk, or to compare it with the site's last.
bool HistoryNeedsSite(const HistoryOptions& options, const std::string& historyRoot);

// A walk being kept while the result is printed; the run says its
// goodbyes after Finish. The tree must stay as it is, and alive, until
// Finish.
class PendingKeep {
public:
    // `keep` returns why the walk could not be kept, or "".
    void Start(const std::function<std::string()>& keep);
    // Waits for the keeping; a walk not kept is a warning on `err`.
    void Finish(std::ostream& err);

private:
    std::future<std::string> result_;
    std::string error_;
};

// After the walk: the comparison asked for goes after `printed` (the text
// or, for --json, a member of its object), and a complete walk starts
// being kept in the history of `site` (see PendingKeep). False when the
// comparison could not be made; a history that cannot be written is only
// a warning.
bool FinishWithHistory(const Options& options, const std::string& historyRoot, const Totals& totals, zn::WalkTree& tree,
                       const zn::SiteKey& site, bool onTerminal, std::string& printed, PendingKeep& keeping,
                       std::ostream& err);

}  // namespace cli
