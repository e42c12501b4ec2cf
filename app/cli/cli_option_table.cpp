// SPDX-License-Identifier: MIT
#include "app/cli/cli_option_table.h"

#include "app/cli/cli_option_readers.h"

#include <array>

namespace cli {
namespace {

using C = Completion;

// In the order of the usage text; --user and --dir are in its synopsis,
// and --max-depth, -w, -c and --quota beside the options they go with.
const std::array kOptions{
    OptionRow{nullptr, "--user", "USER", ReadUser},
    OptionRow{nullptr, "--dir", "DIR", ReadDir},
    OptionRow{nullptr, "--password-file", "FILE", ReadPasswordFile,
              "read the password from FILE (else DIRWEIGH_PASSWORD,\n"
              "~/.netrc, or a prompt); no user means anonymous",
              nullptr, C::Files},
    OptionRow{nullptr, "--bytes", nullptr, ReadFormat, "print the byte total alone"},
    OptionRow{nullptr, "--json", nullptr, ReadFormat, "print one JSON object"},
    OptionRow{nullptr, "--du", nullptr, ReadFormat, "print the total of each directory, children first",
              "--du [--max-depth N]"},
    OptionRow{nullptr, "--max-depth", "N", ReadMaxDepth},
    OptionRow{nullptr, "--check", nullptr, ReadCheck,
              "act as a Nagios or Icinga plugin: one status line,\n"
              "exit 0 OK, 1 WARNING (above -w), 2 CRITICAL (above -c,\n"
              "or no logon), 3 UNKNOWN; SIZE as 800M (K, M, G, T:\n"
              "powers of 1024), -w and -c also as a % of --quota\n"
              "or a plugin range (10G:, ~:10G, 1G:10G, @1G:10G)",
              "--check [-w|--warning SIZE] [-c|--critical SIZE] [--quota SIZE]"},
    OptionRow{"-w", "--warning", "SIZE", ReadWarning},
    OptionRow{"-c", "--critical", "SIZE", ReadCritical},
    OptionRow{nullptr, "--quota", "SIZE", ReadQuota},
    OptionRow{nullptr, "--prometheus", "FILE", ReadPrometheus,
              "write the totals for node_exporter's textfile\n"
              "collector, directories down to depth N (default 1)",
              "--prometheus FILE [--max-depth N]", C::Files},
    OptionRow{nullptr, "--top", "N", ReadTop, "also the N largest directories and the N largest files"},
    OptionRow{nullptr, "--by-extension", nullptr, ReadByExtension, "also the bytes and files per file extension"},
    OptionRow{nullptr, "--sort", "size", ReadSort, "with --du: the largest directories first", nullptr, C::Words,
              "size"},
    OptionRow{nullptr, "--ncdu", "FILE", ReadNcdu,
              "save what the walk saw as an ncdu export (FILE.gz:\n"
              "compressed; -: to standard output, instead of the rest)",
              nullptr, C::Files},
    OptionRow{nullptr, "--from", "FILE", ReadFrom,
              "the reports of a saved export (DirWeigh's, ncdu's or\n"
              "gdu's), without connecting",
              nullptr, C::Files},
    OptionRow{nullptr, "--compare", "last|FILE", ReadCompare,
              "after the walk, what changed since the site's last\n"
              "walk (or since the export FILE), per directory,\n"
              "and the files added, removed and grown most",
              nullptr, C::Files, "last"},
    OptionRow{nullptr, "--keep", "N", ReadKeep, "walks kept per site in the history (default 30)"},
    OptionRow{nullptr, "--no-history", nullptr, ReadNoHistory,
              "keep no copy of this walk (the history is in\n"
              "$XDG_DATA_HOME/dirweigh/history)"},
    OptionRow{nullptr, "--exclude", "NAME", ReadExclude, "never enter directories named NAME (repeatable)"},
    OptionRow{nullptr, "--no-default-excludes", nullptr, ReadNoDefaultExcludes, "enter directories named logs too"},
    OptionRow{nullptr, "--active", nullptr, ReadActive,
              "active-mode data connections (PORT): the server\n"
              "connects back (passive, the default, works behind routers)"},
    OptionRow{nullptr, "--passive", nullptr, ReadPassive, "passive-mode data connections (PASV), the default"},
    OptionRow{nullptr, "--walk", "WAY", ReadWalk,
              "fast (default): listings over the control connection\n"
              "(STAT) where the server gives the same as LIST,\n"
              "else MLSD by path where FEAT offers it;\n"
              "design: CWD, LIST and CDUP in every directory",
              nullptr, C::Words, "fast design"},
    OptionRow{nullptr, "--connections", "N", ReadConnections,
              "the most connections the fast walk opens, 1 to 16 (default 4);\n"
              "it opens another only while one more pays for its logon"},
    OptionRow{nullptr, "--tls", "MODE", ReadTls,
              "auto (default): TLS when the server offers it;\n"
              "require: fail without it; off: plain FTP;\n"
              "implicit: TLS from the first byte, on port 990\n"
              "unless one is given (as an ftps:// URL asks)",
              nullptr, C::Words, "auto require implicit off"},
    OptionRow{nullptr, "--tls-fingerprint", "FP", ReadTlsFingerprint,
              "trust the certificate with this SHA-256 fingerprint\n"
              "(SHA256:AB:CD:...) whatever its name or issuer"},
    OptionRow{nullptr, "--timeout", "S", ReadTimeout, "seconds to wait for the server (default 60)"},
    OptionRow{nullptr, "--dial", "NAME", ReadDial,
              "bring the dial-up entry NAME (a NetworkManager\n"
              "connection) up first, and down after if it was down",
              nullptr, C::DialEntries},
    OptionRow{nullptr, "--dial-timeout", "S", ReadDialTimeout, "seconds to wait for the dial-up link (default 120)"},
    OptionRow{nullptr, "--list-dial-entries", nullptr, ReadListDialEntries, "list the dial-up entries and end"},
    OptionRow{"-v", "--verbose", nullptr, ReadVerbose,
              "the FTP dialogue, the TLS state and the dial-up\n"
              "progress on stderr"},
    OptionRow{"-h", "--help", nullptr, ReadHelp, "this text"},
    OptionRow{nullptr, "--version", nullptr, ReadVersion, "the version, and end"},
    OptionRow{nullptr, "--", nullptr, ReadEndOfOptions, "end of options: a server or URL that starts with -"},
};

}  // namespace

std::span<const OptionRow> OptionTable() { return kOptions; }

const OptionRow* FindOption(const std::string& spelling) {
    for (const OptionRow& row : kOptions) {
        if (spelling == row.longName || (row.shortName && spelling == row.shortName)) return &row;
    }
    return nullptr;
}

}  // namespace cli
