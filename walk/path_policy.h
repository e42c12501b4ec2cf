// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace zn {

// Whether the server's STAT takes a path with a blank whole. Split: its
// directories are entered with CWD and listed with "STAT .", sent ahead
// like the others; SplitListed: even that fails, and they are listed by
// CWD and LIST. Unknown until the first such directory that holds
// something has been listed both ways.
enum class Blanks : std::uint8_t { Unknown, Whole, Split, SplitListed };

// How the fast walk lists a directory, by its absolute path.
enum class PathListing : std::uint8_t {
    Stat,              // "STAT <path>", sent ahead
    StatInside,        // "CWD <path>" and "STAT .", sent ahead
    Cwd,               // CWD and LIST over the first connection
    CwdProbingBlanks,  // the same, and its STAT beside it tells Blanks
};

// A path STAT may not take as a plain path: a component that starts like
// an option ("-") or holds a pattern character ("*", "?", "[").
bool MayBeReadAsPattern(const std::string& path);
// A blank, where many servers split STAT's argument.
bool HoldsBlank(const std::string& path);
// `statCut`: its STAT reply came with lines cut, or listed another
// directory, so that only CWD and LIST are left.
PathListing HowToList(const std::string& path, Blanks blanks, bool statCut);
// `name` in the directory at the absolute path `parent`.
std::string ChildPath(const std::string& parent, const std::string& name);

}  // namespace zn
