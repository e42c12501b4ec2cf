// SPDX-License-Identifier: MIT
#include "sitetree/ncdu_export.h"

#include "sitetree/gzip_members.h"
#include "sitetree/ncdu_text.h"

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
// A part compressed as one gzip member: about this much text.
constexpr std::size_t kPartBytes = std::size_t{64} * 1024;
// Items written at a time before the text is looked at again.
constexpr std::int64_t kItemsAtATime = 256;

}  // namespace

bool WriteNcdu(const WalkTree& tree, const NcduMetadata& metadata, const std::function<bool(std::string_view)>& write) {
    NcduTextCursor cursor(tree, metadata);
    std::string out;
    while (!cursor.AtEnd()) {
        cursor.Write(out, kItemsAtATime);
        if (out.size() >= kFlushAt) {
            if (!write(out)) return false;
            out.clear();
        }
    }
    return write(out);
}

bool SaveNcduCompressed(const WalkTree& tree, const NcduMetadata& metadata, int fd, const std::string& file,
                        std::string& error, Durability durability) {
    if (fd < 0) {
        error = file + ": " + std::strerror(errno);
        return false;
    }
    // The parts are cut here, in turn; their text is made by the threads
    // that compress them.
    NcduTextCursor cursor(tree, metadata);
    const NextGzipPart next = [&cursor]() -> GzipPart {
        if (cursor.AtEnd()) return {};
        NcduTextCursor from = cursor;
        const std::int64_t items = cursor.Skip(kPartBytes);
        return [from, items](std::string& text) mutable { from.Write(text, items); };
    };
    const bool written = WriteGzipMembers(fd, next, durability);
    if (!written) error = file + ": cannot write the compressed file";
    return written;
}

bool SaveNcduCompressed(const WalkTree& tree, const NcduMetadata& metadata, const std::string& file,
                        std::string& error) {
    return SaveNcduCompressed(tree, metadata, ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666),
                              file, error);
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
