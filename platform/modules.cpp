#include "platform/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>

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

HMODULE LoadLibrary(const std::string& libraryName) {
    const std::string file = SharedObjectName(libraryName);
    void* handle = nullptr;
    if (TestDirectory()) {
        handle = Open(*TestDirectory() + "/" + file);
        if (handle || TestDirectoryOnly()) return reinterpret_cast<HMODULE>(handle);
    }
    handle = Open(ExecutableDirectory() + "/" + file);
    if (!handle) handle = Open(file);
    return reinterpret_cast<HMODULE>(handle);
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
