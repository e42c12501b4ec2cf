// SPDX-License-Identifier: MIT
#include "tests/fakes/pure_ftpd.h"

#include <pwd.h>

#include <fstream>

namespace testsupport {
namespace {

// Password()'s SHA-512 crypt hash (openssl passwd -6 -salt dirweigh
// site-pass). pure-pw useradd would hash it with Argon2 tuned to take about
// a second, and pure-ftpd then takes as long over every logon, beyond the
// tests' time-outs on a busy machine; it checks a crypt hash at once.
const char* kPasswordHash =
    "$6$dirweigh$IiuU4Nzd6mTPOz.GAgKV5efBU1TJ3baPVuo2CmGprgJIu7xA0rAhVZHG3sMBZ.HdibZUeH9XKRnsA299MTzzu0";

}  // namespace

PureFtpd::PureFtpd(const std::filesystem::path& root, PureFtpdOptions options)
    : RealFtpServer("pure-ftpd", options.ipv6) {
    const std::filesystem::path program = UnpackedServers() / "usr/sbin/pure-ftpd";
    if (!CanRun(program, true) || !CanRun(UnpackedServers() / "usr/bin/pure-pw", true)) return;
    OpenToAll(root);
    const std::filesystem::path database = dir_ / "pureftpd.pdb";
    if (!MakeUserDatabase(root, database)) return;
    // -l: its own user database; -S: address and port; -E: no anonymous
    // logons; -A: every user shut in their home; -H: no name lookups.
    std::vector<std::string> argv{program.string(),
                                  "-l",
                                  "puredb:" + database.string(),
                                  "-S",
                                  (ipv6_ ? "::1," : "127.0.0.1,") + std::to_string(freePort_),
                                  "-E",
                                  "-A",
                                  "-H"};
    if (options.displayDotFiles) argv.push_back("-D");
    Start(argv);
}

bool PureFtpd::MakeUserDatabase(const std::filesystem::path& root, const std::filesystem::path& database) {
    // The user's files are read as the user ftp.
    const passwd* ftp = getpwnam("ftp");
    const std::filesystem::path users = dir_ / "pureftpd.passwd";
    // pure-pw's text format: name, hash, uid, gid, gecos, home ("/./" after
    // it: the root it is shut in), then limits left empty.
    std::ofstream(users) << UserName() << ":" << kPasswordHash << ":" << ftp->pw_uid << ":" << ftp->pw_gid
                         << "::" << root.string() << "/./::::::::::::\n";
    return RunToEnd(
        {(UnpackedServers() / "usr/bin/pure-pw").string(), "mkdb", database.string(), "-f", users.string()});
}

}  // namespace testsupport
