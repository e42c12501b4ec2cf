// SPDX-License-Identifier: MIT
#include "platform/profile.h"

#include "platform/str_to_int.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

namespace platform {
namespace {

struct Line {
    std::string text;    // without its line end
    std::string ending;  // "\r\n", "\n", "\r" or "" for a last line without one
};

std::vector<Line> SplitLines(const std::string& content) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back({content.substr(start), ""});
            break;
        }
        std::size_t next = end + 1;
        if (content[end] == '\r' && next < content.size() && content[next] == '\n') ++next;
        lines.push_back({content.substr(start, end - start), content.substr(end, next - end)});
        start = next;
    }
    return lines;
}

// The file's bytes; nothing when it is missing or cannot be read (a
// directory in its place, no permission).
std::optional<std::string> ReadFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string content((std::istreambuf_iterator<char>(in)), {});
    if (in.bad()) return std::nullopt;
    return content;
}

// True also when it cannot be told (a directory on the way that cannot be
// searched): then the file is not replaced blindly.
bool Exists(const std::string& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error)) return true;
    return error && error.value() != ENOENT;
}

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// The section name of a "[name]" line. It ends at the line's last "]":
// a section named after an IPv6 server ("[TLS [::1]:2121]") holds one of
// its own.
std::optional<std::string_view> SectionName(std::string_view line) {
    std::string_view text = Trim(line);
    if (text.empty() || text.front() != '[') return std::nullopt;
    std::size_t close = text.rfind(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(text.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> SplitKeyValue(std::string_view line) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return KeyValue{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// Index of the section's header line, and the end of its lines.
struct SectionRange {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionRange> FindSection(const std::vector<Line>& lines, const std::string& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i].text);
        if (!name || !SameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end].text)) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, SectionRange range, const std::string& key) {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        auto kv = SplitKeyValue(lines[i].text);
        if (kv && SameName(kv->key, key)) return i;
    }
    return std::nullopt;
}

[[noreturn]] void RaiseWriteError(const std::string& file) {
    char message[4096];
    std::snprintf(message, sizeof message, "nach %s kann nicht geschrieben werden", file.c_str());
    throw EIniFileException(message);
}

std::string DirectoryOf(const std::string& file) {
    std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

// Writes the new content beside the file and renames it over the file, so
// that a crash leaves either the old file or the new one, never a torn one.
bool ReplaceAtomically(const std::string& file, const std::string& content) {
    std::string temp = DirectoryOf(file) + "/.dirweigh-ini-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    struct stat old {};
    fchmod(fd, stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    std::size_t written = 0;
    while (written < content.size()) {
        ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    bool ok = written == content.size() && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(temp.c_str(), file.c_str()) == 0) return true;
    unlink(temp.c_str());
    return false;
}

std::string Join(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& line : lines) out += line.text + line.ending;
    return out;
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& fallback) {
    auto content = ReadFile(file);
    if (!content) return fallback;
    std::vector<Line> lines = SplitLines(*content);
    auto range = FindSection(lines, section);
    if (!range) return fallback;
    auto index = FindKey(lines, *range, key);
    if (!index) return fallback;
    std::string value = Unquote(SplitKeyValue(lines[*index].text)->value);
    if (value.size() > kProfileValueMax) value.resize(kProfileValueMax);
    return value;
}

std::int32_t ReadProfileInteger(const std::string& file, const std::string& section, const std::string& key,
                                std::int32_t fallback) {
    std::string text = ReadProfileString(file, section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
    return StrToIntDef(text, fallback);
}

void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
    // A file that is there but cannot be read is not replaced: its other
    // lines would be lost.
    std::optional<std::string> content = ReadFile(file);
    if (!content && Exists(file)) RaiseWriteError(file);
    std::vector<Line> lines = SplitLines(content.value_or(""));
    const std::string eol = lines.empty() || lines.front().ending.empty() ? "\n" : lines.front().ending;
    const std::string setting = key + "=" + value;

    if (auto range = FindSection(lines, section)) {
        if (auto index = FindKey(lines, *range, key)) {
            lines[*index].text = setting;
        } else {
            // After the section's last non-blank line, before blank lines
            // that separate it from the next section.
            std::size_t at = range->end;
            while (at > range->header + 1 && Trim(lines[at - 1].text).empty()) --at;
            if (lines[at - 1].ending.empty()) lines[at - 1].ending = eol;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{setting, eol});
        }
    } else {
        if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = eol;
        lines.push_back({"[" + section + "]", eol});
        lines.push_back({setting, eol});
    }
    if (!ReplaceAtomically(file, Join(lines))) RaiseWriteError(file);
}

}  // namespace platform
