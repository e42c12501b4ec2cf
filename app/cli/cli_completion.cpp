// SPDX-License-Identifier: MIT
// The bash completion of dirweigh-cli, written from the option table.
#include "app/cli/cli_completion.h"

#include "app/cli/cli_option_table.h"

namespace cli {
namespace {

std::string Spellings(const OptionRow& row) {
    return row.shortName ? std::string(row.shortName) + "|" + row.longName : row.longName;
}

// A case arm of the options whose argument the shell completes in its own
// way: the words of the row, file names, or the dial-up entries.
std::string OwnArm(const OptionRow& row) {
    const std::string words = row.words ? row.words : "";
    std::string arm = "        " + Spellings(row) + ")\n";
    if (row.completion == Completion::DialEntries) {
        arm +=
            "            compopt +o default 2>/dev/null\n"
            "            _dirweigh_cli_dial_entries \"$1\" \"$cur\"\n";
    } else if (row.completion == Completion::Files) {
        arm +=
            "            compopt -o filenames 2>/dev/null\n"
            "            mapfile -t COMPREPLY < <(compgen -W \"" +
            words + "\" -- \"$cur\"; compgen -f -- \"$cur\")\n";
    } else {
        arm +=
            "            compopt +o default 2>/dev/null\n"
            "            mapfile -t COMPREPLY < <(compgen -W \"" +
            words + "\" -- \"$cur\")\n";
    }
    return arm + "            return ;;\n";
}

// The arms of `case $prev`: file names from the shell's own completion
// (which quotes them and expands ~), nothing for a number or a name, and
// the rest each its own.
std::string ArgumentCases() {
    std::string files, nothing, own;
    for (const OptionRow& row : OptionTable()) {
        if (!row.argument) continue;
        if (row.completion == Completion::Files && !row.words) {
            files += (files.empty() ? "" : "|") + Spellings(row);
        } else if (row.completion == Completion::None) {
            nothing += (nothing.empty() ? "" : "|") + Spellings(row);
        } else {
            own += OwnArm(row);
        }
    }
    std::string arms;
    if (!files.empty()) arms += "        " + files + ")\n            return ;;\n";
    if (!nothing.empty())
        arms += "        " + nothing + ")\n            compopt +o default 2>/dev/null\n            return ;;\n";
    return arms + own;
}

std::string OptionNames() {
    std::string names;
    for (const OptionRow& row : OptionTable()) {
        if (row.shortName) names += std::string(names.empty() ? "" : " ") + row.shortName;
        names += std::string(names.empty() ? "" : " ") + row.longName;
    }
    return names;
}

}  // namespace

std::string BashCompletion() {
    return "# SPDX-License-Identifier: MIT\n"
           "# bash completion for dirweigh-cli, written from its option table when it is\n"
           "# built: the option names, and the values of the options whose values are\n"
           "# known.\n"
           "\n"
           "# The dial-up entries, as dirweigh-cli --list-dial-entries prints them (one\n"
           "# a line; none, and nothing on stdout, without a dial-up service); a name\n"
           "# may hold blanks, so each is quoted for the command line.\n"
           "_dirweigh_cli_dial_entries() {\n"
           "    local entry\n"
           "    while IFS= read -r entry; do\n"
           "        [[ $entry == \"$2\"* ]] && COMPREPLY+=(\"$(printf '%q' \"$entry\")\")\n"
           "    done < <(\"${1/#\\~/$HOME}\" --list-dial-entries 2>/dev/null)\n"
           "}\n"
           "\n"
           "_dirweigh_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" i\n"
           "    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
           "    COMPREPLY=()\n"
           "    # After \"--\" every word is the server.\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        [[ ${COMP_WORDS[i]} == -- ]] && return\n"
           "    done\n"
           "    # An argument: a file, a number or name, or one of known words.\n"
           "    case $prev in\n" +
           ArgumentCases() +
           "    esac\n"
           "    [[ $cur == -* ]] || return\n"
           "    mapfile -t COMPREPLY < <(compgen -W \"" +
           OptionNames() +
           "\" -- \"$cur\")\n"
           "}\n"
           "\n"
           "complete -o default -F _dirweigh_cli dirweigh-cli\n";
}

}  // namespace cli
