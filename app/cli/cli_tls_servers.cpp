// SPDX-License-Identifier: MIT
#include "app/cli/cli_tls_servers.h"

#include "net/core/text_helpers.h"
#include "net/socket.h"
#include "sitetree/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace cli {

std::string TlsServersFile(const std::string& xdgStateHome, const std::string& home) {
    // The XDG rule: a relative value is to be ignored.
    if (!xdgStateHome.empty() && xdgStateHome.front() == '/') return xdgStateHome + "/dirweigh/tls-servers";
    if (home.empty()) return {};
    return home + "/.local/state/dirweigh/tls-servers";
}

std::string TlsServersFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    return TlsServersFile(state ? state : "", home ? home : "");
}

std::string TlsServerLine(const std::string& host, zn::UrlScheme scheme) { return zn::ServerKey(host, scheme); }

namespace {

// A line of the file in its one spelling: "ftps://" before the server
// names the scheme; none, plain FTP.
std::string KeyOfLine(const std::string& line) {
    for (const zn::UrlScheme scheme : {zn::UrlScheme::Ftps, zn::UrlScheme::Sftp}) {
        const std::string prefix = zn::SchemeName(scheme) + std::string("://");
        if (line.rfind(prefix, 0) == 0) return TlsServerLine(line.substr(prefix.size()), scheme);
    }
    return TlsServerLine(line, zn::UrlScheme::Ftp);
}

}  // namespace

bool IsTlsServerRemembered(const std::string& file, const std::string& host, zn::UrlScheme scheme) {
    const std::string wanted = TlsServerLine(host, scheme);
    std::ifstream in(file);
    // Lines written as the host was typed, before they were kept in one
    // spelling, still count.
    for (std::string line; std::getline(in, line);) {
        if (KeyOfLine(std::string(zn::TrimControl(line))) == wanted) return true;
    }
    return false;
}

bool RememberTlsServer(const std::string& file, const std::string& host, zn::UrlScheme scheme, std::string& error) {
    if (IsTlsServerRemembered(file, host, scheme)) return true;
    // Which servers spoke TLS is the user's own business: 0600 in a 0700
    // folder, and never written through a link someone planted.
    if (!zn::MakePrivateFolders(std::filesystem::path(file).parent_path().string(), error)) return false;
    int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) fd = zn::CreatePrivateFile(file);
    if (fd >= 0) fchmod(fd, 0600);
    const std::string line = TlsServerLine(host, scheme) + "\n";
    const bool written = fd >= 0 && write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (!written) error = file + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return written;
}

bool TlsServersMemory::SpokeTls(const std::string& server, zn::UrlScheme scheme) const {
    return !file_.empty() && IsTlsServerRemembered(file_, server, scheme);
}

bool TlsServersMemory::Remember(const std::string& server, zn::UrlScheme scheme, std::string& error) {
    return file_.empty() || RememberTlsServer(file_, server, scheme, error);
}

std::string TlsServersMemory::HowToForget(const std::string& server, zn::UrlScheme scheme) const {
    return "run with --tls off, or remove the line \"" + TlsServerLine(server, scheme) + "\" from " + file_;
}

}  // namespace cli
