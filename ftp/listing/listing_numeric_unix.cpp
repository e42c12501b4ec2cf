// SPDX-License-Identifier: MIT
// Unix listings with the mode as an octal number (st_mode), then the owner
// and group numbers, the size, the time in seconds since 1970 (UTC) and
// the name:
//
//   0100644  500  101  12345  1739265240  index.html
//   040755   500  101   4096  1739265240  cgi-bin
//   0120777  500  101     11  1739265240  docs
//
// The file type lies in the mode's bits above the permissions: 010 a
// regular file, 004 a directory; links, devices, pipes and sockets are
// none of the site's files or directories.

#include "ftp/listing/listing_formats.h"

namespace zn::listing {
namespace {

constexpr std::size_t kNameWord = 5;

// The file type of an octal mode of six or seven digits, or -1.
int FileTypeOf(std::string_view word) {
    if (word.size() < 6 || word.size() > 7 || word.find_first_not_of("01234567") != std::string_view::npos) {
        return -1;
    }
    int mode = 0;
    for (char c : word) mode = mode * 8 + (c - '0');
    const int type = (mode >> 12) & 017;
    // Pipe, character device, directory, block device, file, link, socket.
    for (int known : {001, 002, 004, 006, 010, 012, 014}) {
        if (type == known) return type;
    }
    return -1;
}

bool HasShape(const LineWords& words) {
    if (words.Count() <= kNameWord || FileTypeOf(words[0]) < 0) return false;
    for (std::size_t i = 1; i < kNameWord; ++i) {
        if (!ReadDigits(words[i])) return false;
    }
    return true;
}

}  // namespace

bool HasNumericUnixForm(std::string_view line) { return HasShape(LineWords(line)); }

bool ParseNumericUnixLine(const std::string& line, TznFTPDirEntry& entry) {
    const LineWords words(line);
    if (!HasShape(words)) return false;
    const int type = FileTypeOf(words[0]);
    entry.Kind = type == 010 ? dkFile : type == 004 ? dkDirectory : dkLink;
    entry.Size = entry.Kind == dkLink ? 0 : *ReadDigits(words[3]);
    entry.Name = words.RestAfter(kNameWord - 1);
    platform::TDateTime epoch = 0;
    if (platform::TryEncodeDate(1970, 1, 1, epoch)) {
        entry.DateTime = epoch + static_cast<double>(*ReadDigits(words[4])) / 86400.0;
    }
    return true;
}

}  // namespace zn::listing
