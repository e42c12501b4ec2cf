// SPDX-License-Identifier: MIT
// Reads the ncdu export format into a WalkTree. Strings are kept as bytes:
// ncdu writes names raw, and \u escapes (gdu writes some) become UTF-8.
#include "ftp/ncdu_export.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

namespace zn {
namespace {

// Fills `into` with up to `room` bytes of the export; 0 at its end, less
// than 0 when it cannot be read.
using NcduSource = std::function<std::ptrdiff_t(char* into, std::size_t room)>;

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

// Reads an export as its bytes come (inflated a chunk at a time from a
// file, or from a string), holding only the part it is reading, so that
// memory follows the tree the export describes rather than the file: a
// small file can inflate to gigabytes of blanks.
class NcduReader {
public:
    NcduReader(NcduSource more, NcduBounds bounds) : more_(std::move(more)), bounds_(bounds) {}
    std::unique_ptr<WalkTree> Read();
    std::string Error() const { return error_ + " at byte " + std::to_string(errorAt_); }

private:
    struct Info {
        std::string name;
        std::int64_t asize = 0;
        bool readError = false, notreg = false, excluded = false;
    };

    void Fail(const std::string& why) {
        if (error_.empty()) {
            error_ = why;
            errorAt_ = consumed_ + pos_;
        }
        pos_ = text_.size();
        ended_ = true;
    }
    bool Failed() const { return !error_.empty(); }
    // At least `n` bytes from pos_ on, unless the export ends first.
    bool Have(std::size_t n);
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
    void Escape(std::string& out);
    std::int64_t Number();
    bool Boolean();
    void SkipValue();
    Info ReadInfo();
    void OpenDirectory(WalkTree& tree, std::vector<int>& open);
    void CountEntry(const Info& info);

