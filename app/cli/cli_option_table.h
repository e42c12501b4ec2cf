// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <set>
#include <span>
#include <string>

#include "app/cli/cli_options.h"

namespace cli {

// The command line while it is read: the options, and what can be settled
// only once every argument is in (the URL against --user and --dir, the
// excludes against --no-default-excludes).
struct Reading {
    Options options;
    std::optional<std::string> server;
    std::optional<std::string> user;
    std::optional<std::string> dir;
    bool defaultExcludes = true;
    std::set<std::string> excludes;
    bool connectionsGiven = false;
    bool tlsGiven = false;
    bool optionsEnded = false;  // after "--", every argument is the server
    bool done = false;          // --help or --version: the rest is not read
};

// The argument after an option; none when the option ends the line.
using OptionValue = std::optional<std::string>;
// Stores an option in `reading`, `spelling` as typed; returns what is wrong
// with it, empty when nothing is.
using ReadOption = std::string (*)(Reading& reading, const std::string& spelling, const OptionValue& value);

// What the shell offers for an option's argument.
enum class Completion {
    None,         // nothing: a number, a name, a size
    Words,        // `words` only
    Files,        // file names, and `words` if any
    DialEntries,  // the names --list-dial-entries prints
};

// One option of dirweigh-cli. The parser, the usage text, the shell's
// completion and the check of the manual page all read the same rows, so
// that an option added here is added everywhere.
struct OptionRow {
    const char* shortName;  // "-v"; nullptr when there is none
    const char* longName;   // "--verbose"
    const char* argument;   // "N", "FILE"; nullptr: the option takes none
    ReadOption read;
    // The usage text's lines, one '\n' between them; nullptr: shown in the
    // synopsis or beside another option, not on a line of its own.
    const char* help = nullptr;
    // The usage text's left column, when it is more than the names and the
    // argument ("--du [--max-depth N]").
    const char* shown = nullptr;
    Completion completion = Completion::None;
    const char* words = nullptr;  // "fast design"
};

// Every option, in the order of the usage text.
std::span<const OptionRow> OptionTable();
// The row of `spelling` ("-v" or "--verbose"); nullptr for none.
const OptionRow* FindOption(const std::string& spelling);

}  // namespace cli
