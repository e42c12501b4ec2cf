// SPDX-License-Identifier: MIT
#pragma once

#include "tests/fakes/real_ftp_server.h"

#include <filesystem>

namespace testsupport {

struct ProftpdOptions {
    // ListOptions "-a": LIST shows names that begin with a dot, which
    // proftpd as it ships leaves out (STAT and MLSD show them either way).
    bool listDotFiles = false;
    // On ::1 alone.
    bool ipv6 = false;
};

// Debian's proftpd (unpacked by scripts/setup) serving `root` to anonymous
// users on 127.0.0.1 and a free port, with its own defaults but for
// `options`: no TLS module loaded, MLSD offered. It logs every command it
// receives (Log()). It must start as root; where scripts/setup has not
// unpacked it, Skipped() (Error() says so), except under CI, where that is a
// failure. Stopped by the destructor.
class Proftpd : public RealFtpServer {
public:
    explicit Proftpd(const std::filesystem::path& root, ProftpdOptions options = {});
};

}  // namespace testsupport
