// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zn {

// Whether the private key in `file` is kept under a passphrase: an OpenSSH
// key whose cipher is not "none", or a PEM key marked ENCRYPTED. A file
// that cannot be read or is neither needs none: the logon with it says
// what is wrong.
bool PrivateKeyNeedsPassphrase(const std::string& file);

}  // namespace zn
