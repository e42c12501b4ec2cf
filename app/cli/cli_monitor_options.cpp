// SPDX-License-Identifier: MIT
#include "app/cli/cli_monitor_options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace cli {
namespace {

// Digits with at most one decimal point, nothing else.
std::optional<double> Decimal(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.') || text == ".") {
        return std::nullopt;
    }
    // strtod, unlike stod, gives HUGE_VAL for a long run of digits rather
    // than throwing; the callers refuse it as too big.
    return std::strtod(text.c_str(), nullptr);
}

std::optional<Bound> ParseBound(const std::string& text) {
    if (!text.empty() && text.back() == '%') {
        auto percent = Decimal(text.substr(0, text.size() - 1));
        if (!percent || *percent > 100) return std::nullopt;
        return Bound{0, *percent};
    }
    auto bytes = ParseSize(text);
    if (!bytes) return std::nullopt;
    return Bound{*bytes, std::nullopt};
}

}  // namespace

std::optional<Threshold> ParseThreshold(const std::string& text) {
    Threshold range;
    std::string rest = text;
    if (!rest.empty() && rest.front() == '@') {
        range.inside = true;
        rest.erase(0, 1);
    }
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        range.start = Bound{};
        range.end = ParseBound(rest);
        return range.end ? std::optional<Threshold>(range) : std::nullopt;
    }
    const std::string from = rest.substr(0, colon), to = rest.substr(colon + 1);
    if (from != "~") {
        range.start = ParseBound(from);
        if (!range.start) return std::nullopt;
    }
    if (!to.empty()) {
        range.end = ParseBound(to);
        if (!range.end) return std::nullopt;
    }
    return range;
}

std::optional<std::int64_t> ParseSize(const std::string& text) {
    static const std::string kUnits = "KMGT";
    std::string number = text;
    double factor = 1;
    if (!number.empty()) {
        const std::size_t unit =
            kUnits.find(static_cast<char>(std::toupper(static_cast<unsigned char>(number.back()))));
        if (unit != std::string::npos) {
            factor = std::ldexp(1.0, 10 * static_cast<int>(unit + 1));
            number.pop_back();
        }
    }
    auto value = Decimal(number);
    if (!value) return std::nullopt;
    const double bytes = std::floor(*value * factor);
    // 2^63 itself does not fit; doubles above it are refused.
    if (bytes >= std::ldexp(1.0, 63)) return std::nullopt;
    return static_cast<std::int64_t>(bytes);
}

bool CheckRequested(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") return false;
        if (arg == "--check") return true;
    }
    return false;
}

}  // namespace cli
