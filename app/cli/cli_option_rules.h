// SPDX-License-Identifier: MIT
#pragma once

#include "app/cli/cli_option_table.h"

namespace cli {

// When a rule of the options as a whole is checked. A command line that
// only lists the dial-up entries, or only reads an export, stops before the
// later stages.
enum class RuleStage {
    Always,   // every command line
    Reports,  // all but --list-dial-entries alone
    Walk,     // a walk of a server, once the server is read
};

// The first rule of `stage` the command line breaks, in the order a user
// hears of them; nullptr when it breaks none.
const char* BrokenRule(RuleStage stage, const Reading& reading);

}  // namespace cli
