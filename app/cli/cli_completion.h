// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace cli {

// The bash completion script of dirweigh-cli: its option names, and for an
// option's argument the words it takes, file names, or the dial-up entries
// dirweigh-cli --list-dial-entries prints.
std::string BashCompletion();

}  // namespace cli
