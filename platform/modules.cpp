// SPDX-License-Identifier: MIT
#include "platform/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <vector>

namespace platform {
namespace {

std::optional<std::string>& TestDirectory() {
    static std::optional<std::string> directory;
    return directory;
}

bool& TestDirectoryOnly() {
    static bool only = true;
    return only;
}

void* Open(const std::string& path) {
    // RTLD_LOCAL: a sockets library exports recv, send and friends, which
    // must never shadow the C library's for the rest of the process.
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

std::string SharedObjectName(const std::string& libraryName) {
    std::string name = libraryName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.size() > 4 && name.ends_with(".dll")) name.resize(name.size() - 4);
    return "lib" + name + ".so";
}

std::string ExecutableDirectory() {
    std::error_code error;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : exe.parent_path().string();
}

// Set by the build: both folders relative to the installed executable's.
#ifndef DIRWEIGH_RELATIVE_LIBDIR
#define DIRWEIGH_RELATIVE_LIBDIR "../lib/dirweigh"
#endif
#ifndef DIRWEIGH_RELATIVE_DOCDIR
#define DIRWEIGH_RELATIVE_DOCDIR "../share/doc/dirweigh"
#endif

std::string InstalledLibraryDirectory() { return ExecutableDirectory() + "/" + DIRWEIGH_RELATIVE_LIBDIR; }
std::string InstalledDocDirectory() { return ExecutableDirectory() + "/" + DIRWEIGH_RELATIVE_DOCDIR; }

namespace {

// The folders searched before the system's search, in order.
std::vector<std::string> LibraryFolders() {
    std::vector<std::string> folders;
    if (TestDirectory()) folders.push_back(*TestDirectory());
    if (!TestDirectory() || !TestDirectoryOnly()) {
        folders.push_back(ExecutableDirectory());
        folders.push_back(InstalledLibraryDirectory());
    }
    return folders;
}

// folder/file, built in place: it runs once for each folder searched.
std::string InFolder(const std::string& folder, const std::string& file) {
    std::string path = folder;
    path += '/';
    path += file;
    return path;
}

}  // namespace

std::optional<std::string> LocateLibrary(const std::string& libraryName) {
    const std::string file = SharedObjectName(libraryName);
    for (const std::string& folder : LibraryFolders()) {
        std::string path = InFolder(folder, file);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path;
    }
    return std::nullopt;
}

HMODULE LoadLibrary(const std::string& libraryName) {
    const std::string file = SharedObjectName(libraryName);
    for (const std::string& folder : LibraryFolders()) {
        if (void* handle = Open(InFolder(folder, file))) return reinterpret_cast<HMODULE>(handle);
    }
    if (TestDirectory() && TestDirectoryOnly()) return 0;
    return reinterpret_cast<HMODULE>(Open(file));
}

void* GetProcAddress(HMODULE module, const std::string& procName) {
    if (!module) return nullptr;
    return dlsym(reinterpret_cast<void*>(module), procName.c_str());
}

bool FreeLibrary(HMODULE module) { return module && dlclose(reinterpret_cast<void*>(module)) == 0; }

unsigned SetErrorMode(unsigned mode) {
    static std::atomic<unsigned> current{0};
    return current.exchange(mode);
}

void SetLibraryDirectoryForTesting(std::optional<std::string> directory, bool only) {
    TestDirectory() = std::move(directory);
    TestDirectoryOnly() = only;
}

}  // namespace platform
