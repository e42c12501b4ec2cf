// SPDX-License-Identifier: MIT
#pragma once

#include "tests/fakes/real_ftp_server.h"

#include <filesystem>
#include <string>

namespace testsupport {

struct PureFtpdOptions {
    // -D: LIST shows names that begin with a dot, which pure-ftpd as it
    // ships leaves out (LIST -a and MLSD show them either way).
    bool displayDotFiles = false;
    // On ::1 alone.
    bool ipv6 = false;
};

// Debian's pure-ftpd (unpacked by scripts/setup) serving `root` to one user
// of its own user database (UserName(), Password()) on 127.0.0.1 and a free
// port, with its own defaults but for `options`. As Debian builds it, it
// offers AUTH TLS in FEAT and, having no certificate, answers it with "500
// This security scheme is not implemented". It must start as root; where
// scripts/setup has not unpacked it, Skipped() (Error() says so), except
// under CI, where that is a failure. Stopped by the destructor.
class PureFtpd : public RealFtpServer {
public:
    explicit PureFtpd(const std::filesystem::path& root, PureFtpdOptions options = {});

    std::string UserName() const { return "web"; }
    std::string Password() const { return "site-pass"; }

private:
    bool MakeUserDatabase(const std::filesystem::path& root, const std::filesystem::path& database);
};

}  // namespace testsupport
