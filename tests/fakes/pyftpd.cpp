// SPDX-License-Identifier: MIT
#include "tests/fakes/pyftpd.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

// Prints the port it listens on, then serves until it is killed.
const char* kServerScript = R"(
import logging, os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
(root, user, password, certfile, max_cons, refuse_stat, tls_first_only, bare_closes, stat_delay_ms,
 implicit_tls, host) = sys.argv[1:12]
logging.basicConfig(level=logging.CRITICAL)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elr")
# A directory whose name starts with "closed-" cannot be entered or listed,
# as one the server's account may not read (the tests run as root, for
# whom file modes close nothing).
for top, dirs, files in os.walk(root):
    for d in dirs:
        if d.startswith("closed-"):
            authorizer.override_perm(user, os.path.join(top, d), perm="", recursive=True)
handler = FTPHandler
if certfile:
    from pyftpdlib.handlers import TLS_FTPHandler
    handler = TLS_FTPHandler
    handler.certfile = certfile
    handler.tls_control_required = True
    handler.tls_data_required = True
if implicit_tls == "1":
    class ImplicitTls(handler):
        # The client's hello comes first; the greeting waits in the
        # output until the handshake is done.
        def handle(self):
            self.secure_connection(self.ssl_context)
            super().handle()
    handler = ImplicitTls
if refuse_stat == "1":
    class NoStatListings(handler):
        def ftp_STAT(self, path):
            self.respond("502 STAT is not offered here.")
    handler = NoStatListings
if int(stat_delay_ms):
    import time
    class SlowStat(handler):
        def ftp_STAT(self, path):
            time.sleep(int(stat_delay_ms) / 1000)
            super().ftp_STAT(path)
    handler = SlowStat
if tls_first_only == "1":
    class TlsOnFirstOnly(handler):
        connections = 0
        def on_connect(self):
            TlsOnFirstOnly.connections += 1
            self.plain = TlsOnFirstOnly.connections > 1
            if self.plain:
                self.tls_control_required = False
                self.tls_data_required = False
        def ftp_AUTH(self, line):
            if self.plain:
                self.respond("500 This security scheme is not implemented")
            else:
                super().ftp_AUTH(line)
    handler = TlsOnFirstOnly
if bare_closes == "1":
    from pyftpdlib.handlers import TLS_DTPHandler
    class BareCloseAfterFirst(TLS_DTPHandler):
        closed_count = 0
        def close(self):
            if not getattr(self, "counted", False):
                self.counted = True
                BareCloseAfterFirst.closed_count += 1
                # Without its TLS shutdown: no close_notify.
                self._error = BareCloseAfterFirst.closed_count > 1
            super().close()
    handler.dtp_handler = BareCloseAfterFirst
handler.authorizer = authorizer
handler.auth_failed_timeout = 0.1
# Names go out as the bytes on disk, as from a server on a Latin-1 site,
# not with "?" in place of what is not UTF-8.
handler.unicode_errors = "surrogateescape"
server = FTPServer((host, 0), handler)
if int(max_cons):
    # The listening socket counts as one of them.
    server.max_cons = int(max_cons) + 1
print(server.address[1], flush=True)
server.serve_forever()
)";

// Debian's interpreter, where the Debian package installs pyftpdlib.
const char* kPython = "/usr/bin/python3";

}  // namespace

PyFtpd::PyFtpd(const std::string& root, const std::string& user, const std::string& password,
               const std::string& tlsKeyAndCert, int maxConnections, bool refuseStat, bool tlsFirstOnly,
               bool bareDataCloses, int statDelayMs, bool implicitTls, const std::string& host)
    : host_(host) {
    int out[2];
    if (pipe(out) != 0) {
        error_ = "pipe failed";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args{kPython,
                                  "-c",
                                  kServerScript,
                                  root,
                                  user,
                                  password,
                                  tlsKeyAndCert,
                                  std::to_string(maxConnections),
                                  refuseStat ? "1" : "0",
                                  tlsFirstOnly ? "1" : "0",
                                  bareDataCloses ? "1" : "0",
                                  std::to_string(statDelayMs),
                                  implicitTls ? "1" : "0",
                                  host};
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
        pid_ = -1;
        close(out[0]);
        error_ = "cannot start /usr/bin/python3";
        return;
    }
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port_ = static_cast<std::uint16_t>(std::atoi(line.c_str()));
    if (port_ == 0) error_ = "pyftpdlib did not start (is python3-pyftpdlib installed?)";
}

PyFtpd::~PyFtpd() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
}

}  // namespace testsupport
