// SPDX-License-Identifier: MIT
#include "platform/str_to_int.h"

#include <limits>

namespace platform {
namespace {

// "$1F": hexadecimal digits, read as the unsigned type of the same width.
template <typename Int>
std::optional<Int> ConvertHex(std::string_view digits) {
    using Unsigned = std::make_unsigned_t<Int>;
    if (digits.empty()) return std::nullopt;
    Unsigned value = 0;
    for (char c : digits) {
        int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        if (value > (std::numeric_limits<Unsigned>::max() >> 4)) return std::nullopt;
        value = static_cast<Unsigned>((value << 4) | static_cast<Unsigned>(digit));
    }
    return static_cast<Int>(value);
}

// "-12", "+12", "12": decimal digits after an optional sign.
template <typename Int>
std::optional<Int> ConvertDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulate as a negative number so that the type's minimum fits.
    Int value = 0;
    constexpr Int kMin = std::numeric_limits<Int>::min();
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        Int digit = static_cast<Int>(c - '0');
        if (value < (kMin + digit) / 10) return std::nullopt;
        value = static_cast<Int>(value * 10 - digit);
    }
    if (negative) return value;
    if (value == kMin) return std::nullopt;
    return static_cast<Int>(-value);
}

template <typename Int>
std::optional<Int> Convert(std::string_view text) {
    const std::size_t start = text.find_first_not_of(' ');
    text.remove_prefix(start == std::string_view::npos ? text.size() : start);
    if (!text.empty() && text[0] == '$') return ConvertHex<Int>(text.substr(1));
    return ConvertDecimal<Int>(text);
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
