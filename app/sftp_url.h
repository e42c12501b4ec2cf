// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

// What the window's Server field says when it holds an sftp:// URL,
// "sftp://[user@]host[:port][/path]": the path is below the login
// directory, and "//" makes it absolute; the user and the path may carry
// %XX escapes, as for dirweigh-cli.
struct SftpUrl {
    std::string User;    // empty: none in the URL
    std::string Server;  // "host[:port]"
    std::string Path;    // empty: none in the URL
};

// Nothing where the text is no sftp:// URL (the scheme in any case).
std::optional<SftpUrl> ReadSftpUrl(const std::string& typed);
