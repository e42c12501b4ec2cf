// SPDX-License-Identifier: MIT
// The usage text: its option lines come from the option table.
#include "app/cli/cli_option_table.h"
#include "app/cli/cli_options.h"

namespace cli {
namespace {

// Where each option's help starts; a longer left column stands on a line
// of its own.
constexpr std::size_t kHelpColumn = 25;

std::string LeftColumn(const OptionRow& row) {
    if (row.shown) return row.shown;
    std::string names = row.shortName ? std::string(row.shortName) + ", " + row.longName : row.longName;
    return row.argument ? names + " " + row.argument : names;
}

std::string OptionLines(const OptionRow& row) {
    std::string text = "  " + LeftColumn(row);
    text += text.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - text.size(), ' ')
                                           : "\n" + std::string(kHelpColumn, ' ');
    for (const char* help = row.help; *help; ++help) {
        text += *help;
        if (*help == '\n') text += std::string(kHelpColumn, ' ');
    }
    return text + "\n";
}

std::string Usage() {
    std::string text =
        "usage: dirweigh-cli [OPTIONS] ftp[s]://[USER@]HOST[:PORT][/START/DIR]\n"
        "       dirweigh-cli [OPTIONS] HOST[:PORT] [--user USER] [--dir DIR]\n"
        "       dirweigh-cli --from FILE [--du [--sort size]|--json] [--top N] [--by-extension]\n"
        "       dirweigh-cli diff [--json] [--top N] OLD NEW\n"
        "\n"
        "Walks every directory below the start directory and adds up the file sizes.\n"
        "\n";
    for (const OptionRow& row : OptionTable()) {
        if (row.help) text += OptionLines(row);
    }
    return text +
           "\n"
           "Exit status: 0 complete, 1 failed (partial totals), 2 usage, 130 interrupted;\n"
           "with --check, the plugin's (0 to 3, as above).\n";
}

}  // namespace

const char* UsageText() {
    static const std::string kText = Usage();
    return kText.c_str();
}

}  // namespace cli
