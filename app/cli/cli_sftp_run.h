// SPDX-License-Identifier: MIT
#pragma once

#include <iosfwd>
#include <string>

#include "app/cli/cli_options.h"
#include "app/cli/cli_run.h"

namespace cli {

// The run of an sftp:// URL: connects, checks the host key, logs on, walks
// over SFTP and reports as an FTP walk does. Returns the exit status.
int WalkSftpAndReport(const Options& options, const Environment& environment, std::ostream& out, std::ostream& err);

}  // namespace cli
