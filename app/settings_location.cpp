// SPDX-License-Identifier: MIT
#include "app/settings_location.h"

#include "platform/modules.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

std::string SettingsFile(const std::string& appDir, bool appDirWritable, const std::string& xdgConfigHome,
                         const std::string& home) {
    std::string beside = appDir + "/dirweigh.ini";
    if (appDirWritable || Exists(beside)) return beside;
    // A relative XDG_CONFIG_HOME is not to be used (freedesktop.org's rule):
    // it would depend on the folder the program was started from.
    const std::string config = !xdgConfigHome.empty() && xdgConfigHome[0] == '/' ? xdgConfigHome : home + "/.config";
    return config + "/dirweigh/dirweigh.ini";
}

std::string SettingsFile(const std::string& appDir) {
    return SettingsFile(appDir, access(appDir.c_str(), W_OK) == 0, Environment("XDG_CONFIG_HOME"), Environment("HOME"));
}

std::string ReadMeFile(const std::string& appDir) {
    const std::string beside = appDir + "/dirweigh.txt";
    const std::string installed = platform::InstalledDocDirectory() + "/dirweigh.txt";
    return Exists(beside) || !Exists(installed) ? beside : installed;
}

void CreateSettingsFolder(const std::string& iniFileName) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(iniFileName).parent_path(), ignored);
}
