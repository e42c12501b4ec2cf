// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zn {

// Folders and files that only their owner may read: what DirWeigh keeps of
// a site names every file on it and the user and host, so they are made
// 0700 and 0600 whatever the umask, as the XDG base directory rules ask.

// Makes `folder` and those above it that are missing, each 0700; `folder`
// itself is made 0700 if it was there already. False with `error` set.
bool MakePrivateFolders(const std::string& folder, std::string& error);
// Creates `file` to write, 0600: never a file that exists, and never
// through a symbolic link someone planted. A descriptor, or -1 with errno.
int CreatePrivateFile(const std::string& file);

}  // namespace zn
