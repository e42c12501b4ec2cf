// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// What the fixtures of real FTP servers (Vsftpd, Proftpd, PureFtpd) share:
// a private folder for the server's configuration and log, a free port on
// 127.0.0.1 (or on ::1 alone), the server's process, which the destructor stops together with
// every session it forked, and the reason when it could not start.
class RealFtpServer {
public:
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;
    virtual ~RealFtpServer();

    bool Running() const { return port_ != 0; }
    // The reason to skip rather than fail (not root, or a server that
    // scripts/setup has not unpacked, outside CI); Error() says which.
    bool Skipped() const { return skipped_; }
    const std::string& Error() const { return error_; }
    std::uint16_t Port() const { return port_; }
    std::string Address() const { return (ipv6_ ? "[::1]:" : "127.0.0.1:") + std::to_string(port_); }
    // What the server logged and printed, for a failing test's message.
    std::string Log() const;

protected:
    // `name` names the private folder and the messages; `ipv6`: the
    // server listens on ::1 only.
    explicit RealFtpServer(std::string name, bool ipv6 = false);

    // False, with Skipped() and Error() set, unless `program` can be run
    // here: it must exist, and the process must be root and the user ftp
    // exist (the servers drop to it to read the tree). `unpacked`: the program is one that
    // scripts/setup unpacks, so a missing one is skipped, except under CI
    // (CI=true), where it must fail. `users`: the users the server drops
    // to, in place of ftp; a missing one is skipped as a missing program is.
    bool CanRun(const std::filesystem::path& program, bool unpacked, const std::vector<std::string>& users = {});
    // Lets the users the servers drop to read the tree at `root`.
    static void OpenToAll(const std::filesystem::path& root);
    // Runs `argv` with its output appended to the log, and waits until the
    // server accepts on Port(); Error() says why when it does not.
    void Start(const std::vector<std::string>& argv);
    // Runs a tool of the server to its end, its output appended to the log;
    // false, with Error() set, when it fails.
    bool RunToEnd(const std::vector<std::string>& argv);

    const std::string name_;
    const bool ipv6_;
    std::filesystem::path dir_;
    std::filesystem::path log_;
    // Chosen free before the server starts; Port() is 0 until it accepts.
    std::uint16_t freePort_ = 0;

private:
    // posix_spawn with the log as output, in a process group of its own.
    pid_t Spawn(const std::vector<std::string>& argv);
    void Stop();

    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    bool skipped_ = false;
    std::string error_;
};

// Where scripts/setup unpacks the servers that Debian cannot install beside
// vsftpd (usr/sbin/proftpd, usr/sbin/pure-ftpd, usr/bin/pure-pw).
std::filesystem::path UnpackedServers();

}  // namespace testsupport
