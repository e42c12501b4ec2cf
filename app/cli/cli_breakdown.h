// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "ftp/walk_tree.h"

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

// Reads the option at args[i] if it is one of these (moving i past its
// value); `error` says what is wrong with it.
bool ParseBreakdownOption(const std::vector<std::string>& args, std::size_t& i, BreakdownOptions& options,
                          std::string& error);
// What does not go together, once every option is read.
std::string CheckBreakdownOptions(const Options& options);

struct SizedPath {
    std::string path;
    std::int64_t bytes;
    std::int64_t files;  // in a directory and below; 1 for a file
};
struct ExtensionShare {
    std::string extension;  // lower case, without the dot; "" for none
    std::int64_t bytes;
    std::int64_t files;
};

// The `count` largest directories by total, the start directory left out,
// and the `count` largest files; ties in path order. The tree is summed.
std::vector<SizedPath> LargestDirectories(const zn::WalkTree& tree, int count);
std::vector<SizedPath> LargestFiles(const zn::WalkTree& tree, int count);
// Bytes and files per extension, largest first.
std::vector<ExtensionShare> ByExtension(const zn::WalkTree& tree);
// Each directory down to `maxDepth` (-1: all), largest first.
std::vector<DuLine> DuBySize(const zn::WalkTree& tree, int maxDepth);

// The usual output of `options`, with the reports the tree adds.
void PrintWithBreakdown(const Options& options, const Totals& totals, zn::WalkTree& tree,
                        const std::vector<DuLine>& du, std::ostream& out);
// The export of --ncdu, if asked for. False when it cannot be written.
bool SaveExport(const Options& options, const zn::WalkTree& tree, const std::string& user, std::ostream& out,
                std::ostream& err);
// dirweigh-cli --from FILE: the reports of an export.
int RunFromExport(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace cli
