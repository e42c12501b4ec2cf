// SPDX-License-Identifier: MIT
#pragma once

#include "tests/fakes/real_ftp_server.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct SshdOptions {
    // On ::1 alone.
    bool ipv6 = false;
    // The password asked for through PAM by keyboard-interactive, as many
    // hosts ask for it, and no password method.
    bool keyboardInteractive = false;
};

// OpenSSH's sshd, as scripts/setup unpacks it, on 127.0.0.1 (or ::1)
// and a free port, with a host key of its own, serving SFTP alone (internal-sftp) to
// the user dirweigh-sftp, chrooted into Root() as hosts run it. The user
// logs on with a key the fixture makes (ClientKey()) or, where
// TakesPassword(), with kPassword; any other password is refused.
// It must start as root, and the users sshd and dirweigh-sftp must exist
// (scripts/setup makes them): Skipped() says when this machine cannot run
// it. Stopped by the destructor, with every session it forked.
class Sshd : public RealFtpServer {
public:
    explicit Sshd(SshdOptions options = {});
    ~Sshd() override;

    static constexpr const char* kUser = "dirweigh-sftp";
    static constexpr const char* kPassword = "sftp-password";

    // sshd without PAM takes a password only where the shadow file holds
    // it, and the system's gives the user none. So that no test writes the
    // system's password file, sshd runs in a mount namespace of its own in
    // which a copy with the user's password lies over /etc/shadow; no
    // other process sees it; with keyboardInteractive, a PAM service of
    // the fixture's lies over /etc/pam.d there too. False where no
    // namespace can be made here: sshd then runs as it is and takes no
    // password.
    bool TakesPassword() const { return takesPassword_; }

    // The site, owned by root as a chroot must be: what the test puts there
    // is what the user sees, from "/".
    const std::filesystem::path& Root() const { return root_; }
    // The private key that logs the user on, without a passphrase.
    std::filesystem::path ClientKey() const { return dir_ / "client_key"; }
    // The ed25519 host key as a known_hosts line names it:
    // "ssh-ed25519 AAAA..."; the server has an ECDSA key too.
    std::string HostKey() const;
    std::string EcdsaHostKey() const;
    // The same with another key, made for the asking: a server whose key
    // changed.
    std::string OtherHostKey();
    // A known_hosts line for this server with `key`.
    std::string KnownHostsLine(const std::string& key) const;

private:
    bool CanRunHere();
    std::string Config() const;
    std::string PublicKey(const std::string& name) const;
    bool WriteShadowWithPassword(const std::filesystem::path& file) const;
    void WritePamService(const std::filesystem::path& folder) const;
    // How sshd is started: in its own mount namespace where that can be.
    std::vector<std::string> Command();

    const SshdOptions options_;
    std::filesystem::path root_;
    bool takesPassword_ = false;
};

}  // namespace testsupport
