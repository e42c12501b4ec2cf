// SPDX-License-Identifier: MIT
#include "ftp/client/tls_memory.h"

namespace zn {

void ExpectTlsIfRemembered(ConnectionProfile& profile, const TlsMemory& memory, UrlScheme scheme) {
    // Set either way: a profile taken from a client holds what was said of
    // the server it last reached.
    profile.TlsRemembered = profile.TlsMode == tmAuto && memory.SpokeTls(profile.Server, scheme);
    profile.TlsAcceptAdvice = profile.TlsRemembered ? memory.HowToForget(profile.Server, scheme) : std::string();
}

}  // namespace zn
