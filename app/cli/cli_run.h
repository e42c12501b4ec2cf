// SPDX-License-Identifier: MIT
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/cli/cli_password.h"

namespace cli {

struct Environment {
    PasswordSources passwords;
    bool progressOnTerminal = false;  // stderr is a terminal
    bool outputOnTerminal = false;    // stdout is a terminal
    bool handleInterrupt = false;     // Ctrl-C cancels the walk
    // The servers that spoke TLS before (cli_tls_servers.h); empty: none
    // are remembered.
    std::string tlsServersFile;
    // Where the walks of each site are kept (walk_history.h); empty: none
    // are kept.
    std::string historyDir;
    // The user's ~/.ssh: known_hosts and the keys of an sftp:// logon;
    // empty: none.
    std::string sshDirectory;
    // DirWeigh's own known-hosts file, where --ssh-host-key keeps what it
    // trusts, never the user's; empty: nothing is kept.
    std::string sshKnownHostsFile;
};

// dirweigh-cli without its process: the arguments (without the program
// name), where the results and the messages go. Returns the exit status.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& shownErrors,
           const Environment& environment);

constexpr int kExitComplete = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

}  // namespace cli
