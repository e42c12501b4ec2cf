// SPDX-License-Identifier: MIT
#include "app/cli/cli_tls_servers.h"

#include "net/text_helpers.h"

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

std::string TlsServerLine(const std::string& host) {
    std::string line = zn::LowerCase(host);
    if (line.size() > 3 && line.compare(line.size() - 3, 3, ":21") == 0) line.resize(line.size() - 3);
    return line;
}

bool IsTlsServerRemembered(const std::string& file, const std::string& host) {
    const std::string wanted = TlsServerLine(host);
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (zn::LowerCase(zn::TrimControl(line)) == wanted) return true;
    }
    return false;
}

bool RememberTlsServer(const std::string& file, const std::string& host, std::string& error) {
    if (IsTlsServerRemembered(file, host)) return true;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
    std::ofstream out(file, std::ios::app);
    if (out) out << TlsServerLine(host) << '\n';
    if (out.flush()) return true;
    error = file + ": " + std::strerror(errno);
    return false;
}

}  // namespace cli
