// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

#include "ftp/client/ftp.h"

namespace zn {

// What a logon needs, as one value: who logs on where, how listings reach
// the client, and how sure of the server the client must be. The command
// line fills one from its options; a walk's further connections take theirs
// from the first connection's.
struct ConnectionProfile {
    std::string Server;  // host or address, ":port" optional
    std::string UserName;
    std::string Password;
    std::int32_t TimeOutSeconds = 0;
    bool Passive = false;
    bool PassiveFallback = false;
    std::string ConnectBackAdvice;
    bool UseProxy = false;
    std::string Proxy;
    TFTPProxyType ProxyType = fpUserNoLogon;
    TTlsMode TlsMode = tmOff;
    std::string TrustedFingerprint;
    std::string RequiredFingerprint;
    // The server spoke TLS before, and what the user can do when it no
    // longer does.
    bool TlsRemembered = false;
    std::string TlsAcceptAdvice;
};

// What `ftp` is set up with.
ConnectionProfile ProfileOf(const TznFTP& ftp);
// Sets `ftp` up as `profile` says. Raises where the client refuses a value
// (a proxy without a port, a fingerprint that is not one).
void ApplyProfile(const ConnectionProfile& profile, TznFTP& ftp);
// A walk's further connection, from its first: the same server and logon,
// at most `mostSeconds` of time-out, and as secure as the first turned out
// to be, or not at all.
ConnectionProfile FurtherConnectionProfile(const TznFTP& first, std::int32_t mostSeconds);

}  // namespace zn
