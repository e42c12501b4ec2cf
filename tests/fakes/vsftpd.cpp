// SPDX-License-Identifier: MIT
#include "tests/fakes/vsftpd.h"

#include "tests/fakes/test_certificate.h"

#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

const char* kVsftpd = "/usr/sbin/vsftpd";

std::string Config(const std::filesystem::path& root, const std::filesystem::path& log, std::uint16_t port, bool ipv6) {
    std::ostringstream text;
    text << (ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                  : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
         << "listen_port=" << port << "\n"
         << "background=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root.string() << "\n"
         << "local_enable=NO\nwrite_enable=NO\ndirlist_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
         << "pasv_enable=YES\npasv_address=127.0.0.1\nseccomp_sandbox=NO\n"
         << "secure_chroot_dir=/var/run/vsftpd/empty\nhide_ids=YES\n"
         // A directory's .message comes as a multi-line reply to its CWD.
         << "dirmessage_enable=YES\nmessage_file=.message\n"
         << "vsftpd_log_file=" << log.string() << "\nlog_ftp_protocol=YES\nxferlog_enable=YES\n"
         << "xferlog_std_format=NO\n";
    return text.str();
}

}  // namespace

Vsftpd::Vsftpd(const std::filesystem::path& root, VsftpdOptions options) : RealFtpServer("vsftpd", options.ipv6) {
    Run(root, options.forceDotFiles ? "force_dot_files=YES\n" : "");
}

Vsftpd::Vsftpd(const std::filesystem::path& root, const TestCertificate& certificate, VsftpdOptions options)
    : RealFtpServer("vsftpd", options.ipv6) {
    Run(root, std::string(options.forceDotFiles ? "force_dot_files=YES\n" : "") +
                  (options.implicitTls ? "implicit_ssl=YES\n" : "") +
                  "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                  "require_ssl_reuse=YES\nrsa_cert_file=" +
                  certificate.CertFile() + "\nrsa_private_key_file=" + certificate.KeyFile() + "\n");
}

void Vsftpd::Run(const std::filesystem::path& root, const std::string& extraConfig) {
    if (!CanRun(kVsftpd, false)) return;
    std::error_code ignored;
    std::filesystem::create_directories("/var/run/vsftpd/empty", ignored);
    // The anonymous session reads the tree as the user ftp.
    OpenToAll(root);
    const std::filesystem::path conf = dir_ / "vsftpd.conf";
    std::ofstream(conf) << Config(root, log_, freePort_, ipv6_) << extraConfig;
    Start({kVsftpd, conf.string()});
}

}  // namespace testsupport
