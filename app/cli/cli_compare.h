// SPDX-License-Identifier: MIT
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "sitetree/walk_compare.h"

namespace cli {

// What changed between two walks, for people: each changed directory with
// its old and new total and the change, then the files added, removed and
// grown most. `with` names the earlier walk. Paths are escaped where a
// terminal shows them.
std::string ComparisonText(const zn::WalkComparison& comparison, const std::string& with, bool onTerminal);
// The same as a JSON object.
std::string ComparisonJson(const zn::WalkComparison& comparison, const std::string& with);

// dirweigh-cli diff [--json] [--top N] OLD NEW: two exports compared,
// without connecting. `args` start after "diff".
int RunDiff(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool onTerminal);

constexpr int kCompareFiles = 10;  // files per list unless --top says

}  // namespace cli
