// SPDX-License-Identifier: MIT
// The command line's parser (options, URLs, numbers) on arbitrary
// arguments: NUL bytes separate them. Whatever it takes, it either gives
// options or says what is wrong.

#include "app/cli/cli_options.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    const cli::Parsed parsed = cli::ParseCommandLine(args);
    if (parsed.options.has_value() == !parsed.error.empty()) std::abort();
    return 0;
}
