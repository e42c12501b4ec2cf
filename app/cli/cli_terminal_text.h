// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace cli {

// Text from the server (names, replies, certificate fields) made safe to
// print where a terminal may read it: every control character, C0, DEL
// and C1 (alone or UTF-8 encoded), becomes "\xHH" per byte, so that a name
// holding "ESC ] 2 ; ... BEL" or a reply holding "ESC [ 2 J" cannot retitle
// the window, clear the screen or hide text. Everything else passes
// unchanged, UTF-8 included.
std::string TerminalSafe(std::string_view text);

}  // namespace cli
