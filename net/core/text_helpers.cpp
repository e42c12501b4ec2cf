// SPDX-License-Identifier: MIT
#include "net/core/text_helpers.h"

#include <cstdio>

#include "platform/str_to_int.h"

#include <cctype>

namespace zn {

std::string LowerCase(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

std::string_view TrimControl(std::string_view text) {
    std::size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) <= 32) ++first;
    std::size_t last = text.size();
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
    return text.substr(first, last - first);
}

void StripTrailingBlankLines(std::vector<std::string>& lines) {
    while (!lines.empty() && TrimControl(lines.back()).empty()) lines.pop_back();
}

std::string ExtractField(std::string_view line, std::int32_t N, bool SingleWord) {
    std::string_view s = line;
    for (std::int32_t i = 0; i < N; ++i) {
        std::size_t blank = s.find(' ');
        if (blank == std::string_view::npos) return {};
        s = TrimControl(s.substr(blank + 1));
    }
    if (SingleWord) {
        std::size_t blank = s.find(' ');
        if (blank != std::string_view::npos) s = s.substr(0, blank);
    }
    return std::string(TrimControl(s));
}

std::int32_t ExtractIntField(std::string_view line, std::int32_t N) {
    return platform::StrToIntDef(ExtractField(line, N, true), -1);
}

std::string HumanSize(std::int64_t bytes) {
    static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    } else {
        std::snprintf(text, sizeof text, "%.2f %s", value, units[unit]);
    }
    return text;
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || platform::HexDigit(text[i + 1]) < 0 || platform::HexDigit(text[i + 2]) < 0)
            return std::nullopt;
        out += static_cast<char>(platform::HexDigit(text[i + 1]) * 16 + platform::HexDigit(text[i + 2]));
        i += 2;
    }
    return out;
}

}  // namespace zn
