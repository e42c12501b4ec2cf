#include "app/cli/cli_report.h"

#include <cstdio>

namespace cli {
namespace {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace

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

std::string SummaryLine(const Totals& totals) {
    std::string line = std::to_string(totals.bytes) + " bytes (" + HumanSize(totals.bytes) + "), " +
                       std::to_string(totals.files) + " files, " + std::to_string(totals.directories) + " directories";
    return totals.complete ? line : line + " (incomplete)";
}

std::string JsonObject(const Totals& totals) {
    return "{\"bytes\": " + std::to_string(totals.bytes) + ", \"kilobytes\": " + std::to_string(totals.bytes / 1024) +
           ", \"files\": " + std::to_string(totals.files) + ", \"directories\": " + std::to_string(totals.directories) +
           ", \"skipped_directories\": " + std::to_string(totals.skippedDirectories) +
           ", \"unparsed_lines\": " + std::to_string(totals.unparsedLines) +
           ", \"complete\": " + (totals.complete ? "true" : "false") +
           ", \"error\": " + (totals.complete ? std::string("null") : JsonString(totals.error)) + "}";
}

std::string DuListing(const std::vector<DuLine>& lines, int maxDepth) {
    std::string out;
    for (const DuLine& line : lines) {
        if (maxDepth >= 0 && line.depth > maxDepth) continue;
        out += std::to_string(line.bytes) + "\t" + (line.path.empty() ? "." : "./" + line.path) + "\n";
    }
    return out;
}

}  // namespace cli
