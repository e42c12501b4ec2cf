// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// One end of a -w or -c range: bytes, or a percentage of --quota.
struct Bound {
    std::int64_t bytes = 0;
    std::optional<double> percent;
};

// A -w or -c range as the plugin guidelines write it: "10" alerts above 10
// (or below 0), "10:" below 10, "~:10" above 10, "10:20" outside 10 to 20,
// "@10:20" inside it.
struct Threshold {
    std::optional<Bound> start;  // none: no lower end ("~")
    std::optional<Bound> end;    // none: no upper end ("10:")
    bool inside = false;         // "@"
};

// What monitoring systems ask of a walk: the plugin's verdict (--check)
// and the textfile collector's file (--prometheus).
struct MonitorOptions {
    bool check = false;
    std::optional<Threshold> warning;
    std::optional<Threshold> critical;
    std::optional<std::int64_t> quota;
    std::string prometheusFile;
};

// A -w or -c range ("@1G:10G", "80%"); none when it is not one.
std::optional<Threshold> ParseThreshold(const std::string& text);
// "800M", "1.5G", "1048576": K, M, G and T are powers of 1024.
std::optional<std::int64_t> ParseSize(const std::string& text);
// Whether the command line asks for the plugin's verdict, read before the
// rest of it is understood: a usage error must still be answered UNKNOWN.
bool CheckRequested(const std::vector<std::string>& args);

}  // namespace cli
