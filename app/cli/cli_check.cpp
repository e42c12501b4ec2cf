// SPDX-License-Identifier: MIT
// The Nagios plugin guidelines: one line "SERVICE STATUS - text | perfdata"
// on stdout, and the status as the exit code. Perfdata items read
// label=value[unit];warn;crit;min;max, empty fields kept as empty.

#include "app/cli/cli_check.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <ostream>

namespace cli {
namespace {

// Thousands separated by commas, whatever the locale: "35,001".
std::string Grouped(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > (digits[0] == '-' ? 1 : 0); at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

// A server's error text in the status line: one line, and no "|", which
// would start the perfdata.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '|' ? '/' : (static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
    return out;
}

// A range with its ends in bytes.
struct Range {
    std::optional<std::int64_t> start, end;
    bool inside = false;
};

std::optional<std::int64_t> InBytes(const std::optional<Bound>& bound, const std::optional<std::int64_t>& quota) {
    if (!bound) return std::nullopt;
    if (!bound->percent) return bound->bytes;
    return static_cast<std::int64_t>(std::floor(static_cast<double>(*quota) * *bound->percent / 100));
}

std::optional<Range> Resolve(const std::optional<Threshold>& threshold, const std::optional<std::int64_t>& quota) {
    if (!threshold) return std::nullopt;
    return Range{InBytes(threshold->start, quota), InBytes(threshold->end, quota), threshold->inside};
}

// Whether `bytes` calls for the alert. Of a lower bound (a walk that could
// not read everything) only "above the end" is sure.
bool Alerts(const std::optional<Range>& range, std::int64_t bytes, bool lowerBound) {
    if (!range) return false;
    const bool above = range->end && bytes > *range->end;
    if (lowerBound) return !range->inside && above;
    const bool within = (!range->start || bytes >= *range->start) && !above;
    return range->inside ? within : !within;
}

// The range in the perfdata, as the guidelines write it: "10" for 0 to 10.
std::string Field(const std::optional<Range>& range) {
    if (!range) return {};
    std::string end = range->end ? std::to_string(*range->end) : std::string();
    if (!range->inside && range->start == 0 && range->end) return end;
    return (range->inside ? "@" : "") + (range->start ? std::to_string(*range->start) : std::string("~")) + ":" + end;
}

std::string Field(const std::optional<std::int64_t>& value) { return value ? std::to_string(*value) : std::string(); }

}  // namespace

std::string ShortSize(std::int64_t bytes) {
    static const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 6) {
        value /= 1024;
        ++unit;
    }
    if (unit == 0) return std::to_string(bytes) + " B";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", value >= 100 ? 0 : value >= 10 ? 1 : 2, value);
    std::string number = text;
    if (number.find('.') != std::string::npos) {
        number.erase(number.find_last_not_of('0') + 1);
        if (number.back() == '.') number.pop_back();
    }
    return number + " " + units[unit];
}

int PrintCheck(const MonitorOptions& options, const Totals& totals, const CheckRun& run, std::ostream& out) {
    if (!run.loggedOn && !run.interrupted) {
        out << "DIRWEIGH CRITICAL - " << OneLine(totals.error) << '\n';
        return kPluginCritical;
    }
    if (!totals.Measured() || run.interrupted) {
        return PrintCheckUnknown("walk incomplete, the size is not known: " + totals.error, out);
    }
    const auto warning = Resolve(options.warning, options.quota);
    const auto critical = Resolve(options.critical, options.quota);
    // What the user has: --quota, else the space left on top of what is used.
    const auto capacity = options.quota ? options.quota : Capacity(totals);
    int status = kPluginOk;
    if (Alerts(critical, totals.bytes, !totals.complete)) {
        status = kPluginCritical;
    } else if (Alerts(warning, totals.bytes, !totals.complete)) {
        status = kPluginWarning;
    }
    // What was not read only adds to the size: a size over a threshold
    // stays over it, and one under it is not known to be.
    if (!totals.complete && status == kPluginOk) status = kPluginWarning;
    static const char* names[] = {"OK", "WARNING", "CRITICAL"};
    out << "DIRWEIGH " << names[status] << " - ";
    if (!totals.complete) out << OneLine(totals.error) << ", at least ";
    out << ShortSize(totals.bytes);
    if (capacity) out << UsedOf(totals.bytes, *capacity, ShortSize) << ',';
    out << " in " << Grouped(totals.files) << (totals.files == 1 ? " file" : " files") << " | size=" << totals.bytes
        << "B;" << Field(warning) << ';' << Field(critical) << ";0;" << Field(capacity) << " files=" << totals.files
        << ";;;0; dirs=" << totals.directories << ";;;0;";
    if (totals.available) out << " available=" << *totals.available << "B;;;0;";
    out << '\n';
    return status;
}

int PrintCheckUnknown(const std::string& why, std::ostream& out) {
    out << "DIRWEIGH UNKNOWN - " << OneLine(why) << '\n';
    return kPluginUnknown;
}

std::ostream& CheckNotes(const std::vector<std::string>& args, std::ostream& err) {
    static std::ostream nowhere(nullptr);
    if (!CheckRequested(args)) return err;
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "-v" || arg == "--verbose") return err;
    }
    return nowhere;
}

}  // namespace cli
