// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/cli/cli_monitor_options.h"
#include "app/cli/cli_report.h"

namespace cli {

// The exit statuses of a Nagios or Icinga plugin.
constexpr int kPluginOk = 0;
constexpr int kPluginWarning = 1;
constexpr int kPluginCritical = 2;
constexpr int kPluginUnknown = 3;

// How far the run got: a failure before the logon was done means the site
// cannot be reached (CRITICAL); one after it, a walk that could not say
// how big the site is (UNKNOWN).
struct CheckRun {
    bool loggedOn = false;
    bool interrupted = false;
};

// "DIRWEIGH OK - 851 MiB in 35,001 files | size=892340224B;838860800;..."
// on `out`; returns the plugin's exit status.
int PrintCheck(const MonitorOptions& options, const Totals& totals, const CheckRun& run, std::ostream& out);
// A command line that cannot be understood: UNKNOWN, with what is wrong.
int PrintCheckUnknown(const std::string& why, std::ostream& out);
// Where a plugin run's notes go: nowhere unless -v asks for them, since a
// monitoring system may show whatever the plugin writes, stderr too.
std::ostream& CheckNotes(const std::vector<std::string>& args, std::ostream& err);
// 851 MiB, 1.19 GiB, 12.3 KiB: three figures at most, as a status line
// has room for.
std::string ShortSize(std::int64_t bytes);

}  // namespace cli
