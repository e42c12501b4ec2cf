// SPDX-License-Identifier: MIT
#include "tests/fakes/vsftpd.h"

#include "tests/fakes/test_certificate.h"
#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

const char* kVsftpd = "/usr/sbin/vsftpd";

bool Accepts(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

std::string Config(const std::filesystem::path& root, const TestCertificate& certificate,
                   const std::filesystem::path& log, std::uint16_t port) {
    std::ostringstream text;
    text << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port << "\n"
         << "background=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root.string() << "\n"
         << "local_enable=NO\nwrite_enable=NO\ndirlist_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
         << "pasv_enable=YES\npasv_address=127.0.0.1\nseccomp_sandbox=NO\n"
         << "secure_chroot_dir=/var/run/vsftpd/empty\nhide_ids=YES\n"
         // A directory's .message comes as a multi-line reply to its CWD.
         << "dirmessage_enable=YES\nmessage_file=.message\n"
         << "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
         << "require_ssl_reuse=YES\nrsa_cert_file=" << certificate.CertFile()
         << "\nrsa_private_key_file=" << certificate.KeyFile() << "\n"
         << "vsftpd_log_file=" << log.string() << "\nlog_ftp_protocol=YES\nxferlog_enable=YES\n"
         << "xferlog_std_format=NO\n";
    return text.str();
}

}  // namespace

Vsftpd::Vsftpd(const std::filesystem::path& root, const TestCertificate& certificate) {
    if (geteuid() != 0) {
        skipped_ = true;
        error_ = "vsftpd starts only as root";
        return;
    }
    if (access(kVsftpd, X_OK) != 0 || !getpwnam("ftp")) {
        error_ = "vsftpd is not installed (scripts/setup installs it)";
        return;
    }
    char pattern[] = "/tmp/dirweigh-vsftpd-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;
    std::error_code ignored;
    std::filesystem::create_directories("/var/run/vsftpd/empty", ignored);
    // The anonymous session reads the tree as the user ftp.
    std::filesystem::permissions(root, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
    std::uint16_t port = 0;
    close(ListenOnLoopback(port));
    std::ofstream(dir_ / "vsftpd.conf") << Config(root, certificate, dir_ / "vsftpd.log", port);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string conf = (dir_ / "vsftpd.conf").string();
    std::vector<char*> argv{const_cast<char*>(kVsftpd), const_cast<char*>(conf.c_str()), nullptr};
    const int rc = posix_spawn(&pid_, kVsftpd, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        error_ = "cannot start vsftpd";
        return;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Accepts(port)) {
            port_ = port;
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = "vsftpd did not start";
}

Vsftpd::~Vsftpd() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

std::string Vsftpd::Log() const {
    std::ifstream file(dir_ / "vsftpd.log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace testsupport
