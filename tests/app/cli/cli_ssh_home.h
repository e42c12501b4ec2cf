// SPDX-License-Identifier: MIT
#pragma once

#include "tests/app/cli/cli_fixture.h"
#include "tests/fakes/sshd.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace clitest {

// The user's side of an sftp:// run: a ~/.ssh with the key that opens the
// fixture's server and a known_hosts, and DirWeigh's own known-hosts file
// beside it; removed by the destructor.
class SshClientHome {
public:
    explicit SshClientHome(const testsupport::Sshd& sshd) {
        std::string pattern = "/tmp/dirweigh-ssh-home-XXXXXX";
        dir_ = mkdtemp(pattern.data());
        std::filesystem::create_directory(SshDir());
        std::filesystem::copy_file(sshd.ClientKey(), SshDir() / "id_ed25519");
        std::filesystem::permissions(SshDir() / "id_ed25519",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        KnowHosts("");
    }
    ~SshClientHome() { std::filesystem::remove_all(dir_); }
    SshClientHome(const SshClientHome&) = delete;
    SshClientHome& operator=(const SshClientHome&) = delete;

    std::filesystem::path Dir() const { return dir_; }
    std::filesystem::path SshDir() const { return dir_ / ".ssh"; }
    std::filesystem::path OwnKnownHosts() const { return dir_ / "state" / "known_hosts"; }
    void KnowHosts(const std::string& lines) const { std::ofstream(SshDir() / "known_hosts") << lines; }
    // Both of the server's host keys known, as after the user accepted one.
    void KnowServer(const testsupport::Sshd& sshd) const {
        KnowHosts(sshd.KnownHostsLine(sshd.HostKey()) + "\n" + sshd.KnownHostsLine(sshd.EcdsaHostKey()) + "\n");
    }

    // `password` for any password asked, from the environment; the
    // prompt, which a passphrase is asked at, answers with `typed` and is
    // recorded.
    std::string password = "secret";
    std::optional<std::string> typed;
    std::vector<std::string> prompts;
    // Where ~/.netrc is read; none by default.
    std::string netrcHome;

    // dirweigh-cli in this process; the history kept in `historyDir`.
    CliResult Run(const std::vector<std::string>& args, const std::string& historyDir = {}) {
        cli::Environment environment;
        environment.passwords.environment = [this](const char*) -> std::optional<std::string> { return password; };
        environment.passwords.prompt = [this](const std::string& prompt) {
            prompts.push_back(prompt);
            return typed;
        };
        environment.passwords.homeDirectory = netrcHome;
        environment.sshDirectory = SshDir();
        environment.sshKnownHostsFile = OwnKnownHosts();
        environment.historyDir = historyDir;
        std::ostringstream out, err;
        const int status = cli::RunCli(args, out, err, environment);
        return {status, out.str(), err.str()};
    }

private:
    std::filesystem::path dir_;
};

inline std::string SftpUrl(const testsupport::Sshd& sshd) {
    return std::string("sftp://") + testsupport::Sshd::kUser + "@" + sshd.Address() + "/";
}

}  // namespace clitest
