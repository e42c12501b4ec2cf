// SPDX-License-Identifier: MIT
#include "app/cli/cli_password.h"

#include "net/core/server_key.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <vector>

namespace cli {
namespace {

// A file's whole text; nothing when it does not exist; an error for
// anything else that keeps it from being read (a directory, no permission).
struct FileText {
    std::optional<std::string> text;
    std::string error;
};

FileText ReadWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return {};
        return {std::nullopt, "cannot read " + path + ": " + std::strerror(errno)};
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return {std::nullopt, "cannot read " + path + ": not a regular file"};
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            close(fd);
            return {std::nullopt, "cannot read " + path + ": " + std::strerror(error)};
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    close(fd);
    return {std::move(text), {}};
}

// The first line of a password file, without its line end.
std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// The terminal's settings while the prompt hides what is typed. A signal
// that ends the program (Ctrl-C at the prompt) must give the terminal its
// echo back first.
termios savedTerminal{};
volatile sig_atomic_t echoHidden = 0;

void RestoreEchoAndDie(int signal) {
    if (echoHidden) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

class HiddenEcho {
public:
    HiddenEcho() {
        tcgetattr(STDIN_FILENO, &savedTerminal);
        for (int i = 0; i < kSignals; ++i) {
            struct sigaction action {};
            action.sa_handler = RestoreEchoAndDie;
            sigaction(kEnding[i], &action, &previous_[i]);
        }
        termios quiet = savedTerminal;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        echoHidden = 1;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~HiddenEcho() {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
        echoHidden = 0;
        for (int i = 0; i < kSignals; ++i) sigaction(kEnding[i], &previous_[i], nullptr);
    }
    HiddenEcho(const HiddenEcho&) = delete;
    HiddenEcho& operator=(const HiddenEcho&) = delete;

private:
    static constexpr int kSignals = 4;
    static constexpr int kEnding[kSignals] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct sigaction previous_[kSignals] {};
};

std::optional<std::string> PromptWithoutEcho(const std::string& prompt) {
    if (!isatty(STDIN_FILENO)) return std::nullopt;
    std::cerr << prompt << std::flush;
    std::string line;
    bool got = false;
    {
        HiddenEcho hidden;
        got = static_cast<bool>(std::getline(std::cin, line));
    }
    std::cerr << '\n';
    if (!got) return std::nullopt;
    return line;
}

struct NetrcEntry {
    std::string login;
    std::optional<std::string> password;
};

// The entries of a .netrc text in order, "default" under the empty name.
std::vector<std::pair<std::string, NetrcEntry>> NetrcEntries(const std::string& netrc) {
    std::istringstream in(netrc);
    std::vector<std::string> tokens{std::istream_iterator<std::string>(in), {}};
    std::vector<std::pair<std::string, NetrcEntry>> entries;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const bool isDefault = tokens[i] == "default";
        if (!(isDefault || (tokens[i] == "machine" && i + 1 < tokens.size()))) continue;
        std::pair<std::string, NetrcEntry> entry{isDefault ? std::string() : tokens[i + 1], {}};
        std::size_t j = i + (isDefault ? 1 : 2);
        for (; j + 1 < tokens.size() && tokens[j] != "machine" && tokens[j] != "default"; j += 2) {
            if (tokens[j] == "login") entry.second.login = tokens[j + 1];
            if (tokens[j] == "password") entry.second.password = tokens[j + 1];
        }
        i = j - 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace

std::optional<std::string> NetrcPassword(const std::string& netrc, const std::string& machine,
                                         const std::string& user) {
    std::optional<std::string> fallback;
    for (const auto& [name, entry] : NetrcEntries(netrc)) {
        const bool isDefault = name.empty();
        if (!(isDefault || name == machine) || !entry.password) continue;
        if (!user.empty() && !entry.login.empty() && entry.login != user) continue;
        if (!isDefault) return entry.password;
        if (!fallback) fallback = entry.password;
    }
    return fallback;
}

std::optional<Credentials> NetrcLogin(const std::string& netrc, const std::string& machine) {
    for (const auto& [name, entry] : NetrcEntries(netrc)) {
        if (name == machine && !entry.login.empty() && entry.password) return Credentials{entry.login, *entry.password};
    }
    return std::nullopt;
}

std::optional<Credentials> ResolveCredentials(const std::string& user, const std::string& host,
                                              const std::optional<std::string>& passwordFile,
                                              const PasswordSources& sources, std::string& error) {
    if (passwordFile && !user.empty()) {
        FileText file = ReadWholeFile(*passwordFile);
        if (!file.text) {
            error = file.error.empty() ? "cannot read the password file " + *passwordFile : file.error;
            return std::nullopt;
        }
        return Credentials{user, FirstLine(*file.text)};
    }
    if (auto fromEnvironment = sources.environment("DIRWEIGH_PASSWORD"); fromEnvironment && !user.empty()) {
        return Credentials{user, *fromEnvironment};
    }
    std::optional<std::string> netrc;
    if (!sources.homeDirectory.empty()) {
        FileText file = ReadWholeFile(sources.homeDirectory + "/.netrc");
        if (!file.error.empty()) {
            error = file.error;
            return std::nullopt;
        }
        netrc = std::move(file.text);
    }
    const std::string machine = zn::ServerHost(host);
    if (user.empty()) {
        // As curl and lftp do: a machine entry with a login logs on as that
        // user; without one, the walk is anonymous.
        if (netrc) {
            if (auto login = NetrcLogin(*netrc, machine)) return login;
        }
        return Credentials{"anonymous", "anonymous@"};
    }
    if (netrc) {
        if (auto password = NetrcPassword(*netrc, machine, user)) return Credentials{user, *password};
    }
    if (auto typed = sources.prompt("Password for " + user + "@" + host + ": ")) return Credentials{user, *typed};
    error = "no password for " + user + ": give --password-file, DIRWEIGH_PASSWORD or a ~/.netrc entry";
    return std::nullopt;
}

std::optional<Credentials> NetrcLoginFor(const std::string& host, const PasswordSources& sources, std::string& error) {
    if (sources.homeDirectory.empty()) return std::nullopt;
    FileText file = ReadWholeFile(sources.homeDirectory + "/.netrc");
    error = file.error;
    if (!file.text) return std::nullopt;
    return NetrcLogin(*file.text, zn::ServerHost(host));
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
