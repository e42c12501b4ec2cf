// SPDX-License-Identifier: MIT
#include "tests/fakes/proftpd.h"

#include <fstream>

namespace testsupport {

Proftpd::Proftpd(const std::filesystem::path& root, ProftpdOptions options) : RealFtpServer("proftpd", options.ipv6) {
    const std::filesystem::path program = UnpackedServers() / "usr/sbin/proftpd";
    if (!CanRun(program, true)) return;
    OpenToAll(root);
    const std::filesystem::path conf = dir_ / "proftpd.conf";
    std::ofstream file(conf);
    file << "ServerType standalone\nPort " << freePort_ << "\nDefaultAddress " << (ipv6_ ? "::1" : "127.0.0.1")
         << "\nSocketBindTight on\nUseIPv6 " << (ipv6_ ? "on" : "off")
         << "\nUser nobody\nGroup nogroup\n"
         // Its run-time files here, not in /run/proftpd, which nothing made.
         << "PidFile " << (dir_ / "proftpd.pid").string() << "\nScoreboardFile "
         << (dir_ / "proftpd.scoreboard").string() << "\nDelayTable none\nWtmpLog off\n"
         << "UseReverseDNS off\nRequireValidShell off\nAuthOrder mod_auth_unix.c\n"
         << "ExtendedLog " << log_.string() << " ALL\n";
    if (options.listDotFiles) file << "ListOptions \"-a\"\n";
    file << "<Anonymous " << root.string() << ">\n  User ftp\n  Group nogroup\n  UserAlias anonymous ftp\n"
         << "</Anonymous>\n";
    file.close();
    // -n: in the foreground, where the destructor can stop it.
    Start({program.string(), "-n", "-c", conf.string()});
}

}  // namespace testsupport
