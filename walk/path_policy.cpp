// SPDX-License-Identifier: MIT
#include "walk/path_policy.h"

#include <algorithm>
#include <string_view>

namespace zn {

bool MayBeReadAsPattern(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view component(path.data() + start, end - start);
        if ((!component.empty() && component.front() == '-') ||
            component.find_first_of("*?[") != std::string_view::npos)
            return true;
        start = end + 1;
    }
    return false;
}

bool HoldsBlank(const std::string& path) { return path.find(' ') != std::string::npos; }

// The first directory with a blank, before the server's way with blanks is
// known, is listed by CWD and tells it, whatever else its path holds.
PathListing HowToList(const std::string& path, Blanks blanks, bool statCut) {
    const bool blank = HoldsBlank(path);
    if (blank && blanks == Blanks::Unknown) return PathListing::CwdProbingBlanks;
    if (statCut || MayBeReadAsPattern(path)) return PathListing::Cwd;
    if (blank && blanks == Blanks::SplitListed) return PathListing::Cwd;
    if (blank && blanks == Blanks::Split) return PathListing::StatInside;
    return PathListing::Stat;
}

std::string ChildPath(const std::string& parent, const std::string& name) {
    return parent == "/" ? "/" + name : parent + "/" + name;
}

}  // namespace zn
