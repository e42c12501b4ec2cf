// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zn {

// Fills `into` with up to `room` bytes of the export; 0 at its end, less
// than 0 when it cannot be read.
using NcduSource = std::function<std::ptrdiff_t(char* into, std::size_t room)>;

// The JSON of an export, read as its bytes come (inflated a chunk at a time
// from a file, or from a string), holding only the part being read, so
// that memory follows the tree the export describes rather than the file:
// a small file can inflate to gigabytes of blanks. Strings are kept as
// bytes: ncdu writes names raw, and \u escapes (gdu writes some) become
// UTF-8. After the first failure every read gives nothing.
class NcduJson {
public:
    NcduJson(NcduSource more, std::uint64_t maxBytes) : more_(std::move(more)), maxBytes_(maxBytes) {}

    void Fail(const std::string& why) {
        if (error_.empty()) {
            error_ = why;
            errorAt_ = consumed_ + pos_;
        }
        pos_ = text_.size();
        ended_ = true;
    }
    bool Failed() const { return !error_.empty(); }
    std::string Error() const { return error_ + " at byte " + std::to_string(errorAt_); }

    // The next byte past blanks, '\0' at the end.
    char Peek() {
        while (Have(1) && (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' || text_[pos_] == '\t')) {
            ++pos_;
        }
        return Have(1) ? text_[pos_] : '\0';
    }
    bool Take(char c) {
        if (Peek() != c) {
            Fail(std::string("expected '") + c + "'");
            return false;
        }
        ++pos_;
        return true;
    }
    std::string String();
    // An integer; a fraction or an exponent after it is passed over.
    template <typename Integer>
    Integer Number();
    bool Boolean();
    void SkipValue();

private:
    // At least `n` bytes from pos_ on, unless the export ends first.
    bool Have(std::size_t n);
    void Escape(std::string& out);

    NcduSource more_;
    std::uint64_t maxBytes_;
    std::string buffer_;
    std::string_view text_;  // buffer_
    std::size_t pos_ = 0;
    std::uint64_t consumed_ = 0;  // bytes dropped from the front of buffer_
    bool ended_ = false;
    std::string error_;
    std::uint64_t errorAt_ = 0;
};

}  // namespace zn
