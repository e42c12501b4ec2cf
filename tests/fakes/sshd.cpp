// SPDX-License-Identifier: MIT
#include "tests/fakes/sshd.h"

#include <crypt.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace testsupport {
namespace {

std::filesystem::path SshdProgram() { return std::filesystem::path(DIRWEIGH_SSH_SERVER) / "usr/sbin/sshd"; }

}  // namespace

Sshd::Sshd(SshdOptions options) : RealFtpServer("sshd", options.ipv6), options_(options) {
    if (!CanRunHere()) return;
    using std::filesystem::perms;
    // sshd reads the authorized keys as the user, before the chroot.
    std::filesystem::permissions(dir_, perms::owner_all | perms::group_exec | perms::others_exec);
    // Two host keys, as servers have: the client must ask for the type the
    // user knows.
    for (const auto& [key, type] :
         {std::pair{"host_key", "ed25519"}, {"host_key_ecdsa", "ecdsa"}, {"client_key", "ed25519"}}) {
        if (!RunToEnd({"/usr/bin/ssh-keygen", "-q", "-t", type, "-N", "", "-C", key, "-f", (dir_ / key).string()}))
            return;
    }
    std::ofstream(dir_ / "authorized_keys") << PublicKey("client_key") << '\n';
    std::filesystem::permissions(dir_ / "authorized_keys",
                                 perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
    // sshd shuts its unprivileged process in there before the logon.
    std::error_code ignored;
    std::filesystem::create_directories("/run/sshd", ignored);
    std::ofstream(dir_ / "sshd_config") << Config();
    Start(Command());
}

std::vector<std::string> Sshd::Command() {
    std::vector<std::string> sshd{SshdProgram().string(), "-D", "-e", "-f", (dir_ / "sshd_config").string()};
    // The mounts go with the namespace; unshare makes them private, so
    // they never reach the system's.
    std::string mounts = "mount --bind \"$0\" /etc/shadow";
    std::vector<std::string> mounted{(dir_ / "shadow").string()};
    if (options_.keyboardInteractive) {
        WritePamService(dir_ / "pam.d");
        mounts += " && mount --bind \"$1\" /etc/pam.d && shift";
        mounted.push_back((dir_ / "pam.d").string());
    }
    std::vector<std::string> wrapped{"/usr/bin/unshare", "-m", "/bin/sh", "-c"};
    std::vector<std::string> tried = wrapped;
    tried.push_back(mounts);
    tried.insert(tried.end(), mounted.begin(), mounted.end());
    takesPassword_ = WriteShadowWithPassword(mounted.front()) && RunToEnd(tried);
    if (!takesPassword_) return sshd;
    wrapped.push_back(mounts + " && exec \"$@\"");
    wrapped.insert(wrapped.end(), mounted.begin(), mounted.end());
    wrapped.insert(wrapped.end(), sshd.begin(), sshd.end());
    return wrapped;
}

// sshd asks PAM under its own name; pam_unix reads the shadow file, the
// copy that holds the user's password, at once on a wrong one.
void Sshd::WritePamService(const std::filesystem::path& folder) const {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "sshd") << "auth required pam_unix.so nodelay\naccount required pam_unix.so\n"
                                      "session required pam_permit.so\npassword required pam_deny.so\n";
}

// The system's shadow file with the user's line giving kPassword, hashed
// as the system hashes (SHA-512 crypt).
bool Sshd::WriteShadowWithPassword(const std::filesystem::path& file) const {
    const char* hash = crypt(kPassword, "$6$dirweightest$");
    std::ifstream system("/etc/shadow");
    if (!hash || !system) return false;
    const std::string prefix = std::string(kUser) + ":";
    std::ostringstream text;
    bool found = false;
    for (std::string line; std::getline(system, line);) {
        if (line.rfind(prefix, 0) == 0) {
            const std::size_t rest = line.find(':', prefix.size());
            std::string given = prefix;
            given += hash;
            given += rest == std::string::npos ? std::string("::::::") : line.substr(rest);
            line = std::move(given);
            found = true;
        }
        text << line << '\n';
    }
    if (!found) return false;
    std::ofstream(file) << text.str();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    return true;
}

Sshd::~Sshd() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_.parent_path(), ignored);
}

// A chroot's every folder from "/" down must be root's and written by no
// one else, which /tmp is not: the site lies in a folder of /run.
bool Sshd::CanRunHere() {
    if (!CanRun(SshdProgram(), true, {"sshd", kUser})) return false;
    std::string pattern = "/run/dirweigh-sshd-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    using std::filesystem::perms;
    std::filesystem::permissions(
        pattern, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec);
    root_ = std::filesystem::path(pattern) / "site";
    std::filesystem::create_directory(root_);
    std::filesystem::permissions(
        root_, perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec);
    return true;
}

std::string Sshd::Config() const {
    std::ostringstream text;
    text << "ListenAddress " << (ipv6_ ? "::1" : "127.0.0.1") << "\nPort " << freePort_ << "\nHostKey "
         << (dir_ / "host_key_ecdsa").string() << "\nHostKey " << (dir_ / "host_key").string() << "\nPidFile none\n"
         << (options_.keyboardInteractive ? "UsePAM yes\nPasswordAuthentication no\nKbdInteractiveAuthentication yes\n"
                                          : "UsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n")
         << "PubkeyAuthentication yes\nAuthorizedKeysFile " << (dir_ / "authorized_keys").string()
         << "\nStrictModes no\nAllowUsers " << kUser << "\nSubsystem sftp internal-sftp\n"
         << "ForceCommand internal-sftp\nChrootDirectory " << root_.string()
         << "\nAllowTcpForwarding no\nX11Forwarding no\nLogLevel DEBUG1\n";
    return text.str();
}

std::string Sshd::PublicKey(const std::string& name) const {
    std::ifstream in(dir_ / (name + ".pub"));
    std::string type, key;
    in >> type >> key;
    return type + " " + key;
}

std::string Sshd::HostKey() const { return PublicKey("host_key"); }

std::string Sshd::EcdsaHostKey() const { return PublicKey("host_key_ecdsa"); }

std::string Sshd::OtherHostKey() {
    const std::filesystem::path other = dir_ / "other_key";
    if (!std::filesystem::exists(other)) {
        RunToEnd({"/usr/bin/ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", other.string()});
    }
    return PublicKey("other_key");
}

std::string Sshd::KnownHostsLine(const std::string& key) const {
    return (ipv6_ ? "[::1]:" : "[127.0.0.1]:") + std::to_string(Port()) + " " + key;
}

}  // namespace testsupport
