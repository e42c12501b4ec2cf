// SPDX-License-Identifier: MIT
// Writes dirweigh-cli's bash completion to the file it is given, at build
// time, so that the installed script always offers the options the program
// reads.

#include "app/cli/cli_completion.h"

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: dirweigh-cli-completion FILE\n";
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << cli::BashCompletion();
    out.close();
    if (!out) {
        std::cerr << "dirweigh-cli-completion: cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
