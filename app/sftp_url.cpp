// SPDX-License-Identifier: MIT
#include "app/sftp_url.h"

#include "net/core/text_helpers.h"

namespace {

// %XX escapes read as dirweigh-cli reads them; a % that starts none is
// taken as it stands, since the field is typed, not pasted from a link.
std::string Decoded(const std::string& text) { return zn::PercentDecode(text).value_or(text); }

}  // namespace

std::optional<SftpUrl> ReadSftpUrl(const std::string& typed) {
    const std::string scheme = "sftp://";
    if (zn::LowerCase(typed.substr(0, scheme.size())) != scheme) return std::nullopt;
    const std::string rest = typed.substr(scheme.size());
    const std::size_t slash = rest.find('/');
    SftpUrl url;
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) url.Path = Decoded(rest.substr(slash + 1));
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        url.User = Decoded(authority.substr(0, at));
        authority.erase(0, at + 1);
    }
    url.Server = authority;
    return url;
}
