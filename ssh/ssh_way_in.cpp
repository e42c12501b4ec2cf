// SPDX-License-Identifier: MIT
#include "ssh/ssh_way_in.h"

#include "net/core/server_key.h"
#include "ssh/known_hosts.h"

#include <cstdlib>

namespace zn {

std::uint16_t SshPort(const std::string& server) {
    const std::int32_t port = ServerPort(server);
    return port > 0 && port <= 0xFFFF ? static_cast<std::uint16_t>(port) : kSshPort;
}

std::string UserSshDirectory() {
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.ssh" : std::string();
}

std::string OwnKnownHostsFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // The XDG rule: a relative value is to be ignored.
    if (state && *state == '/') return std::string(state) + "/dirweigh/known_hosts";
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.local/state/dirweigh/known_hosts" : std::string();
}

std::vector<std::string> KnownHostsFiles(const SshTarget& target) {
    std::vector<std::string> files;
    if (!target.SshDirectory.empty()) files.push_back(target.SshDirectory + "/known_hosts");
    if (!target.OwnKnownHosts.empty()) files.push_back(target.OwnKnownHosts);
    return files;
}

void ConnectAndLogOn(SshSession& ssh, const SshTarget& target, const SshAnswers& answers) {
    const std::string host = ServerHost(target.Server);
    const std::uint16_t port = SshPort(target.Server);
    ssh.PreferHostKeys(KnownKeyAlgorithms(ssh.Handle(), KnownHostsFiles(target), host, port));
    ssh.Connect(host, port);
    if (answers.Step) answers.Step("SSH: " + ssh.HostKey().Type + " host key " + ssh.HostKey().Fingerprint);
    TrustHost(ssh, target, answers);
    LogOn(ssh, target, answers);
}

}  // namespace zn
