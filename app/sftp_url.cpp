// SPDX-License-Identifier: MIT
#include "app/sftp_url.h"

#include "net/core/text_helpers.h"

std::optional<SftpUrl> ReadSftpUrl(const std::string& typed) {
    const std::string scheme = "sftp://";
    if (zn::LowerCase(typed.substr(0, scheme.size())) != scheme) return std::nullopt;
    const std::string rest = typed.substr(scheme.size());
    const std::size_t slash = rest.find('/');
    SftpUrl url;
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) url.Path = rest.substr(slash + 1);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        url.User = authority.substr(0, at);
        authority.erase(0, at + 1);
    }
    url.Server = authority;
    return url;
}
