// SPDX-License-Identifier: MIT
#include "sitetree/ncdu_text.h"

#include <charconv>
#include <cstring>

namespace zn {
namespace {

// What an item's text takes besides its name, about: the keys, the quotes
// and two numbers of six digits.
constexpr std::size_t kItemBytes = 48;

// Whether any byte of `word` is zero; exact for the word as a whole.
constexpr std::uint64_t HasZeroByte(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    return (word - kOnes) & ~word & (kOnes << 7);
}

// Whether a name holds a byte that JSON must escape: below 0x20, '"', '\\'
// or 0x7F. Eight bytes at a time: nearly every name holds none, and every
// name of a walk is asked about.
bool NeedsEscape(std::string_view text) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, 8);
        const std::uint64_t below = (word - kOnes * 0x20) & ~word & (kOnes << 7);
        if (below | HasZeroByte(word ^ (kOnes * '"')) | HasZeroByte(word ^ (kOnes * '\\')) |
            HasZeroByte(word ^ (kOnes * 0x7F)))
            return true;
    }
    for (; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == '"' || byte == '\\' || byte == 0x7F) return true;
    }
    return false;
}

void AppendString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    if (!NeedsEscape(text)) {
        out.append(text);
        out += '"';
        return;
    }
    // Runs of plain bytes go in at once: a history of many files writes
    // many names.
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        const bool quoted = c == '"' || c == '\\';
        if (!quoted && byte >= 0x20 && byte != 0x7F) continue;  // from 0x80 on, raw: ncdu reads names as bytes
        out.append(text.substr(plain, i - plain));
        plain = i + 1;
        if (quoted) {
            out += '\\';
            out += c;
        } else {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    out.append(text.substr(plain));
    out += '"';
}

void AppendName(std::string& out, std::string_view name) {
    out += "{\"name\":";
    AppendString(out, name);
}

void AppendSize(std::string& out, std::int64_t size) {
    if (size <= 0) return;
    // ncdu wants a disk usage; an FTP listing gives only the length, so the
    // length rounded up to whole 512-byte blocks stands in for it.
    const std::int64_t blocks = size / 512 + (size % 512 != 0);
    char number[24];  // the longest 64-bit number and its sign
    out += ",\"asize\":";
    out.append(number, std::to_chars(number, number + sizeof number, size).ptr);
    out += ",\"dsize\":";
    out.append(number, std::to_chars(number, number + sizeof number, blocks * 512).ptr);
}

char* Put(char* at, std::string_view text) {
    std::memcpy(at, text.data(), text.size());
    return at + text.size();
}

// The text of a file whose name needs no escape, as AppendEntry writes it,
// made on the stack and appended at once: nearly every entry of a walk is
// one, and a few appends cost less than many.
bool AppendPlainFile(std::string& out, const WalkTree::Entry& entry) {
    constexpr std::size_t kLongestName = 192;
    if (entry.Kind != WalkTree::ekFile || entry.Name.size() > kLongestName || NeedsEscape(entry.Name)) return false;
    char text[kLongestName + 96];
    char* at = Put(text, ",\n{\"name\":\"");
    at = Put(at, entry.Name);
    *at++ = '"';
    if (entry.Size > 0) {
        const std::int64_t blocks = entry.Size / 512 + (entry.Size % 512 != 0);
        at = Put(at, ",\"asize\":");
        at = std::to_chars(at, at + 20, entry.Size).ptr;
        at = Put(at, ",\"dsize\":");
        at = std::to_chars(at, at + 24, blocks * 512).ptr;
    }
    *at++ = '}';
    out.append(text, static_cast<std::size_t>(at - text));
    return true;
}

void AppendEntry(std::string& out, const WalkTree::Entry& entry) {
    // ncdu refuses an item without a name; such an entry (a listing line
    // with no name) is counted among the refused and cannot be shown.
    if (entry.Name.empty() || AppendPlainFile(out, entry)) return;
    out += ",\n";
    AppendName(out, entry.Name);
    switch (entry.Kind) {
        case WalkTree::ekFile: AppendSize(out, entry.Size); break;
        case WalkTree::ekLink: out += ",\"notreg\":true"; break;
        case WalkTree::ekExcluded: out += ",\"excluded\":\"pattern\""; break;
        case WalkTree::ekRefused: out += ",\"read_error\":true"; break;
    }
    out += '}';
}

void AppendDirectoryLine(std::string& out, const WalkTree& tree, int dir) {
    out += '[';
    // The root of a walk that could not learn its start path.
    AppendName(out, dir == WalkTree::kRoot && tree.Name(dir).empty() ? "/" : tree.Name(dir));
    AppendSize(out, tree.OwnSize(dir));
    if (!tree.IsListed(dir) || tree.IsCut(dir)) out += ",\"read_error\":true";
    out += '}';
}

void AppendMetadata(std::string& out, const NcduMetadata& metadata) {
    out += "[1,2,{\"progname\":\"dirweigh\",\"progver\":";
    AppendString(out, metadata.ProgramVersion);
    out += ",\"timestamp\":" + std::to_string(metadata.Timestamp);
    if (!metadata.Source.empty()) {
        out += ",\"source\":";
        AppendString(out, metadata.Source);
    }
    out += "},\n";
}

}  // namespace

void NcduTextCursor::Write(std::string& out, std::int64_t items) {
    for (; items > 0 && !ended_; --items) Step(&out);
}

std::int64_t NcduTextCursor::Skip(std::size_t bytes) {
    std::int64_t items = 0;
    for (std::size_t passed = 0; !ended_ && (items == 0 || passed < bytes); ++items) passed += Step(nullptr);
    return items;
}

std::size_t NcduTextCursor::OpenDirectory(int dir, std::string* out) {
    if (out) AppendDirectoryLine(*out, *tree_, dir);
    dir_ = dir;
    child_ = tree_->FirstChild(dir);
    entry_ = tree_->FirstEntry(dir);
    return tree_->Name(dir).size() + kItemBytes;
}

std::size_t NcduTextCursor::Step(std::string* out) {
    if (!started_) {
        started_ = true;
        if (out) AppendMetadata(*out, *metadata_);
        return metadata_->Source.size() + kItemBytes + OpenDirectory(WalkTree::kRoot, out);
    }
    if (entry_ != WalkTree::kNone) {
        const WalkTree::Entry entry = tree_->EntryAt(entry_);
        entry_ = tree_->NextEntry(entry_);
        if (out) AppendEntry(*out, entry);
        return entry.Name.size() + kItemBytes;
    }
    if (dir_ == WalkTree::kNone) {
        ended_ = true;
        if (out) *out += "]\n";
        return 2;
    }
    if (child_ == WalkTree::kNone) {
        // The directory ends; its parent goes on at its next sibling.
        if (out) *out += ']';
        child_ = tree_->NextSibling(dir_);
        dir_ = tree_->Parent(dir_);
        return 1;
    }
    if (out) *out += ",\n";
    return OpenDirectory(child_, out);
}

}  // namespace zn
