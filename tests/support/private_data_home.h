// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testsupport {

// Every walk that completes keeps a copy in $XDG_DATA_HOME: a test binary
// points it at a folder of its own, removed at the end, so that no test
// writes to the user's home.
class PrivateDataHome {
public:
    PrivateDataHome() {
        std::string name = (std::filesystem::temp_directory_path() / "dirweigh-data-XXXXXX").string();
        if (mkdtemp(name.data())) {
            folder_ = name;
            setenv("XDG_DATA_HOME", folder_.c_str(), 1);
        }
    }
    ~PrivateDataHome() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    PrivateDataHome(const PrivateDataHome&) = delete;
    PrivateDataHome& operator=(const PrivateDataHome&) = delete;

private:
    std::string folder_;
};

}  // namespace testsupport
