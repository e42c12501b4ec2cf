// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/cli/cli_breakdown.h"
#include "app/cli/cli_dial.h"
#include "app/cli/cli_history.h"
#include "app/cli/cli_monitor_options.h"
#include "net/core/server_key.h"

namespace cli {

enum class OutputFormat { Line, Bytes, Json, Du };
enum class TlsChoice { Off, Auto, Require, Implicit };

struct Options {
    std::string host;  // host, or host:port
    std::string user;  // empty: anonymous
    std::string dir;   // entered with one CWD; empty: where the server puts us
    std::optional<std::string> passwordFile;
    int timeoutSeconds = 60;
    std::set<std::string> excludes{"logs"};
    bool passive = true;
    // STAT listings over the control connection where the server allows;
    // false: the designed walk (CWD, PORT or PASV, LIST, CDUP).
    bool fastWalk = true;
    int connections = 4;  // of the fast walk, 1 to 16
    TlsChoice tls = TlsChoice::Auto;
    std::string tlsFingerprint;  // normalised; empty: none pinned
    bool sftp = false;           // an sftp:// URL: SSH, not FTP
    std::string sshHostKey;      // "SHA256:..." to trust; empty: none given
    OutputFormat format = OutputFormat::Line;
    int maxDepth = -1;  // --du and --prometheus; -1: every directory (--du), 1 (--prometheus)
    bool verbose = false;
    bool help = false;
    bool version = false;
    DialOptions dial;
    MonitorOptions monitor;
    BreakdownOptions breakdown;
    HistoryOptions history;
};

// The outcome of reading the command line: options, or what is wrong.
struct Parsed {
    std::optional<Options> options;
    std::string error;
};

Parsed ParseCommandLine(const std::vector<std::string>& args);

// The way in the options ask for: sftp:// or ftps:// (implicit TLS, by
// URL or --tls implicit), else FTP.
zn::UrlScheme SchemeOf(const Options& options);

const char* UsageText();

}  // namespace cli
