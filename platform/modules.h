// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Loading libraries by their platform names. "wsock32.dll" is looked for as
// libwsock32.so beside the running executable first (a portable copy), then
// in the program's private library folder of an installation, then through
// the system's library search.
namespace platform {

using HMODULE = std::uintptr_t;

constexpr unsigned SEM_FAILCRITICALERRORS = 0x0001;
constexpr unsigned SEM_NOOPENFILEERRORBOX = 0x8000;

// "x.dll" -> "libx.so": lower case, ".dll" dropped, "lib" and ".so" added.
std::string SharedObjectName(const std::string& libraryName);

// 0 when the library cannot be loaded; never shows anything.
HMODULE LoadLibrary(const std::string& libraryName);
// Looks the name up on every call; nullptr when absent.
void* GetProcAddress(HMODULE module, const std::string& procName);
bool FreeLibrary(HMODULE module);
// Keeps the mode and returns the previous one; it has no other effect here.
unsigned SetErrorMode(unsigned mode);

std::string ExecutableDirectory();

// Where an installed program keeps its own files, found from the
// executable's directory (so a staged or relocated installation works as
// well): the private library folder and the documentation folder.
std::string InstalledLibraryDirectory();
std::string InstalledDocDirectory();

// The file LoadLibrary would open for the name, when there is one to open
// outside the system's search.
std::optional<std::string> LocateLibrary(const std::string& libraryName);

// Tests decide which libraries exist: with a directory set, libraries are
// looked for there first, and only there when `only` is true. std::nullopt
// restores the normal search.
void SetLibraryDirectoryForTesting(std::optional<std::string> directory, bool only = true);

}  // namespace platform
