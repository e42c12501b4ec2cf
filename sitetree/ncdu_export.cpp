// SPDX-License-Identifier: MIT
#include "sitetree/ncdu_export.h"

#include "sitetree/gzip_members.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace zn {
namespace {

constexpr std::size_t kFlushAt = std::size_t{64} * 1024;

void AppendString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
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

void AppendEntry(std::string& out, const WalkTree::Entry& entry) {
    // ncdu refuses an item without a name; such an entry (a listing line
    // with no name) is counted among the refused and cannot be shown.
    if (entry.Name.empty()) return;
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

// A directory's own line and its entries; `out` goes to `write` whenever
// it fills, so a directory of a million files is never one string.
bool WriteDirectoryStart(std::string& out, const WalkTree& tree, int dir,
                         const std::function<bool(std::string_view)>& write) {
    out += '[';
    // The root of a walk that could not learn its start path.
    AppendName(out, dir == WalkTree::kRoot && tree.Name(dir).empty() ? "/" : tree.Name(dir));
    AppendSize(out, tree.OwnSize(dir));
    if (!tree.IsListed(dir) || tree.IsCut(dir)) out += ",\"read_error\":true";
    out += '}';
    for (auto e = tree.FirstEntry(dir); e != WalkTree::kNone; e = tree.NextEntry(e)) {
        AppendEntry(out, tree.EntryAt(e));
        if (out.size() >= kFlushAt) {
            if (!write(out)) return false;
            out.clear();
        }
    }
    return true;
}

std::string MetadataText(const NcduMetadata& metadata) {
    std::string text = "[1,2,{\"progname\":\"dirweigh\",\"progver\":";
    AppendString(text, metadata.ProgramVersion);
    text += ",\"timestamp\":" + std::to_string(metadata.Timestamp);
    if (!metadata.Source.empty()) {
        text += ",\"source\":";
        AppendString(text, metadata.Source);
    }
    return text + "},\n";
}

}  // namespace

bool WriteNcdu(const WalkTree& tree, const NcduMetadata& metadata, const std::function<bool(std::string_view)>& write) {
    std::string out = MetadataText(metadata);
    // Depth-first with a stack of the next child to write per open
    // directory: an import can be deeper than the stack would allow.
    std::vector<int> next;
    if (!WriteDirectoryStart(out, tree, WalkTree::kRoot, write)) return false;
    next.push_back(tree.FirstChild(WalkTree::kRoot));
    while (!next.empty()) {
        const int child = next.back();
        if (child == WalkTree::kNone) {
            out += ']';
            next.pop_back();
        } else {
            next.back() = tree.NextSibling(child);
            out += ",\n";
            if (!WriteDirectoryStart(out, tree, child, write)) return false;
            next.push_back(tree.FirstChild(child));
        }
        if (out.size() >= kFlushAt) {
            if (!write(out)) return false;
            out.clear();
        }
    }
    out += "]\n";
    return write(out);
}

namespace {

bool WriteCompressed(const WalkTree& tree, const NcduMetadata& metadata, int fd, const std::string& file,
                     std::string& error) {
    if (fd < 0) {
        error = file + ": " + std::strerror(errno);
        return false;
    }
    GzipMemberWriter out(fd);
    const bool written = WriteNcdu(tree, metadata, [&](std::string_view piece) { return out.Write(piece); });
    if (!out.Finish() || !written) error = file + ": cannot write the compressed file";
    return error.empty();
}

}  // namespace

bool SaveNcduCompressed(const WalkTree& tree, const NcduMetadata& metadata, const std::string& file,
                        std::string& error) {
    return WriteCompressed(tree, metadata, ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666), file,
                           error);
}

bool SaveNcduCompressed(const WalkTree& tree, const NcduMetadata& metadata, int fd, const std::string& file,
                        std::string& error) {
    return WriteCompressed(tree, metadata, fd, file, error);
}

bool SaveNcdu(const WalkTree& tree, const NcduMetadata& metadata, const std::string& file, std::ostream& standardOutput,
              std::string& error) {
    if (file == "-") {
        const bool written = WriteNcdu(tree, metadata, [&](std::string_view piece) {
            return static_cast<bool>(standardOutput.write(piece.data(), static_cast<std::streamsize>(piece.size())));
        });
        if (!written || !standardOutput.flush()) error = "cannot write to standard output";
        return error.empty();
    }
    if (file.size() > 3 && file.compare(file.size() - 3, 3, ".gz") == 0) {
        return SaveNcduCompressed(tree, metadata, file, error);
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const bool written =
        out && WriteNcdu(tree, metadata, [&](std::string_view piece) {
            return static_cast<bool>(out.write(piece.data(), static_cast<std::streamsize>(piece.size())));
        });
    out.close();
    if (!written || !out) error = file + ": " + std::strerror(errno ? errno : EIO);
    return error.empty();
}

}  // namespace zn
