// SPDX-License-Identifier: MIT
#include "app/cli/cli_history.h"

#include "app/cli/cli_compare.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_terminal_text.h"
#include "sitetree/ncdu_export.h"
#include "sitetree/site_history.h"
#include "sitetree/walk_compare.h"

#include <optional>
#include <ostream>
#include <system_error>
#include <vector>

namespace cli {
namespace {

// The site's kept walks, with what an earlier version kept of the site
// moved in where that is certainly this site's.
zn::SiteHistory HistoryOf(const std::string& historyRoot, const zn::WalkTree& tree, const zn::SiteKey& site,
                          std::ostream& err) {
    std::string left;
    zn::SiteHistory history(historyRoot, site, tree, left);
    if (!left.empty()) err << "dirweigh-cli: " << TerminalSafe(left) << '\n';
    return history;
}

// The export to compare with: the newest kept walk of the site, or a file.
// Empty, with a note, when there is none.
std::string Baseline(const Options& options, const std::optional<zn::SiteHistory>& history, std::ostream& err) {
    if (options.history.compare != "last") return options.history.compare;
    const auto files = history ? history->Walks() : std::vector<std::string>{};
    if (files.empty()) err << "dirweigh-cli: " << options.host << ": no earlier walk of this site to compare with\n";
    return files.empty() ? std::string() : files.back();
}

// The comparison after the output: a further member of the JSON object,
// or text after the rest.
bool AddComparison(const Options& options, const std::string& baseline, zn::WalkTree& tree, bool onTerminal,
                   std::string& printed, std::ostream& err) {
    std::string error;
    const auto older = zn::LoadNcdu(baseline, error);
    if (!older) {
        err << "dirweigh-cli: --compare: " << TerminalSafe(error) << '\n';
        return false;
    }
    tree.Sum();
    const int files = options.breakdown.top > 0 ? options.breakdown.top : kCompareFiles;
    const zn::WalkComparison comparison = zn::CompareWalks(*older, tree, files);
    if (options.format == OutputFormat::Json && printed.size() >= 2 &&
        printed.compare(printed.size() - 2, 2, "}\n") == 0) {
        printed.resize(printed.size() - 2);
        printed += ", \"compare\": " + ComparisonJson(comparison, baseline) + "}\n";
    } else {
        printed += ComparisonText(comparison, baseline, onTerminal);
    }
    return true;
}

void Keep(const Options& options, const zn::SiteHistory& history, const zn::WalkTree& tree, const zn::SiteKey& site,
          PendingKeep& keeping) {
    keeping.Start([history, &tree, source = zn::WalkSource(site, tree), keep = options.history.keep] {
        std::string error;
        return history.Keep(tree, source, keep, error) ? std::string() : error;
    });
}

}  // namespace

void PendingKeep::Start(const std::function<std::string()>& keep) {
    try {
        result_ = std::async(std::launch::async, keep);
    } catch (const std::system_error&) {
        // No thread to be had: the walk is kept now, in turn.
        error_ = keep();
    }
}

void PendingKeep::Finish(std::ostream& err) {
    if (result_.valid()) error_ = result_.get();
    if (!error_.empty())
        err << "dirweigh-cli: warning: the walk is not kept in the history: " << TerminalSafe(error_) << '\n';
    error_.clear();
}

bool HistoryKeepsTree(const HistoryOptions& options, const std::string& historyRoot) {
    return !options.compare.empty() || (options.write && !historyRoot.empty());
}

bool HistoryNeedsSite(const HistoryOptions& options, const std::string& historyRoot) {
    return !historyRoot.empty() && (options.compare == "last" || options.write);
}

bool FinishWithHistory(const Options& options, const std::string& historyRoot, const Totals& totals, zn::WalkTree& tree,
                       const zn::SiteKey& site, bool onTerminal, std::string& printed, PendingKeep& keeping,
                       std::ostream& err) {
    // A walk cut short compares as if the rest had gone, and would be
    // the next walk's baseline: neither is worth having.
    if (!totals.complete) {
        if (!options.history.compare.empty()) err << "dirweigh-cli: the walk is incomplete: nothing compared\n";
        return true;
    }
    std::optional<zn::SiteHistory> history;
    if (HistoryNeedsSite(options.history, historyRoot)) history.emplace(HistoryOf(historyRoot, tree, site, err));
    bool compared = true;
    if (!options.history.compare.empty()) {
        const std::string baseline = Baseline(options, history, err);
        compared = baseline.empty() || AddComparison(options, baseline, tree, onTerminal, printed, err);
    }
    if (options.history.write && history) Keep(options, *history, tree, site, keeping);
    return compared;
}

}  // namespace cli
