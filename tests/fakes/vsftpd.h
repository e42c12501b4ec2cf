// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace testsupport {

class TestCertificate;

// Debian's vsftpd serving `root` to anonymous users on 127.0.0.1 and a free
// port, with TLS forced on the logon and on every data connection, and data
// connections refused unless they resume the control connection's TLS
// session. It logs every command it receives (Log()). vsftpd must start as
// root: Skipped() says when this machine cannot run it. Stopped by the
// destructor.
class Vsftpd {
public:
    Vsftpd(const std::filesystem::path& root, const TestCertificate& certificate);
    ~Vsftpd();
    Vsftpd(const Vsftpd&) = delete;
    Vsftpd& operator=(const Vsftpd&) = delete;

    bool Running() const { return port_ != 0; }
    // Not root: the reason to skip rather than fail.
    bool Skipped() const { return skipped_; }
    const std::string& Error() const { return error_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Log() const;

private:
    std::filesystem::path dir_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    bool skipped_ = false;
    std::string error_;
};

}  // namespace testsupport
