// SPDX-License-Identifier: MIT
#include "sitetree/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace zn {

bool MakePrivateFolders(const std::string& folder, std::string& error) {
    namespace fs = std::filesystem;
    std::vector<fs::path> missing;
    std::error_code failed;
    for (fs::path at = folder; !at.empty() && !fs::exists(at, failed); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    // The outermost first.
    std::reverse(missing.begin(), missing.end());
    for (const fs::path& path : missing) {
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            error = path.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    // mkdir's mode passes through the umask, and an older folder may be
    // open to all: the folder is set as it must be.
    if (chmod(folder.c_str(), 0700) != 0) {
        error = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int CreatePrivateFile(const std::string& file) {
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    // The umask may have taken bits that were not there to take; fchmod
    // says 0600 whatever it is.
    if (fd >= 0) fchmod(fd, 0600);
    return fd;
}

}  // namespace zn
