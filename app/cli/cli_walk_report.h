// SPDX-License-Identifier: MIT
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_check.h"
#include "app/cli/cli_history.h"
#include "app/cli/cli_observer.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_run.h"
#include "sitetree/walk_tree.h"
#include "walk/cwd_walker.h"

// What every walk of the command line, FTP or SFTP, reports through: the
// totals, the tree, the history and the exports are one code whatever the
// walk listed with.
namespace cli {

// What a finished walk leaves for the reports.
struct Outcome {
    Totals totals;
    std::vector<DuLine> du;
    zn::WalkTree* tree = nullptr;  // where the reports or the history need it
    CheckRun checkRun;
    bool written = true;      // the Prometheus file, where asked for
    std::string serverStart;  // the server's name of the start, where the history needs it
    PendingKeep keeping;      // the walk being kept in the history; Finish before the tree goes
};

// The walk for node_exporter; a file that cannot be written fails the run.
// "-" is standard output, as for --ncdu: a scrape script's pipe.
bool WritePrometheus(const Options& options, const Totals& totals, const std::vector<DuLine>& du, double seconds,
                     std::ostream& out, std::ostream& err);
// The plugin's line, or the output the options ask for with the history and
// the export; returns the exit status.
int Report(const Options& options, const Environment& environment, const std::string& user, Outcome& outcome,
           std::ostream& out, std::ostream& err);
// The reports of where the space goes, and the history, read what the
// walk saw: a tree where they need one.
std::unique_ptr<zn::WalkTree> TreeIfNeeded(const Options& options, const Environment& environment);
// The walk's counts as the reports give them, with what the observer saw;
// the caller adds TLS and the space left.
Totals TotalsOf(const zn::WalkTotals& walked, bool aborted, const CliObserver& observer);

}  // namespace cli
