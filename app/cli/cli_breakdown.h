// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "sitetree/walk_tree.h"
#include "sitetree/walk_tree_reports.h"

namespace cli {

struct Totals;
struct DuLine;
struct Options;

// Where the space goes: the reports read from the walk's tree, or from an
// export, without walking again.
struct BreakdownOptions {
    std::string ncduFile;  // "-": standard output
    int top = 0;           // the largest directories and files
    bool byExtension = false;
    bool sortBySize = false;  // --du, largest first
    std::string fromFile;     // the reports from an export, without connecting
    // A walk must keep its tree.
    bool KeepsTree() const { return !ncduFile.empty() || top > 0 || byExtension || sortBySize; }
};

using zn::ExtensionShare;
using zn::SizedPath;
using zn::ByExtension;
using zn::LargestDirectories;
using zn::LargestFiles;

// Each directory down to `maxDepth` (-1: all), largest first.
std::vector<DuLine> DuBySize(const zn::WalkTree& tree, int maxDepth);

// The usual output of `options`, with the reports the tree adds.
// Names are escaped `onTerminal` (cli_terminal_text.h).
void PrintWithBreakdown(const Options& options, const Totals& totals, zn::WalkTree& tree, const std::vector<DuLine>& du,
                        bool onTerminal, std::ostream& out);
// The export of --ncdu, if asked for. False when it cannot be written.
bool SaveExport(const Options& options, const zn::WalkTree& tree, const std::string& user, std::ostream& out,
                std::ostream& err);
// dirweigh-cli --from FILE: the reports of an export.
int RunFromExport(const Options& options, bool onTerminal, std::ostream& out, std::ostream& err);

}  // namespace cli
