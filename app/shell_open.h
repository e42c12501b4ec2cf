// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

// Opens a file with the program associated with it, as the desktop does.
// Returns false when nothing was opened; nothing is shown either way.
bool ShellOpen(const std::string& path);

// Tests replace the desktop with a recorder; returns the previous opener.
using ShellOpener = std::function<bool(const std::string& path)>;
ShellOpener SetShellOpener(ShellOpener opener);
