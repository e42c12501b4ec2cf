// SPDX-License-Identifier: MIT
// dirweigh-cli: the size of an FTP site, for scripts and machines without a
// display.

#include "app/cli/cli_run.h"
#include "app/cli/cli_tls_servers.h"
#include "platform/messages.h"
#include "sitetree/walk_history.h"
#include "ssh/ssh_way_in.h"

#include <QCoreApplication>

#include <unistd.h>

#include <iostream>

int main(int argc, char** argv) {
    platform::PreferPlainEventLoop();
    QCoreApplication app(argc, argv);
    cli::Environment environment;
    environment.passwords = cli::SystemPasswordSources();
    environment.progressOnTerminal = isatty(STDERR_FILENO) != 0;
    environment.outputOnTerminal = isatty(STDOUT_FILENO) != 0;
    environment.handleInterrupt = true;
    environment.tlsServersFile = cli::TlsServersFile();
    environment.historyDir = zn::HistoryRoot();
    environment.sshDirectory = zn::UserSshDirectory();
    environment.sshKnownHostsFile = zn::OwnKnownHostsFile();
    return cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, environment);
}
