// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "ftp/client/connection_profile.h"
#include "net/core/server_key.h"

namespace zn {

// The servers a front end has logged on to over TLS. Under auto such a
// server must speak TLS again, so that someone on the path cannot strip it
// unnoticed; a server is remembered only after a TLS logon. Where that is
// kept is the front end's own: the window's ini file, dirweigh-cli's file
// of lines.
class TlsMemory {
public:
    virtual ~TlsMemory() = default;
    virtual bool SpokeTls(const std::string& server, UrlScheme scheme) const = 0;
    // False, with the reason in `error`, when it cannot be kept.
    virtual bool Remember(const std::string& server, UrlScheme scheme, std::string& error) = 0;
    // What the user can do to accept a server that really dropped TLS.
    virtual std::string HowToForget(const std::string& server, UrlScheme scheme) const = 0;
};

// Under auto, a server that spoke TLS before is to speak it again: the
// profile says whether, with what the user can do about it.
void ExpectTlsIfRemembered(ConnectionProfile& profile, const TlsMemory& memory, UrlScheme scheme);

}  // namespace zn
