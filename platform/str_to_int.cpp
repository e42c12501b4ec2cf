// SPDX-License-Identifier: MIT
#include "platform/str_to_int.h"

#include <limits>

namespace platform {
namespace {

template <typename Int>
std::optional<Int> Convert(std::string_view text) {
    using Unsigned = std::make_unsigned_t<Int>;
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && text[i] == '$') {
        ++i;
        if (i == text.size()) return std::nullopt;
        Unsigned value = 0;
        for (; i < text.size(); ++i) {
            int digit = HexDigit(text[i]);
            if (digit < 0) return std::nullopt;
            if (value > (std::numeric_limits<Unsigned>::max() >> 4)) return std::nullopt;
            value = static_cast<Unsigned>((value << 4) | static_cast<Unsigned>(digit));
        }
        return static_cast<Int>(value);
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate as a negative number so that the type's minimum fits.
    Int value = 0;
    constexpr Int kMin = std::numeric_limits<Int>::min();
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        Int digit = static_cast<Int>(c - '0');
        if (value < (kMin + digit) / 10) return std::nullopt;
        value = static_cast<Int>(value * 10 - digit);
    }
    if (negative) return value;
    if (value == kMin) return std::nullopt;
    return static_cast<Int>(-value);
}

}  // namespace

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::int32_t> StrToInt32(std::string_view text) { return Convert<std::int32_t>(text); }
std::optional<std::int64_t> StrToInt64(std::string_view text) { return Convert<std::int64_t>(text); }

}  // namespace platform
