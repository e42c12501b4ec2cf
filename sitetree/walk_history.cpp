// SPDX-License-Identifier: MIT
#include "sitetree/walk_history.h"

#include "sitetree/private_files.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace zn {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuffix = ".json.gz";
// A file being written: ".<final name>.tmp.<pid of the writer>".
constexpr std::string_view kTemporary = ".tmp.";
// Names tried, a millisecond apart, before a walk is not kept.
constexpr int kMostNameTries = 1000;

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// UTC to the millisecond, so names sort as the walks came and two walks in
// one second do not meet: 20261208T070812.345Z.
std::string TimeName(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(ms % 1000));
    return std::string(text) + millis;
}

// A temporary file whose writer is gone; one still being written by a
// running process is left alone.
bool IsLeftOver(const std::string& name) {
    const std::size_t at = name.rfind(kTemporary);
    if (name.empty() || name[0] != '.' || at == std::string::npos) return false;
    const long pid = std::strtol(name.c_str() + at + kTemporary.size(), nullptr, 10);
    return pid <= 0 || (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

void RemoveLeftOvers(const std::string& folder) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (IsLeftOver(entry.path().filename().string())) fs::remove(entry.path(), ignored);
    }
}

}  // namespace

std::string HistoryRoot(const std::string& xdgDataHome, const std::string& home) {
    // The XDG rule: a relative value is to be ignored.
    if (!xdgDataHome.empty() && xdgDataHome.front() == '/') return xdgDataHome + "/dirweigh/history";
    if (home.empty()) return {};
    return home + "/.local/share/dirweigh/history";
}

std::string HistoryRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    return HistoryRoot(data ? data : "", home ? home : "");
}

std::string EscapeFolderName(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '%' || byte == '/' || byte < 0x20 || byte == 0x7F || (i == 0 && byte == '.')) {
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 0xF];
        } else {
            name += text[i];
        }
    }
    // An empty name would be the parent folder itself.
    return name.empty() ? "%" : name;
}

std::string UnescapeFolderName(std::string_view name) {
    if (name == "%") return {};
    std::string text;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && std::isxdigit(static_cast<unsigned char>(name[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2]))) {
            text += static_cast<char>(std::stoi(std::string(name.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            text += name[i];
        }
    }
    return text;
}

std::string FoldedFolderName(std::string_view text) {
    std::string name = EscapeFolderName(text);
    if (name.size() <= kLongestFolderName) return name;
    // FNV-1a: the same number for the same name in every build, so a site
    // keeps its folder.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    char tail[20];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    // Not within an escape: a cut "%2" would read back as something else.
    std::size_t keep = kLongestFolderName - std::strlen(tail);
    if (keep >= 1 && name[keep - 1] == '%') keep -= 1;
    if (keep >= 2 && name[keep - 2] == '%') keep -= 2;
    return name.substr(0, keep) + tail;
}

std::vector<std::string> HistoryFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.' && EndsWith(name, kSuffix) && entry.is_regular_file(ignored)) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool SaveHistory(const WalkTree& tree, const NcduMetadata& metadata, const std::string& folder, int keep,
                 std::string& error) {
    if (!MakePrivateFolders(folder, error)) return false;
    RemoveLeftOvers(folder);
    auto when = std::chrono::system_clock::now();
    const std::string name = TimeName(when) + std::string(kSuffix);
    const std::string temporary = folder + "/." + name + std::string(kTemporary) + std::to_string(getpid());
    // A fresh file of its own, 0600: a link planted under the name is not
    // followed, and another walk's file is never written into.
    const int fd = CreatePrivateFile(temporary);
    if (fd < 0) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    // On disk before it takes its name: after a power cut the name must
    // not stand for an empty file.
    if (!SaveNcduCompressed(tree, metadata, fd, temporary, error, Durability::Synced)) {
        unlink(temporary.c_str());
        return false;
    }
    // link, unlike rename, never replaces: two walks that end in the same
    // millisecond (two programs at once) each keep their own, the later a
    // millisecond on.
    for (int tries = 0;; ++tries) {
        const std::string final = folder + "/" + TimeName(when) + std::string(kSuffix);
        if (link(temporary.c_str(), final.c_str()) == 0) break;
        if (errno != EEXIST || tries >= kMostNameTries) {
            error = final + ": " + std::strerror(errno);
            unlink(temporary.c_str());
            return false;
        }
        when += std::chrono::milliseconds(1);
    }
    unlink(temporary.c_str());
    auto files = HistoryFiles(folder);
    std::error_code ignored;
    for (std::size_t i = 0; i + static_cast<std::size_t>(std::max(keep, 1)) < files.size(); ++i) {
        fs::remove(files[i], ignored);
    }
    return true;
}

std::string KeptWalkTime(const std::string& file) {
    std::string name = fs::path(file).filename().string();
    const auto digits = [&name](std::ptrdiff_t from, std::ptrdiff_t to) {
        return std::all_of(name.begin() + from, name.begin() + to,
                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    };
    // 20261201T070812.345Z.json.gz
    const bool ours = name.size() > 15 && name[8] == 'T' && digits(0, 8) && digits(9, 15);
    if (!ours) return name;
    return name.substr(0, 4) + "-" + name.substr(4, 2) + "-" + name.substr(6, 2) + " " + name.substr(9, 2) + ":" +
           name.substr(11, 2) + ":" + name.substr(13, 2) + " UTC";
}

std::optional<KeptWalk> LastKeptWalk(const std::string& folder) {
    const auto files = HistoryFiles(folder);
    if (files.empty()) return std::nullopt;
    std::string error;
    const auto tree = LoadNcdu(files.back(), error);
    if (!tree) return std::nullopt;
    const std::string day = KeptWalkTime(files.back()).substr(0, 10);
    return KeptWalk{tree->TotalBytes(WalkTree::kRoot), day};
}

std::string ChangeSince(const KeptWalk& before, std::int64_t bytes) {
    const std::int64_t change = bytes - before.bytes;
    if (change == 0) return "no change since " + before.day;
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
    double size = std::abs(static_cast<double>(change));
    int unit = 0;
    while (size >= 1024 && unit < 6) {
        size /= 1024;
        ++unit;
    }
    char text[48];
    if (unit == 0) {
        std::snprintf(text, sizeof text, "%c%.0f B", change > 0 ? '+' : '-', size);
    } else {
        std::snprintf(text, sizeof text, "%c%.1f %s", change > 0 ? '+' : '-', size, kUnits[unit]);
    }
    return std::string(text) + " since " + before.day;
}

}  // namespace zn
