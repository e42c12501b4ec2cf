// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"

// Ini files read and written with the rules of the platform's private-profile
// functions: "[Section]" lines, Key=Value lines, names without regard to
// case, values stripped of a pair of matching quotes.
namespace platform {

class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

constexpr std::size_t kProfileValueMax = 1023;

// The key's value, at most 1023 characters; `fallback` when the file, the
// section or the key does not exist (an empty value is returned as empty).
std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& fallback);

// The key as a whole number ("0x" and "0X" read as "$"); `fallback` for
// anything that is not entirely such a number.
std::int32_t ReadProfileInteger(const std::string& file, const std::string& section, const std::string& key,
                                std::int32_t fallback);

// Sets the key, creating file and section as needed and keeping every other
// line byte for byte. The file is replaced atomically. Raises
// EIniFileException "nach <file> kann nicht geschrieben werden" on failure.
void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace platform
