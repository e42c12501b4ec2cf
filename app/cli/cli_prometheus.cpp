// SPDX-License-Identifier: MIT
#include "app/cli/cli_prometheus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace cli {
namespace {

std::string Number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

class Exposition {
public:
    explicit Exposition(std::string labels) : labels_(std::move(labels)) {}

    void Family(const std::string& name, const std::string& help) {
        text_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " gauge\n";
    }
    void Sample(const std::string& name, const std::string& value) { text_ += Name(name) + " " + value + "\n"; }
    std::string Name(const std::string& name) const { return name + "{" + labels_ + "}"; }
    std::string& Text() { return text_; }

private:
    std::string labels_;
    std::string text_;
};

std::string Labels(const std::string& host, const std::string& path) {
    return "host=\"" + PrometheusLabel(host) + "\",path=\"" + PrometheusLabel(path) + "\"";
}

// The value of the sample `name` (labels included) in an earlier file.
std::string PreviousValue(const std::string& previous, const std::string& name) {
    const std::string start = name + " ";
    for (std::size_t at = 0; at < previous.size();) {
        const std::size_t end = std::min(previous.find('\n', at), previous.size());
        if (previous.compare(at, start.size(), start) == 0 && end > at + start.size()) {
            return previous.substr(at + start.size(), end - at - start.size());
        }
        at = end + 1;
    }
    return {};
}

std::string Below(const std::string& start, const std::string& relative) {
    if (relative.empty()) return start;
    return start.back() == '/' ? start + relative : start + "/" + relative;
}

std::string ReadWhole(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Fail(std::string& error, const std::string& what, const std::string& temp = {}) {
    error = what + ": " + std::strerror(errno);
    if (!temp.empty()) unlink(temp.c_str());
    return false;
}

// The new file takes the old one's permissions, or the umask's: the
// collector runs as another user and must be able to read it.
mode_t ModeFor(const std::string& file) {
    struct stat old {};
    if (stat(file.c_str(), &old) == 0) return old.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// A name that does not end in .prom, so the collector never reads the
// file while it is being written.
bool ReplaceFile(const std::string& file, const std::string& content, std::string& error) {
    const std::size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return Fail(error, "cannot write in " + folder);
    fchmod(fd, ModeFor(file));
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(fd, content.data() + written, content.size() - written);
        if (n <= 0) {
            close(fd);
            return Fail(error, "cannot write " + temp, temp);
        }
        written += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) {
        close(fd);
        return Fail(error, "cannot write " + temp, temp);
    }
    if (close(fd) != 0) return Fail(error, "cannot write " + temp, temp);
    if (rename(temp.c_str(), file.c_str()) != 0) return Fail(error, "cannot replace " + file, temp);
    return true;
}

}  // namespace

// Names are bytes and the format is UTF-8. Replacing what is not UTF-8
// would give "caf\xE9" and "caf\xE8" one series, which the collector
// refuses; as %XX, with "%" itself as %25, every name keeps its own and a
// reader gets the bytes back as from a URL.
std::string PrometheusLabel(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t length = Utf8SequenceLength(value, i);
        const char c = value[i];
        if (length == 0 || c == '%') {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0xF];
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out.append(value, i, length);
        }
        i += std::max<std::size_t>(length, 1);
    }
    return out;
}

std::string PrometheusText(const PrometheusWalk& walk, const std::string& previous) {
    Exposition site(Labels(walk.host, walk.path));
    const Totals& totals = walk.totals;
    // After a walk that could not read everything the sizes are lower
    // bounds, beside the gauges of what was not read: a monitor sees both.
    if (totals.Measured()) {
        site.Family("dirweigh_bytes", "Bytes in the files below the start directory.");
        site.Sample("dirweigh_bytes", std::to_string(totals.bytes));
        site.Family("dirweigh_files", "Files below the start directory.");
        site.Sample("dirweigh_files", std::to_string(totals.files));
        site.Family("dirweigh_directories", "Directories walked, the start directory included.");
        site.Sample("dirweigh_directories", std::to_string(totals.directories));
        if (totals.available) {
            site.Family("dirweigh_available_bytes", "Space left to the user, as the server tells it (AVBL).");
            site.Sample("dirweigh_available_bytes", std::to_string(*totals.available));
        }
    }
    if (totals.Measured()) {
        site.Family("dirweigh_unreadable_directories",
                    "Directories the server refused to open or list in the last walk; their sizes are not counted.");
        site.Sample("dirweigh_unreadable_directories", std::to_string(totals.unreadableDirectories));
        site.Family("dirweigh_cut_directories",
                    "Directories the server listed only in part in the last walk; what it left out is not counted.");
        site.Sample("dirweigh_cut_directories", std::to_string(totals.cutDirectories));
    }
    site.Family("dirweigh_walk_complete", "1 when the last walk saw every directory, else 0.");
    site.Sample("dirweigh_walk_complete", totals.complete ? "1" : "0");
    site.Family("dirweigh_walk_duration_seconds", "How long the last walk took, logon included.");
    site.Sample("dirweigh_walk_duration_seconds", Number(walk.durationSeconds));
    const std::string lastSuccess = totals.complete
                                        ? Number(walk.nowSeconds)
                                        : PreviousValue(previous, site.Name("dirweigh_last_success_timestamp_seconds"));
    if (!lastSuccess.empty()) {
        site.Family("dirweigh_last_success_timestamp_seconds", "When a walk last completed, in seconds since 1970.");
        site.Sample("dirweigh_last_success_timestamp_seconds", lastSuccess);
    }
    std::string text = std::move(site.Text());
    if (totals.Measured() && walk.maxDepth >= 0) {
        text +=
            "# HELP dirweigh_directory_bytes Bytes below each directory, down to the depth asked for.\n"
            "# TYPE dirweigh_directory_bytes gauge\n";
        for (const DuLine& line : walk.directories) {
            if (line.depth > walk.maxDepth) continue;
            text += "dirweigh_directory_bytes{" + Labels(walk.host, Below(walk.path, line.path)) + "} " +
                    std::to_string(line.bytes) + "\n";
        }
    }
    return text;
}

bool WritePrometheusFile(const std::string& file, const PrometheusWalk& walk, std::string& error) {
    return ReplaceFile(file, PrometheusText(walk, ReadWhole(file)), error);
}

}  // namespace cli
