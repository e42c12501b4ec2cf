// SPDX-License-Identifier: MIT
// How each option of the table is read: its argument checked, and where it
// goes in the options.
#include "app/cli/cli_option_readers.h"

#include "net/core/text_helpers.h"
#include "net/tls_channel.h"
#include "platform/str_to_int.h"

#include <limits>

namespace cli {
namespace {

// Digits only: StrToInt32 alone would take a sign, blanks and "$" hex.
std::optional<int> Number(const OptionValue& value, int least, int most = std::numeric_limits<int>::max()) {
    if (!value) return std::nullopt;
    auto number = platform::StrToInt32(*value);
    if (!number || *number < least || *number > most || value->find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return *number;
}

bool Empty(const OptionValue& value) { return !value || value->empty(); }

// An option whose value is text that must not be empty: stored, or the
// message that says what it needs.
std::string StoreText(const OptionValue& value, std::string& target, const char* needs) {
    if (Empty(value)) return needs;
    target = *value;
    return {};
}

std::string ReadThreshold(std::optional<Threshold>& threshold, const std::string& spelling, const OptionValue& value) {
    threshold = value ? ParseThreshold(*value) : std::nullopt;
    if (threshold) return {};
    return spelling +
           " needs a size (800M: K, M, G, T are powers of 1024), a percentage of --quota (80%), or a range of them "
           "(10G:, ~:10G, 1G:10G, @1G:10G)";
}

}  // namespace

std::string ReadHelp(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.help = true;
    reading.done = true;
    return {};
}

std::string ReadVersion(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.version = true;
    reading.done = true;
    return {};
}

std::string ReadEndOfOptions(Reading& reading, const std::string&, const OptionValue&) {
    reading.optionsEnded = true;
    return {};
}

std::string ReadUser(Reading& reading, const std::string&, const OptionValue& value) {
    if (!value) return "--user needs a name";
    reading.user = *value;
    return {};
}

std::string ReadDir(Reading& reading, const std::string&, const OptionValue& value) {
    if (!value) return "--dir needs a directory";
    reading.dir = *value;
    return {};
}

std::string ReadPasswordFile(Reading& reading, const std::string&, const OptionValue& value) {
    if (!value) return "--password-file needs a file";
    reading.options.passwordFile = *value;
    return {};
}

std::string ReadFormat(Reading& reading, const std::string& spelling, const OptionValue&) {
    OutputFormat& format = reading.options.format;
    if (format != OutputFormat::Line) return "choose one of --bytes, --json and --du";
    format = spelling == "--bytes" ? OutputFormat::Bytes : spelling == "--json" ? OutputFormat::Json : OutputFormat::Du;
    return {};
}

std::string ReadMaxDepth(Reading& reading, const std::string&, const OptionValue& value) {
    auto depth = Number(value, 0);
    if (!depth) return "--max-depth needs a whole number, 0 or more";
    reading.options.maxDepth = *depth;
    return {};
}

std::string ReadCheck(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.monitor.check = true;
    return {};
}

std::string ReadWarning(Reading& reading, const std::string& spelling, const OptionValue& value) {
    return ReadThreshold(reading.options.monitor.warning, spelling, value);
}

std::string ReadCritical(Reading& reading, const std::string& spelling, const OptionValue& value) {
    return ReadThreshold(reading.options.monitor.critical, spelling, value);
}

std::string ReadQuota(Reading& reading, const std::string&, const OptionValue& value) {
    auto& quota = reading.options.monitor.quota;
    quota = value ? ParseSize(*value) : std::nullopt;
    if (!quota || *quota == 0) return "--quota needs a size above 0 (1G: K, M, G, T are powers of 1024)";
    return {};
}

std::string ReadPrometheus(Reading& reading, const std::string&, const OptionValue& value) {
    return StoreText(value, reading.options.monitor.prometheusFile, "--prometheus needs a file");
}

std::string ReadTop(Reading& reading, const std::string&, const OptionValue& value) {
    auto count = Number(value, 1);
    if (!count) return "--top needs a whole number, 1 or more";
    reading.options.breakdown.top = *count;
    return {};
}

std::string ReadByExtension(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.breakdown.byExtension = true;
    return {};
}

std::string ReadSort(Reading& reading, const std::string&, const OptionValue& value) {
    if (value != "size") return "--sort needs size";
    reading.options.breakdown.sortBySize = true;
    return {};
}

std::string ReadNcdu(Reading& reading, const std::string&, const OptionValue& value) {
    return StoreText(value, reading.options.breakdown.ncduFile, "--ncdu needs a file");
}

std::string ReadFrom(Reading& reading, const std::string&, const OptionValue& value) {
    return StoreText(value, reading.options.breakdown.fromFile, "--from needs a file");
}

std::string ReadCompare(Reading& reading, const std::string&, const OptionValue& value) {
    return StoreText(value, reading.options.history.compare, "--compare needs last or an export");
}

std::string ReadKeep(Reading& reading, const std::string&, const OptionValue& value) {
    auto count = Number(value, 1);
    if (!count) return "--keep needs a whole number, 1 or more";
    reading.options.history.keep = *count;
    return {};
}

std::string ReadNoHistory(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.history.write = false;
    return {};
}

std::string ReadExclude(Reading& reading, const std::string&, const OptionValue& value) {
    if (Empty(value)) return "--exclude needs a directory name";
    reading.excludes.insert(*value);
    return {};
}

std::string ReadNoDefaultExcludes(Reading& reading, const std::string&, const OptionValue&) {
    reading.defaultExcludes = false;
    return {};
}

std::string ReadPassive(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.passive = true;
    return {};
}

std::string ReadActive(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.passive = false;
    return {};
}

std::string ReadWalk(Reading& reading, const std::string&, const OptionValue& value) {
    if (value != "fast" && value != "design") return "--walk needs fast or design";
    reading.options.fastWalk = value == "fast";
    return {};
}

std::string ReadConnections(Reading& reading, const std::string&, const OptionValue& value) {
    auto count = Number(value, 1, 16);
    if (!count) return "--connections needs a whole number from 1 to 16";
    reading.options.connections = *count;
    reading.connectionsGiven = true;
    return {};
}

// The mode in any case: AUTO, Require.
std::string ReadTls(Reading& reading, const std::string&, const OptionValue& value) {
    const std::string mode = value ? zn::LowerCase(*value) : std::string();
    if (mode == "off") {
        reading.options.tls = TlsChoice::Off;
    } else if (mode == "require") {
        reading.options.tls = TlsChoice::Require;
    } else if (mode == "implicit") {
        reading.options.tls = TlsChoice::Implicit;
    } else if (mode == "auto") {
        reading.options.tls = TlsChoice::Auto;
    } else {
        return "--tls needs auto, require, implicit or off";
    }
    reading.tlsGiven = true;
    return {};
}

std::string ReadTlsFingerprint(Reading& reading, const std::string&, const OptionValue& value) {
    std::string& fingerprint = reading.options.tlsFingerprint;
    fingerprint = value ? zn::NormalizeFingerprint(*value) : std::string();
    if (fingerprint.empty()) return "--tls-fingerprint needs a SHA-256 fingerprint (SHA256:AB:CD:..., 32 bytes)";
    return {};
}

std::string ReadTimeout(Reading& reading, const std::string&, const OptionValue& value) {
    auto seconds = Number(value, 1);
    if (!seconds) return "--timeout needs a whole number of seconds, 1 or more";
    reading.options.timeoutSeconds = *seconds;
    return {};
}

std::string ReadDial(Reading& reading, const std::string&, const OptionValue& value) {
    return StoreText(value, reading.options.dial.entry,
                     "--dial needs the name of a dial-up entry (see --list-dial-entries)");
}

std::string ReadDialTimeout(Reading& reading, const std::string&, const OptionValue& value) {
    auto seconds = Number(value, 1);
    if (!seconds) return "--dial-timeout needs a whole number of seconds, 1 or more";
    reading.options.dial.timeoutSeconds = *seconds;
    reading.options.dial.timeoutGiven = true;
    return {};
}

std::string ReadListDialEntries(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.dial.listEntries = true;
    return {};
}

std::string ReadVerbose(Reading& reading, const std::string&, const OptionValue&) {
    reading.options.verbose = true;
    return {};
}

}  // namespace cli
