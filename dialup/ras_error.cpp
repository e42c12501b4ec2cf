// SPDX-License-Identifier: MIT
#include "dialup/ras_error.h"

#include "platform/modules.h"
#include "platform/rasapi32/ras_api.h"

#include <cstring>
#include <string>

namespace zn {
namespace {

// The library is loaded once more just for the text, and let go again.
std::string MessageFor(std::int32_t code) {
    char buffer[256] = {};
    platform::HMODULE module = platform::LoadLibrary("rasapi32.dll");
    if (!module) return {};
    if (auto fn =
            reinterpret_cast<ras::RasGetErrorStringA_fn>(platform::GetProcAddress(module, "RasGetErrorStringA"))) {
        if (fn(static_cast<ras::DWORD>(code), buffer, sizeof buffer) != 0) {
            std::snprintf(buffer, sizeof buffer, "RAS error no %d", code);
        }
    }
    platform::FreeLibrary(module);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

}  // namespace

ERASError::ERASError(std::int32_t errorCode) : platform::Exception(MessageFor(errorCode)), ErrorCode(errorCode) {}

}  // namespace zn
