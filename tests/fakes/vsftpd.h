// SPDX-License-Identifier: MIT
#pragma once

#include "tests/fakes/real_ftp_server.h"

#include <filesystem>

namespace testsupport {

class TestCertificate;

struct VsftpdOptions {
    // force_dot_files=YES: LIST shows names that begin with a dot, which
    // vsftpd as it ships leaves out.
    bool forceDotFiles = false;
    // implicit_ssl=YES (with a certificate): TLS from the first byte, the
    // greeting included, and no AUTH TLS.
    bool implicitTls = false;
    // On ::1 alone (listen_ipv6=YES).
    bool ipv6 = false;
};

// Debian's vsftpd serving `root` to anonymous users on 127.0.0.1 and a free
// port. It logs every command it receives (Log()). vsftpd must start as
// root: Skipped() says when this machine cannot run it. Stopped by the
// destructor.
class Vsftpd : public RealFtpServer {
public:
    // Plain FTP, with vsftpd's own defaults but for `options`.
    explicit Vsftpd(const std::filesystem::path& root, VsftpdOptions options = {});
    // TLS forced on the logon and on every data connection, and data
    // connections refused unless they resume the control connection's TLS
    // session.
    Vsftpd(const std::filesystem::path& root, const TestCertificate& certificate, VsftpdOptions options = {});

private:
    void Run(const std::filesystem::path& root, const std::string& extraConfig);
};

}  // namespace testsupport
