// SPDX-License-Identifier: MIT
#include "app/cli/cli_options.h"

#include "net/text_helpers.h"
#include "net/tls_channel.h"
#include "platform/str_to_int.h"

namespace cli {
namespace {

// %XX escapes, as URLs carry user names and paths with spaces.
std::optional<std::string> PercentDecode(const std::string& text) {
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

// ftp://[USER@]HOST[:PORT][/START/DIR] or HOST[:PORT].
std::string ReadServer(const std::string& argument, Options& options) {
    std::string rest = argument;
    if (rest.rfind("ftp://", 0) == 0) {
        rest = rest.substr(6);
        const std::size_t slash = rest.find('/');
        std::string authority = rest.substr(0, slash);
        if (slash != std::string::npos && slash + 1 < rest.size()) {
            auto path = PercentDecode(rest.substr(slash + 1));
            if (!path) return "bad %-escape in the start directory of " + argument;
            options.dir = *path;
        }
        if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
            auto user = PercentDecode(authority.substr(0, at));
            if (!user || user->empty()) return "bad user name in " + argument;
            if (user->find(':') != std::string::npos) return "give no password in the URL; see --password-file";
            options.user = *user;
            authority = authority.substr(at + 1);
        }
        rest = authority;
    } else if (rest.find("://") != std::string::npos) {
        return "only ftp:// URLs are understood: " + argument;
    }
    if (!rest.empty() && rest[0] == '[') return "IPv6 addresses are not supported: " + argument;
    const std::size_t colon = rest.find(':');
    const std::string host = rest.substr(0, colon);
    if (host.empty() || host.find('/') != std::string::npos) return "no server host in " + argument;
    if (colon != std::string::npos) {
        auto port = platform::StrToInt32(rest.substr(colon + 1));
        if (!port || *port < 1 || *port > 65535) return "bad port in " + argument;
    }
    options.host = rest;
    return {};
}

std::optional<int> Number(const std::string& text, int least) {
    auto value = platform::StrToInt32(text);
    if (!value || *value < least || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return *value;
}

}  // namespace

Parsed ParseCommandLine(const std::vector<std::string>& args) {
    Options options;
    std::optional<std::string> server, user, dir;
    bool defaultExcludes = true;
    std::set<std::string> excludes;
    bool optionsEnded = false;
    bool connectionsGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "--" || arg.empty() || arg[0] != '-') {
            if (arg == "--" && !optionsEnded) {
                optionsEnded = true;
                continue;
            }
            if (server) return {std::nullopt, "one server only: " + arg};
            server = arg;
            continue;
        }
        auto value = [&](std::string& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        std::string text;
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return {options, {}};
        }
        if (arg == "--version") {
            options.version = true;
            return {options, {}};
        }
        if (arg == "--user") {
            if (!value(text)) return {std::nullopt, "--user needs a name"};
            user = text;
        } else if (arg == "--dir") {
            if (!value(text)) return {std::nullopt, "--dir needs a directory"};
            dir = text;
        } else if (arg == "--password-file") {
            if (!value(text)) return {std::nullopt, "--password-file needs a file"};
            options.passwordFile = text;
        } else if (arg == "--timeout") {
            auto seconds = value(text) ? Number(text, 1) : std::nullopt;
            if (!seconds) return {std::nullopt, "--timeout needs a whole number of seconds, 1 or more"};
            options.timeoutSeconds = *seconds;
        } else if (arg == "--exclude") {
            if (!value(text) || text.empty()) return {std::nullopt, "--exclude needs a directory name"};
            excludes.insert(text);
        } else if (arg == "--no-default-excludes") {
            defaultExcludes = false;
        } else if (arg == "--passive") {
            options.passive = true;
        } else if (arg == "--walk") {
            if (!value(text) || (text != "fast" && text != "design"))
                return {std::nullopt, "--walk needs fast or design"};
            options.fastWalk = text == "fast";
        } else if (arg == "--connections") {
            auto count = value(text) ? Number(text, 1) : std::nullopt;
            if (!count || *count > 16) return {std::nullopt, "--connections needs a whole number from 1 to 16"};
            options.connections = *count;
            connectionsGiven = true;
        } else if (arg == "--tls") {
            const bool given = value(text);
            const std::string mode = zn::LowerCase(text);
            if (!given || (mode != "auto" && mode != "require" && mode != "off")) {
                return {std::nullopt, "--tls needs auto, require or off"};
            }
            options.tls = mode == "off" ? TlsChoice::Off : mode == "require" ? TlsChoice::Require : TlsChoice::Auto;
        } else if (arg == "--tls-fingerprint") {
            if (!value(text) || (options.tlsFingerprint = zn::NormalizeFingerprint(text)).empty()) {
                return {std::nullopt, "--tls-fingerprint needs a SHA-256 fingerprint (SHA256:AB:CD:..., 32 bytes)"};
            }
        } else if (arg == "--bytes" || arg == "--json" || arg == "--du") {
            if (options.format != OutputFormat::Line) return {std::nullopt, "choose one of --bytes, --json and --du"};
            options.format = arg == "--bytes"  ? OutputFormat::Bytes
                             : arg == "--json" ? OutputFormat::Json
                                               : OutputFormat::Du;
        } else if (arg == "--max-depth") {
            auto depth = value(text) ? Number(text, 0) : std::nullopt;
            if (!depth) return {std::nullopt, "--max-depth needs a whole number, 0 or more"};
            options.maxDepth = *depth;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (ParseBreakdownOption(args, i, options.breakdown, text) ||
                   ParseHistoryOption(args, i, options.history, text) || ParseDialOption(args, i, options.dial, text) ||
                   ParseMonitorOption(args, i, options.monitor, text)) {
            if (!text.empty()) return {std::nullopt, text};
        } else {
            return {std::nullopt, "unknown option " + arg};
        }
    }
    if (std::string error = CheckDialOptions(options.dial); !error.empty()) return {std::nullopt, error};
    if (std::string error = CheckMonitorOptions(options.monitor); !error.empty()) return {std::nullopt, error};
    if (options.monitor.check && options.format != OutputFormat::Line) {
        return {std::nullopt, "--check prints the plugin's line alone: leave out --bytes, --json and --du"};
    }
    // Standard output is the plugin's: an export there would follow its
    // line, and a monitoring system reads only the first.
    if (options.monitor.check && (options.breakdown.ncduFile == "-" || options.monitor.prometheusFile == "-")) {
        return {std::nullopt, "--check prints the plugin's line alone: give --ncdu and --prometheus a file"};
    }
    if (!server && options.dial.listEntries) return {options, {}};
    if (std::string error = CheckBreakdownOptions(options); !error.empty()) return {std::nullopt, error};
    if (std::string error = CheckHistoryOptions(options); !error.empty()) return {std::nullopt, error};
    if (!options.breakdown.fromFile.empty()) {
        if (server) return {std::nullopt, "--from reads a saved export: give no server"};
        return {options, {}};
    }
    if (!server) return {std::nullopt, "no server given"};
    if (std::string error = ReadServer(*server, options); !error.empty()) return {std::nullopt, error};
    if (user) {
        if (!options.user.empty()) return {std::nullopt, "the user is given twice (URL and --user)"};
        options.user = *user;
    }
    if (dir) {
        if (!options.dir.empty()) return {std::nullopt, "the directory is given twice (URL and --dir)"};
        options.dir = *dir;
    }
    if (connectionsGiven && !options.fastWalk) return {std::nullopt, "--connections goes with the fast walk"};
    if (!options.tlsFingerprint.empty() && options.tls == TlsChoice::Off) {
        return {std::nullopt, "--tls-fingerprint goes with TLS, not with --tls off"};
    }
    if (options.maxDepth >= 0 && options.format != OutputFormat::Du && options.monitor.prometheusFile.empty()) {
        return {std::nullopt, "--max-depth goes with --du or --prometheus"};
    }
    if (!defaultExcludes) options.excludes.clear();
    options.excludes.insert(excludes.begin(), excludes.end());
    return {options, {}};
}

const char* UsageText() {
    return "usage: dirweigh-cli [OPTIONS] ftp://[USER@]HOST[:PORT][/START/DIR]\n"
           "       dirweigh-cli [OPTIONS] HOST[:PORT] [--user USER] [--dir DIR]\n"
           "       dirweigh-cli --from FILE [--du [--sort size]|--json] [--top N] [--by-extension]\n"
           "       dirweigh-cli diff [--json] [--top N] OLD NEW\n"
           "\n"
           "Walks every directory below the start directory and adds up the file sizes.\n"
           "\n"
           "  --password-file FILE   read the password from FILE (else DIRWEIGH_PASSWORD,\n"
           "                         ~/.netrc, or a prompt); no user means anonymous\n"
           "  --bytes                print the byte total alone\n"
           "  --json                 print one JSON object\n"
           "  --du [--max-depth N]   print the total of each directory, children first\n"
           "  --check [-w|--warning SIZE] [-c|--critical SIZE] [--quota SIZE]\n"
           "                         act as a Nagios or Icinga plugin: one status line,\n"
           "                         exit 0 OK, 1 WARNING (above -w), 2 CRITICAL (above -c,\n"
           "                         or no logon), 3 UNKNOWN; SIZE as 800M (K, M, G, T:\n"
           "                         powers of 1024), -w and -c also as a % of --quota\n"
           "                         or a plugin range (10G:, ~:10G, 1G:10G, @1G:10G)\n"
           "  --prometheus FILE [--max-depth N]\n"
           "                         write the totals for node_exporter's textfile\n"
           "                         collector, directories down to depth N (default 1)\n"
           "  --top N                also the N largest directories and the N largest files\n"
           "  --by-extension         also the bytes and files per file extension\n"
           "  --sort size            with --du: the largest directories first\n"
           "  --ncdu FILE            save what the walk saw as an ncdu export (FILE.gz:\n"
           "                         compressed; -: to standard output, instead of the rest)\n"
           "  --from FILE            the reports of a saved export (DirWeigh's, ncdu's or\n"
           "                         gdu's), without connecting\n"
           "  --compare last|FILE    after the walk, what changed since the site's last\n"
           "                         walk (or since the export FILE), per directory,\n"
           "                         and the files added, removed and grown most\n"
           "  --keep N               walks kept per site in the history (default 30)\n"
           "  --no-history           keep no copy of this walk (the history is in\n"
           "                         $XDG_DATA_HOME/dirweigh/history)\n"
           "  --exclude NAME         never enter directories named NAME (repeatable)\n"
           "  --no-default-excludes  enter directories named logs too\n"
           "  --passive              passive-mode data connections (PASV)\n"
           "  --walk WAY             fast (default): listings over the control connection\n"
           "                         (STAT) where the server gives the same as LIST,\n"
           "                         else MLSD by path where FEAT offers it;\n"
           "                         design: CWD, LIST and CDUP in every directory\n"
           "  --connections N        the most connections the fast walk opens, 1 to 16 (default 4);\n"
           "                         it opens another only while one more pays for its logon\n"
           "  --tls MODE             auto (default): TLS when the server offers it;\n"
           "                         require: fail without it; off: plain FTP\n"
           "  --tls-fingerprint FP   trust the certificate with this SHA-256 fingerprint\n"
           "                         (SHA256:AB:CD:...) whatever its name or issuer\n"
           "  --timeout S            seconds to wait for the server (default 60)\n"
           "  --dial NAME            bring the dial-up entry NAME (a NetworkManager\n"
           "                         connection) up first, and down after if it was down\n"
           "  --dial-timeout S       seconds to wait for the dial-up link (default 120)\n"
           "  --list-dial-entries    list the dial-up entries and end\n"
           "  -v, --verbose          the FTP dialogue, the TLS state and the dial-up\n"
           "                         progress on stderr\n"
           "  -h, --help             this text\n"
           "  --version              the version, and end\n"
           "  --                     end of options: a server or URL that starts with -\n"
           "\n"
           "Exit status: 0 complete, 1 failed (partial totals), 2 usage, 130 interrupted;\n"
           "with --check, the plugin's (0 to 3, as above).\n";
}

}  // namespace cli
