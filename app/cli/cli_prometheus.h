// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "app/cli/cli_report.h"

namespace cli {

// One walk as node_exporter's textfile collector reads it.
struct PrometheusWalk {
    std::string host;  // host, or host:port
    std::string path;  // the start directory; "/" for where the logon puts us
    Totals totals;
    std::vector<DuLine> directories;
    int maxDepth = 1;
    double durationSeconds = 0;
    double nowSeconds = 0;  // since the epoch
};

// The text exposition format: HELP and TYPE lines, one sample a line, no
// timestamps, a final newline. A walk that did not complete gives no sizes
// (a part of the site would read as a site that shrank) and keeps the last
// success time found in `previous`, the file it replaces.
std::string PrometheusText(const PrometheusWalk& walk, const std::string& previous);
// Writes PrometheusText to `file` through a temporary file in the same
// folder, renamed over it: the collector reads the old file or the new
// one, never half of one. False, with the reason, when it cannot.
bool WritePrometheusFile(const std::string& file, const PrometheusWalk& walk, std::string& error);
// A label value between its quotes: \ " and newline escaped; each byte
// that is not part of well-formed UTF-8, and "%", as "%" and two hex digits.
std::string PrometheusLabel(const std::string& value);

}  // namespace cli
