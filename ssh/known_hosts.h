// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ssh/ssh_session.h"

namespace zn {

// What the known-hosts files say of a server's key.
enum class HostKeyVerdict : std::uint8_t {
    Known,    // a file holds this key for the server
    Changed,  // a file holds another key of that type for it, none this one
    Unknown,  // no file names the server with a key of that type
};

struct HostKeyCheck {
    HostKeyVerdict Verdict = HostKeyVerdict::Unknown;
    std::string File;  // where the other key is kept, when Changed
};

// Looks the server's key up in OpenSSH's known-hosts files (hashed names,
// "[host]:port" for a port other than 22, as ssh writes them), a file that
// cannot be read as one that knows nothing. The key is taken where any file
// holds it, so that a key kept twice, once outdated, does not lock the user
// out.
HostKeyCheck CheckHostKey(LIBSSH2_SESSION* session, const std::vector<std::string>& files, const std::string& host,
                          std::uint16_t port, const SshHostKey& key);

// The host key algorithms of the key types the files hold for the server
// ("ssh-ed25519", "rsa-sha2-512"...), hashed names included, for the
// handshake to ask for first, as ssh does: a server has keys of several
// types, and the one the user knows must be the one it shows.
std::vector<std::string> KnownKeyAlgorithms(LIBSSH2_SESSION* session, const std::vector<std::string>& files,
                                            const std::string& host, std::uint16_t port);

// Adds the server's key to `file`, made with its folder where missing,
// private to the user. False, with the reason in `error`, when it cannot
// be written.
bool AddHostKey(LIBSSH2_SESSION* session, const std::string& file, const std::string& host, std::uint16_t port,
                const SshHostKey& key, std::string& error);

}  // namespace zn
