// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <string>

namespace testsupport {

// A real FTP server that nobody here wrote: Debian's python3-pyftpdlib,
// serving `root` to one user on 127.0.0.1 (or ::1) and a free port. Stopped by the
// destructor. With `tlsKeyAndCert` (a PEM file with both), it requires
// explicit TLS on the control and the data connections (python3-openssl).
class PyFtpd {
public:
    // A directory whose name starts with "closed-" is refused (550) to CWD,
    // LIST and STAT.
    // `maxConnections` above 0: more are refused with "421 Too many
    // connections". `refuseStat`: STAT answers 502, as on servers that
    // give no listing that way. `tlsFirstOnly`: TLS on the first
    // connection only; the later ones refuse AUTH TLS with "500".
    // `bareDataCloses`: data connections after the first end with a bare
    // close, without close_notify, as if someone on the path had cut them.
    // `statDelayMs`: each STAT is answered that much later (the whole server
    // waits), so that listings cost far more than a logon and the fast walk
    // opens its further connections. `implicitTls` (with a certificate):
    // TLS from the first byte, before the greeting, as on port 990. `host`:
    // the loopback address to listen on, "::1" for IPv6.
    PyFtpd(const std::string& root, const std::string& user, const std::string& password,
           const std::string& tlsKeyAndCert = {}, int maxConnections = 0, bool refuseStat = false,
           bool tlsFirstOnly = false, bool bareDataCloses = false, int statDelayMs = 0, bool implicitTls = false,
           const std::string& host = "127.0.0.1");
    ~PyFtpd();
    PyFtpd(const PyFtpd&) = delete;
    PyFtpd& operator=(const PyFtpd&) = delete;

    // False when the server could not be started (the reason is in Error()).
    bool Running() const { return port_ != 0; }
    const std::string& Error() const { return error_; }
    std::uint16_t Port() const { return port_; }
    // host:port, an IPv6 host in brackets.
    std::string Address() const {
        return (host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
    }

private:
    std::string host_;
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string error_;
};

}  // namespace testsupport
