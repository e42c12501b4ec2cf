// SPDX-License-Identifier: MIT
#include "net/core/errors.h"
#include "net/core/server_key.h"
#include "ssh/known_hosts.h"
#include "ssh/ssh_way_in.h"

namespace zn {

void TrustHost(SshSession& ssh, const SshTarget& target, const SshAnswers& answers) {
    const SshHostKey& key = ssh.HostKey();
    const std::string host = ServerHost(target.Server);
    const std::uint16_t port = SshPort(target.Server);
    const HostKeyCheck check = CheckHostKey(ssh.Handle(), KnownHostsFiles(target), host, port, key);
    if (check.Verdict == HostKeyVerdict::Changed) {
        throw ESocketError("WARNING: the " + key.Type + " host key of " + target.Server + " has changed: it is now " +
                           key.Fingerprint + ", not the key kept in " + check.File +
                           ". Someone may be listening in, or the server has a new key; nothing was sent. "
                           "Where the change is known, remove the server's line from " +
                           check.File);
    }
    const bool known = check.Verdict == HostKeyVerdict::Known;
    if (!answers.Vouch(key, known)) throw ECanceledError();
    if (known || target.OwnKnownHosts.empty()) return;
    // Not keeping it spoils nothing of this connection; the next one asks
    // again.
    std::string error;
    if (!AddHostKey(ssh.Handle(), target.OwnKnownHosts, host, port, key, error) && answers.Note) {
        answers.Note(target.Server + ": cannot remember the host key: " + error);
    }
}

}  // namespace zn
