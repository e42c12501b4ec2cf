// SPDX-License-Identifier: MIT
#include "sitetree/ncdu_json.h"

#include <algorithm>
#include <charconv>

namespace zn {
namespace {

// A \u escape's character, as the UTF-8 bytes it stands for.
void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

bool NcduJson::Have(std::size_t n) {
    constexpr std::size_t kChunk = std::size_t{64} * 1024;
    while (text_.size() - pos_ < n && !ended_) {
        if (pos_ >= kChunk) {
            consumed_ += pos_;
            buffer_.erase(0, pos_);
            pos_ = 0;
        }
        const std::size_t held = buffer_.size();
        buffer_.resize(held + kChunk);
        const std::ptrdiff_t got = more_(buffer_.data() + held, kChunk);
        buffer_.resize(held + static_cast<std::size_t>(std::max<std::ptrdiff_t>(got, 0)));
        text_ = buffer_;
        if (got <= 0) ended_ = true;
        if (got < 0) Fail("cannot read it (a damaged compressed file?)");
        if (consumed_ + buffer_.size() > maxBytes_) {
            Fail("the export is larger than " + std::to_string(maxBytes_) + " bytes uncompressed");
        }
    }
    return text_.size() - pos_ >= n;
}

std::string NcduJson::String() {
    std::string out;
    if (!Take('"')) return out;
    while (Have(1) && text_[pos_] != '"') {
        if (text_[pos_] == '\\') {
            ++pos_;
            Escape(out);
        } else {
            out += text_[pos_++];
        }
    }
    if (!Have(1)) Fail("a string does not end");
    ++pos_;
    return out;
}

void NcduJson::Escape(std::string& out) {
    // The longest escape: a surrogate pair, "XXXX\\uXXXX" after the "\\u".
    Have(11);
    const char c = pos_ < text_.size() ? text_[pos_++] : '\0';
    switch (c) {
        case '"':
        case '\\':
        case '/': out += c; return;
        case 'b': out += '\b'; return;
        case 'f': out += '\f'; return;
        case 'n': out += '\n'; return;
        case 'r': out += '\r'; return;
        case 't': out += '\t'; return;
        case 'u': break;
        default: Fail("an unknown escape in a string"); return;
    }
    unsigned code = 0;
    if (pos_ + 4 > text_.size() ||
        std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, code, 16).ptr != text_.data() + pos_ + 4) {
        Fail("a bad \\u escape");
        return;
    }
    pos_ += 4;
    // A surrogate pair is two escapes for one character above U+FFFF.
    if (code >= 0xD800 && code < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
        unsigned low = 0;
        std::from_chars(text_.data() + pos_ + 2, text_.data() + std::min(pos_ + 6, text_.size()), low, 16);
        if (low >= 0xDC00 && low < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            pos_ += 6;
        }
    }
    AppendUtf8(out, code);
}

template <typename Integer>
Integer NcduJson::Number() {
    Peek();
    // No number in an export is longer than this; what follows it is read
    // past below.
    Have(64);
    Integer value = 0;
    const auto [end, status] = std::from_chars(text_.data() + pos_, text_.data() + text_.size(), value);
    if (status != std::errc() || end == text_.data() + pos_) {
        Fail("expected a number");
        return 0;
    }
    pos_ = static_cast<std::size_t>(end - text_.data());
    // A fraction or an exponent adds nothing a size needs.
    while (Have(1) && std::string_view(".eE+-0123456789").find(text_[pos_]) != std::string_view::npos) {
        ++pos_;
    }
    return value;
}

bool NcduJson::Boolean() {
    Have(4);
    if (text_.substr(pos_, 4) == "true") {
        pos_ += 4;
        return true;
    }
    SkipValue();
    return false;
}

// Any value, nested or not, without recursion.
void NcduJson::SkipValue() {
    int depth = 0;
    do {
        const char c = Peek();
        if (c == '"') {
            String();
        } else if (c == '{' || c == '[') {
            ++depth;
            ++pos_;
        } else if (c == '}' || c == ']') {
            --depth;
            ++pos_;
        } else if (c == '\0') {
            Fail("the file ends inside a value");
        } else {
            ++pos_;  // a number, true, false, null, ',' or ':'
        }
    } while (depth > 0 && !Failed());
    // A scalar ends before the next ',', '}' or ']'.
    while (depth == 0 && Have(1) && std::string_view(",}] \n\r\t").find(text_[pos_]) == std::string_view::npos) {
        ++pos_;
    }
}

template std::int64_t NcduJson::Number<std::int64_t>();
template std::uint64_t NcduJson::Number<std::uint64_t>();

}  // namespace zn
