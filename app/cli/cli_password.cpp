#include "app/cli/cli_password.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

namespace cli {
namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first line of a password file, without its line end.
std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<std::string> PromptWithoutEcho(const std::string& prompt) {
    if (!isatty(STDIN_FILENO)) return std::nullopt;
    std::cerr << prompt << std::flush;
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << '\n';
    if (!got) return std::nullopt;
    return line;
}

}  // namespace

std::optional<std::string> NetrcPassword(const std::string& netrc, const std::string& machine,
                                         const std::string& user) {
    std::istringstream in(netrc);
    std::vector<std::string> tokens{std::istream_iterator<std::string>(in), {}};
    std::optional<std::string> fallback;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const bool isDefault = tokens[i] == "default";
        if (!(isDefault || (tokens[i] == "machine" && i + 1 < tokens.size()))) continue;
        const bool matches = isDefault || tokens[i + 1] == machine;
        std::string login, password;
        bool hasPassword = false;
        std::size_t j = i + (isDefault ? 1 : 2);
        for (; j + 1 < tokens.size() && tokens[j] != "machine" && tokens[j] != "default"; j += 2) {
            if (tokens[j] == "login") login = tokens[j + 1];
            if (tokens[j] == "password") {
                password = tokens[j + 1];
                hasPassword = true;
            }
        }
        i = j - 1;
        if (!matches || !hasPassword || (!user.empty() && !login.empty() && login != user)) continue;
        if (!isDefault) return password;
        if (!fallback) fallback = password;
    }
    return fallback;
}

std::optional<Credentials> ResolveCredentials(const std::string& user, const std::string& host,
                                              const std::optional<std::string>& passwordFile,
                                              const PasswordSources& sources, std::string& error) {
    if (user.empty()) return Credentials{"anonymous", "anonymous@"};
    if (passwordFile) {
        auto text = ReadWholeFile(*passwordFile);
        if (!text) {
            error = "cannot read the password file " + *passwordFile;
            return std::nullopt;
        }
        return Credentials{user, FirstLine(*text)};
    }
    if (auto fromEnvironment = sources.environment("DIRWEIGH_PASSWORD")) return Credentials{user, *fromEnvironment};
    if (!sources.homeDirectory.empty()) {
        if (auto netrc = ReadWholeFile(sources.homeDirectory + "/.netrc")) {
            const std::string machine = host.substr(0, host.find(':'));
            if (auto password = NetrcPassword(*netrc, machine, user)) return Credentials{user, *password};
        }
    }
    if (auto typed = sources.prompt("Password for " + user + "@" + host + ": ")) return Credentials{user, *typed};
    error = "no password for " + user + ": give --password-file, DIRWEIGH_PASSWORD or a ~/.netrc entry";
    return std::nullopt;
}

PasswordSources SystemPasswordSources() {
    PasswordSources sources;
    sources.environment = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const char* home = std::getenv("HOME");
    sources.homeDirectory = home ? home : "";
    sources.prompt = PromptWithoutEcho;
    return sources;
}

}  // namespace cli
