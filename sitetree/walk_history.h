// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sitetree/ncdu_export.h"
#include "sitetree/walk_tree.h"

namespace zn {

// The walks of a site kept as gzip ncdu exports, one folder per site and
// start directory (history_key.h), so that the next walk can say what
// changed: HISTORY/<user>@<host>[:<port>]/<start, escaped>/<UTC time>.json.gz.

// $XDG_DATA_HOME/dirweigh/history, by default ~/.local/share/dirweigh/history;
// empty when neither is known.
std::string HistoryRoot(const std::string& xdgDataHome, const std::string& home);
// The same, from the environment.
std::string HistoryRoot();

// One folder name for any text, reversibly: '%', '/', control bytes and a
// leading '.' become %XX, so no escaped name is "", "." or ".." or holds a
// "/"; every other byte is kept as it is.
std::string EscapeFolderName(std::string_view text);
std::string UnescapeFolderName(std::string_view name);

// A folder name for `text`: EscapeFolderName's, or where that is longer
// than a file system takes (255 bytes on most), its start and a hash of the
// whole, so that two long start paths stay two sites.
constexpr std::size_t kLongestFolderName = 200;
std::string FoldedFolderName(std::string_view text);

// The kept walks of a site, oldest first; files being written (or left
// half-written by a crash) are not among them.
std::vector<std::string> HistoryFiles(const std::string& folder);
// When a kept walk was made, from its name: "2026-12-01 07:08:12 UTC";
// the file's name where it is not one of ours.
std::string KeptWalkTime(const std::string& file);

// Writes the tree as the newest walk of the folder, keeping the last
// `keep`: to a temporary name first, renamed once whole, so a crash leaves
// at most a temporary file, which a later save removes. False with the
// reason in `error`; what was kept before is then untouched.
bool SaveHistory(const WalkTree& tree, const NcduMetadata& metadata, const std::string& folder, int keep,
                 std::string& error);

constexpr int kHistoryKeep = 30;

// The newest kept walk of a site: its total and its UTC day, "2026-12-01".
struct KeptWalk {
    std::int64_t bytes = 0;
    std::string day;
};
std::optional<KeptWalk> LastKeptWalk(const std::string& folder);
// "+12.4 MB since 2026-12-01" (powers of 1024), "no change since ...".
std::string ChangeSince(const KeptWalk& before, std::int64_t bytes);

}  // namespace zn