    NcduSource more_;
    NcduBounds bounds_;
    std::string buffer_;
    std::string_view text_;  // buffer_
    std::size_t pos_ = 0;
    std::uint64_t consumed_ = 0;  // bytes dropped from the front of buffer_
    bool ended_ = false;
    std::int64_t entries_ = 0;
    std::string error_;
    std::uint64_t errorAt_ = 0;
};

bool NcduReader::Have(std::size_t n) {
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
        if (consumed_ + buffer_.size() > bounds_.Bytes) {
            Fail("the export is larger than " + std::to_string(bounds_.Bytes) + " bytes uncompressed");
        }
    }
    return text_.size() - pos_ >= n;
}

std::string NcduReader::String() {
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

void NcduReader::Escape(std::string& out) {
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

std::int64_t NcduReader::Number() {
    Peek();
    // No number in an export is longer than this; what follows it is read
    // past below.
    Have(64);
    std::int64_t value = 0;
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

bool NcduReader::Boolean() {
    Have(4);
    if (text_.substr(pos_, 4) == "true") {
        pos_ += 4;
        return true;
    }
    SkipValue();
    return false;
}

// Any value, nested or not, without recursion.
void NcduReader::SkipValue() {
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

NcduReader::Info NcduReader::ReadInfo() {
    Info info;
    if (!Take('{')) return info;
    if (Peek() == '}') {
        ++pos_;
        return info;
    }
    do {
        const std::string key = String();
        if (!Take(':')) break;
        Peek();
        if (key == "name") {
            info.name = String();
        } else if (key == "asize") {
            // ncdu refuses them too, and a sum of them could wrap.
            info.asize = Number();
            if (info.asize < 0) Fail("a negative size");
        } else if (key == "read_error") {
            info.readError = Boolean();
        } else if (key == "notreg") {
            info.notreg = Boolean();
        } else if (key == "excluded") {
            // A pattern name, or true in old versions; false means nothing.
            info.excluded = Peek() != 'f';
            SkipValue();
        } else {
            SkipValue();
        }
    } while (!Failed() && Peek() == ',' && ++pos_);
    Take('}');
    return info;
}

void NcduReader::OpenDirectory(WalkTree& tree, std::vector<int>& open) {
    Take('[');
    const Info info = ReadInfo();
    CountEntry(info);
    int dir = WalkTree::kRoot;
    if (open.empty()) {
        tree.Rename(dir, info.name);
    } else {
        dir = tree.AddDirectory(open.back(), info.name);
    }
    tree.SetOwnSize(dir, info.asize);
    if (!info.readError) tree.Listed(dir);
    open.push_back(dir);
}

std::unique_ptr<WalkTree> NcduReader::Read() {
    auto tree = std::make_unique<WalkTree>();
    Take('[');
    if (Number() != 1) Fail("not an ncdu export of major version 1");
    Take(',');
    Number();
    Take(',');
    SkipValue();  // the metadata
    Take(',');
    std::vector<int> open;
    OpenDirectory(*tree, open);
    while (!open.empty() && !Failed()) {
        const char c = Peek();
        if (c == ']') {
            ++pos_;
            open.pop_back();
            continue;
        }
        if (!Take(',')) break;
        if (Peek() == '[') {
            OpenDirectory(*tree, open);
            continue;
        }
        const Info info = ReadInfo();
        CountEntry(info);
        if (Failed()) break;
        const WalkTree::EntryKind kind = info.excluded    ? WalkTree::ekExcluded
                                         : info.notreg    ? WalkTree::ekLink
                                         : info.readError ? WalkTree::ekRefused
                                                          : WalkTree::ekFile;
        tree->AddEntry(open.back(), kind, info.name, kind == WalkTree::ekExcluded ? 0 : info.asize);
    }
    Take(']');
    // A file cut short reads as an error; so must one with more after it.
    if (!Failed() && Peek() != '\0') Fail("something follows the export");
    if (Failed()) return nullptr;
    tree->Sum();
    return tree;
}

// No name holds a NUL (a listing line ends at one); a comparison of walks
// keys its paths on it.
void NcduReader::CountEntry(const Info& info) {
    if (Failed()) return;
    if (info.name.find('\0') != std::string::npos) Fail("a name holding a NUL");
    if (++entries_ > bounds_.Entries) Fail("more than " + std::to_string(bounds_.Entries) + " entries");
}

std::unique_ptr<WalkTree> ReadExport(NcduSource source, NcduBounds bounds, std::string& error) {
    NcduReader reader(std::move(source), bounds);
    try {
        auto tree = reader.Read();
        if (!tree) error = reader.Error();
        return tree;
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read it";
        return nullptr;
    }
}

}  // namespace

std::unique_ptr<WalkTree> ParseNcdu(std::string_view text, std::string& error, NcduBounds bounds) {
    std::size_t given = 0;
    return ReadExport(
        [&](char* into, std::size_t room) {
            const std::size_t n = std::min(room, text.size() - given);
            std::memcpy(into, text.data() + given, n);
            given += n;
            return static_cast<std::ptrdiff_t>(n);
        },
        bounds, error);
}

std::unique_ptr<WalkTree> LoadNcdu(const std::string& file, std::string& error, NcduBounds bounds) {
    // gzread passes a file that is not compressed through unchanged.
    gzFile in = file == "-" ? gzdopen(dup(0), "rb") : gzopen(file.c_str(), "rb");
    if (!in) {
        error = file + ": " + std::strerror(errno);
        return nullptr;
    }
    auto tree = ReadExport(
        [in](char* into, std::size_t room) {
            return static_cast<std::ptrdiff_t>(gzread(in, into, static_cast<unsigned>(room)));
        },
        bounds, error);
    // A compressed file whose end is missing: what came before it may
    // have read as a whole export.
    const bool cut = gzclose(in) == Z_BUF_ERROR;
    if (tree && cut) {
        tree.reset();
        error = "the compressed file ends before its end";
    }
    if (!tree) error = file + ": " + error;
    return tree;
}

}  // namespace zn
