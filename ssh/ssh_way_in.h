// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ssh/ssh_session.h"

namespace zn {

constexpr std::uint16_t kSshPort = 22;

// Where an SSH logon goes, as whom, and the user's files it reads: the
// same for the window and the command line.
struct SshTarget {
    std::string Server;  // "host[:port]" as typed; port 22 where none is given
    std::string User;
    // The user's ~/.ssh: its known_hosts and the keys id_ed25519, id_ecdsa
    // and id_rsa; empty: none.
    std::string SshDirectory;
    // DirWeigh's own known-hosts file, where a key the user trusted is
    // kept, never the user's own; empty: nothing is kept.
    std::string OwnKnownHosts;
};

// What only the user can answer, each asked only when it is needed, so
// that nobody is asked for a password a key made unnecessary.
struct SshAnswers {
    // Whether to go on with the server's host key; `known`: a known-hosts
    // file holds it. False ends the connect before anything is sent; a
    // key not known and trusted is appended to OwnKnownHosts. Either may
    // throw its own message instead.
    std::function<bool(const SshHostKey& key, bool known)> Vouch;
    // The password, once the server takes one and no key got in; nothing
    // when there is none to give. Keyboard-interactive gets it too.
    std::function<std::optional<std::string>()> Password;
    // The passphrase of a key file that has one; nothing passes the key
    // over.
    std::function<std::optional<std::string>(const std::string& keyFile)> Passphrase;
    // What the user should hear of without it ending the logon.
    std::function<void(const std::string& note)> Note;
    // Each step, for a log: the server's key, the way in taken.
    std::function<void(const std::string& line)> Step;
};

// The user's ~/.ssh, from HOME; empty without one.
std::string UserSshDirectory();
// DirWeigh's own known-hosts file: $XDG_STATE_HOME/dirweigh/known_hosts,
// by default ~/.local/state/dirweigh/known_hosts, beside what else it
// remembers of servers; empty without a home to put it in.
std::string OwnKnownHostsFile();

// The port of "host[:port]"; 22 where none is given.
std::uint16_t SshPort(const std::string& server);
// The user's known_hosts and DirWeigh's own, those that are given.
std::vector<std::string> KnownHostsFiles(const SshTarget& target);

// Connects with the host key types the files know for the server asked
// for first, checks the key and logs on. Throws what the session throws,
// ECanceledError where Vouch said no, ESocketError for a key that changed
// and EServerError where no way in was taken.
void ConnectAndLogOn(SshSession& ssh, const SshTarget& target, const SshAnswers& answers);

// The two steps of it, ssh_host_trust.cpp and ssh_logon_ways.cpp: the
// server's key must be known or vouched for, a changed one is refused as
// ssh refuses it, before any password or key leaves the machine; then the
// agent's keys, the user's own (asking for a passphrase where one is
// needed), and the password or keyboard-interactive, in that order, as
// ssh tries them.
void TrustHost(SshSession& ssh, const SshTarget& target, const SshAnswers& answers);
void LogOn(SshSession& ssh, const SshTarget& target, const SshAnswers& answers);

}  // namespace zn
