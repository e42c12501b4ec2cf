// SPDX-License-Identifier: MIT
#include "app/cli/cli_report.h"

#include <cstdio>

namespace cli {

std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    }
    return length;
}

// Server replies and names are bytes in whatever code page the server
// uses; JSON must be UTF-8, so a byte that is not part of a well-formed
// sequence becomes U+FFFD.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        ++i;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
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

namespace {

std::string Counted(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::optional<std::int64_t> Capacity(const Totals& totals) { return zn::Capacity(totals.bytes, totals.available); }

std::string SummaryLine(const Totals& totals) {
    std::string line = Counted(totals.bytes, "byte", "bytes") + " (" + HumanSize(totals.bytes) +
                       UsedOf(totals.bytes, Capacity(totals).value_or(0), HumanSize) + "), " +
                       Counted(totals.files, "file", "files") + ", " +
                       Counted(totals.directories, "directory", "directories");
    if (totals.refusedDirectories > 0) {
        line += ", " + std::to_string(totals.refusedDirectories) + " not entered (names with \"/\" or empty)";
    }
    if (totals.unreadableDirectories > 0) {
        line += ", " + Counted(totals.unreadableDirectories, "directory", "directories") +
                " not read (refused by the server)";
    }
    if (totals.cutDirectories > 0) {
        line += ", " + Counted(totals.cutDirectories, "directory", "directories") +
                " listed only in part (the server cut the listing)";
    }
    if (totals.unparsedLines > 0) {
        line += ", " + Counted(totals.unparsedLines, "listing line", "listing lines") +
                " not read (their sizes are not in the total)";
    }
    return totals.complete ? line : line + " (incomplete)";
}

std::string JsonObject(const Totals& totals) {
    return "{\"bytes\": " + std::to_string(totals.bytes) + ", \"kilobytes\": " + std::to_string(totals.bytes / 1024) +
           ", \"files\": " + std::to_string(totals.files) + ", \"directories\": " + std::to_string(totals.directories) +
           ", \"skipped_directories\": " + std::to_string(totals.skippedDirectories) +
           ", \"refused_directories\": " + std::to_string(totals.refusedDirectories) +
           ", \"unreadable_directories\": " + std::to_string(totals.unreadableDirectories) +
           ", \"cut_directories\": " + std::to_string(totals.cutDirectories) +
           ", \"unparsed_lines\": " + std::to_string(totals.unparsedLines) +
           ", \"available_bytes\": " + (totals.available ? std::to_string(*totals.available) : std::string("null")) +
           ", \"tls\": " + (totals.tls ? "true" : "false") +
           ", \"listing\": " + (totals.listing.empty() ? std::string("null") : JsonString(totals.listing)) +
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
