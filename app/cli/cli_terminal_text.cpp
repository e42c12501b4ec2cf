// SPDX-License-Identifier: MIT
#include "app/cli/cli_terminal_text.h"

namespace cli {
namespace {

void AppendEscaped(std::string& out, std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
}

bool IsContinuation(std::string_view text, std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence of two bytes or more that
// starts at `at`; 0 when there is none (a single byte, or a broken one).
std::size_t SequenceLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if (!IsContinuation(text, at + k)) return 0;
    }
    return length;
}

}  // namespace

std::string TerminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = SequenceLength(text, i);
        if (length > 0) {
            // C1 in UTF-8 is C2 80 to C2 9F: some terminals act on it as
            // they do on ESC [.
            const bool c1 = byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
            if (c1) {
                AppendEscaped(out, text.substr(i, 2));
            } else {
                out.append(text.substr(i, length));
            }
            i += length;
            continue;
        }
        // A byte on its own: C0 and DEL, and every byte that is not part
        // of UTF-8 (a Latin-1 name's "\xe9"), which a terminal would show
        // as a question mark or act on (C1 as a single byte).
        if (byte < 0x20 || byte >= 0x7F) {
            AppendEscaped(out, text.substr(i, 1));
        } else {
            out += text[i];
        }
        ++i;
    }
    return out;
}

}  // namespace cli
