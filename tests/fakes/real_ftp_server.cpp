// SPDX-License-Identifier: MIT
#include "tests/fakes/real_ftp_server.h"

#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport {
namespace {

bool Accepts(std::uint16_t port, bool ipv6) {
    const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(port);
    address6.sin6_addr = in6addr_loopback;
    const bool ok = ipv6 ? connect(fd, reinterpret_cast<sockaddr*>(&address6), sizeof address6) == 0
                         : connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Whether the process `pid` has ended, leaving it unreaped: while it is a
// zombie its id cannot name another process group.
bool Ended(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

bool UnderCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

}  // namespace

std::filesystem::path UnpackedServers() { return DIRWEIGH_FTP_SERVERS; }

RealFtpServer::RealFtpServer(std::string name, bool ipv6) : name_(std::move(name)), ipv6_(ipv6) {
    std::string pattern = "/tmp/dirweigh-" + name_ + "-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        error_ = "cannot make a temporary folder for " + name_;
        return;
    }
    dir_ = pattern;
    log_ = dir_ / "server.log";
    close(ipv6_ ? ListenOnLoopback6(freePort_) : ListenOnLoopback(freePort_));
}

RealFtpServer::~RealFtpServer() {
    Stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool RealFtpServer::CanRun(const std::filesystem::path& program, bool unpacked, const std::vector<std::string>& users) {
    if (dir_.empty()) return false;
    if (geteuid() != 0) {
        skipped_ = true;
        error_ = name_ + " starts only as root";
        return false;
    }
    if (access(program.c_str(), X_OK) == 0 && users.empty()) {
        if (getpwnam("ftp")) return true;
        error_ = "there is no user ftp for the anonymous sessions (Debian's vsftpd package makes it)";
        return false;
    }
    if (access(program.c_str(), X_OK) == 0) {
        for (const std::string& user : users) {
            if (getpwnam(user.c_str())) continue;
            skipped_ = !UnderCi();
            error_ = "there is no user " + user + " for " + name_ + " (scripts/setup makes it)";
            return false;
        }
        return true;
    }
    if (unpacked) {
        skipped_ = !UnderCi();
        error_ = name_ + " is not unpacked in " + UnpackedServers().string() + " (scripts/setup unpacks it)" +
                 (skipped_ ? "" : "; under CI a missing server fails");
    } else {
        error_ = name_ + " is not installed (scripts/setup installs it)";
    }
    return false;
}

void RealFtpServer::OpenToAll(const std::filesystem::path& root) {
    using std::filesystem::perms;
    std::filesystem::permissions(
        root, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec);
}

pid_t RealFtpServer::Spawn(const std::vector<std::string>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // A group of its own, so that the sessions a server forks are stopped
    // with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error_ = "cannot start " + argv[0];
        return -1;
    }
    return pid;
}

bool RealFtpServer::RunToEnd(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv);
    if (pid < 0) return false;
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error_ = argv[0] + " failed; the log:\n" + Log();
    return false;
}

void RealFtpServer::Start(const std::vector<std::string>& argv) {
    pid_ = Spawn(argv);
    if (pid_ < 0) return;
    // At most 5 s: a loaded machine starts a server slowly, and one that
    // fails ends sooner.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Accepts(freePort_, ipv6_)) {
            port_ = freePort_;
            return;
        }
        if (Ended(pid_)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = name_ + " did not start; its log:\n" + Log();
}

void RealFtpServer::Stop() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    for (int attempt = 0; attempt < 200 && !Ended(pid_); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Sessions still open end with it, and a server deaf to SIGTERM too.
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::string RealFtpServer::Log() const {
    std::ifstream file(log_);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace testsupport
