// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Where dirweigh.ini lives. Beside the program when a dirweigh.ini is
// already there or the program's folder can be written: a portable copy
// keeps its settings with it. Otherwise (an installed program in a folder
// the user cannot write) in the user's configuration folder,
// $XDG_CONFIG_HOME/dirweigh, by default ~/.config/dirweigh.
std::string SettingsFile(const std::string& appDir, bool appDirWritable, const std::string& xdgConfigHome,
                         const std::string& home);
// The same, from the file system and the environment.
std::string SettingsFile(const std::string& appDir);

// Makes the folder of `iniFileName` if it is not there yet; a failure
// shows when the file is written.
void CreateSettingsFolder(const std::string& iniFileName);

// The read-me beside the program, else the installed one.
std::string ReadMeFile(const std::string& appDir);
