// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// A whole number from text: leading blanks, then an optional sign and
// decimal digits, or "$" and hexadecimal digits. The whole text must be the
// number. Decimal values outside the type's range are
// refused; hexadecimal values wrap into the type ("$FFFFFFFF" is -1 as a
// 32-bit value).
std::optional<std::int32_t> StrToInt32(std::string_view text);
std::optional<std::int64_t> StrToInt64(std::string_view text);

// The value of a hexadecimal digit, -1 for any other character.
int HexDigit(char c);

inline std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
    return StrToInt32(text).value_or(fallback);
}

}  // namespace platform
