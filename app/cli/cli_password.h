// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace cli {

struct Credentials {
    std::string user;
    std::string password;
};

// Where a password may come from, so that tests can stand in for the
// environment, the home directory and the terminal.
struct PasswordSources {
    std::function<std::optional<std::string>(const char* name)> environment;
    std::string homeDirectory;
    // Asks on the terminal without echo; nothing when there is no terminal.
    std::function<std::optional<std::string>(const std::string& prompt)> prompt;
};

// The login and password of `machine` in a .netrc text ("machine", "login",
// "password" tokens; "default" matches any machine). With a user given, only
// an entry for that login counts.
std::optional<std::string> NetrcPassword(const std::string& netrc, const std::string& machine, const std::string& user);

// The login and password of the .netrc entry for exactly this machine.
std::optional<Credentials> NetrcLogin(const std::string& netrc, const std::string& machine);

// The user's credentials. Without a user: the login of a ~/.netrc entry for
// the machine, else anonymous. With one: the password from the password
// file, DIRWEIGH_PASSWORD, ~/.netrc or the prompt, in that order. Nothing,
// with `error` set, when none gives one or a file that exists cannot be read.
std::optional<Credentials> ResolveCredentials(const std::string& user, const std::string& host,
                                              const std::optional<std::string>& passwordFile,
                                              const PasswordSources& sources, std::string& error);

// The login and password of the ~/.netrc entry for exactly the machine of
// `host`; nothing without one, or where the file cannot be read (`error`
// then says why).
std::optional<Credentials> NetrcLoginFor(const std::string& host, const PasswordSources& sources, std::string& error);

PasswordSources SystemPasswordSources();

}  // namespace cli
