// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>

#include "ftp/client/tls_memory.h"
#include "net/core/server_key.h"

namespace cli {

// The servers dirweigh-cli has logged on to over TLS, one a line: under
// --tls auto such a server must speak TLS again, so that someone on the path
// cannot strip it unnoticed. The line is written only after a TLS logon.

// $XDG_STATE_HOME/dirweigh/tls-servers, by default
// ~/.local/state/dirweigh/tls-servers; empty without a home to put it in.
std::string TlsServersFile(const std::string& xdgStateHome, const std::string& home);
// The same, from the environment.
std::string TlsServersFile();

// The line a server is kept as: its one spelling with its way in
// (ServerKey), whatever spelling of it was typed.
std::string TlsServerLine(const std::string& host, zn::UrlScheme scheme);

bool IsTlsServerRemembered(const std::string& file, const std::string& host, zn::UrlScheme scheme);
// Adds the server's line unless it is there; false, with the reason in
// `error`, when the file cannot be written.
bool RememberTlsServer(const std::string& file, const std::string& host, zn::UrlScheme scheme, std::string& error);

// The file as dirweigh-cli's memory of TLS servers; without a file (no home
// to keep it in) nothing is remembered.
class TlsServersMemory : public zn::TlsMemory {
public:
    explicit TlsServersMemory(std::string file) : file_(std::move(file)) {}
    bool SpokeTls(const std::string& server, zn::UrlScheme scheme) const override;
    bool Remember(const std::string& server, zn::UrlScheme scheme, std::string& error) override;
    std::string HowToForget(const std::string& server, zn::UrlScheme scheme) const override;

private:
    std::string file_;
};

}  // namespace cli
