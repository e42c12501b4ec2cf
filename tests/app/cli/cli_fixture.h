// SPDX-License-Identifier: MIT
#pragma once

#include "app/cli/cli_run.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace clitest {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

// dirweigh-cli in this process, with "secret" as the password from the
// environment and no prompt; the TLS servers file and the history folder
// where a test keeps them (none: not kept).
inline CliResult RunCli(const std::vector<std::string>& args, const std::string& tlsServersFile = {},
                        const std::string& historyDir = {}) {
    cli::Environment environment;
    environment.tlsServersFile = tlsServersFile;
    environment.historyDir = historyDir;
    environment.passwords.environment = [](const char*) -> std::optional<std::string> { return "secret"; };
    environment.passwords.prompt = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err, environment);
    return {status, out.str(), err.str()};
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace clitest
