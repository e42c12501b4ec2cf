// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "sitetree/gzip_members.h"
#include "sitetree/walk_tree.h"

namespace zn {

// The export format of ncdu (1.2: major 1, minor 2), which ncdu 1.9 and
// later and gdu read: a JSON array [1, 2, {metadata}, ROOT] where a
// directory is an array of its info object and its children, and a file an
// info object. Names go out as their bytes: only '"', '\', bytes below 0x20
// and 0x7F are escaped, so a Latin-1 name comes back byte for byte.
struct NcduMetadata {
    std::string ProgramVersion;
    std::int64_t Timestamp = 0;  // Unix seconds
    // "ftp://user@host/path"; never the password. Empty: left out.
    std::string Source;
};

// Writes the tree depth-first, in pieces of about 64 KiB to `write`, which
// returns false to stop.
bool WriteNcdu(const WalkTree& tree, const NcduMetadata& metadata, const std::function<bool(std::string_view)>& write);
// To `file`, gzip-compressed when its name ends in ".gz"; "-" is
// `standardOutput`. False with the reason in `error`.
bool SaveNcdu(const WalkTree& tree, const NcduMetadata& metadata, const std::string& file, std::ostream& standardOutput,
              std::string& error);

// The same, gzip-compressed, to the descriptor `fd` (closed after); `file`
// names it in an error. Synced: on the disk when it returns true.
bool SaveNcduCompressed(const WalkTree& tree, const NcduMetadata& metadata, int fd, const std::string& file,
                        std::string& error, Durability durability = Durability::Cached);
// To `file` gzip-compressed, whatever its name.
bool SaveNcduCompressed(const WalkTree& tree, const NcduMetadata& metadata, const std::string& file,
                        std::string& error);

// Reads an export of DirWeigh, ncdu or gdu, gzip-compressed or not: the
// root's name is the start path; an excluded item, a link (notreg) and an
// item with a read error that is not a directory keep their marks.
// It is read as it inflates, so memory follows the tree; past these bounds
// it is refused with a message. A negative size, a name holding a NUL, a
// compressed file cut short or anything after the export is refused too.
struct NcduBounds {
    std::uint64_t Bytes = std::uint64_t{16} << 30;  // uncompressed
    std::int64_t Entries = 50'000'000;
};
std::unique_ptr<WalkTree> ParseNcdu(std::string_view text, std::string& error, NcduBounds bounds = {});
std::unique_ptr<WalkTree> LoadNcdu(const std::string& file, std::string& error, NcduBounds bounds = {});

}  // namespace zn
