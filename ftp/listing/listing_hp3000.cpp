// SPDX-License-Identifier: MIT
// HP3000 listings: a header with "PATH" in it, column headings, then one line
// per file with the kind in column 16 and the name from column 62:
//
//   PATH= /ACCOUNT/GROUP/
//   CODE  ------------LOGICAL RECORD-----------  ----SPACE----  FILENAME
//           F   80B  FA          15        100      16  1  1  REPORT
//
// MPE/iX lists its POSIX (HFS) directories with the record type in other
// columns and a directory's name ending in "/", with or without the header:
//
//                0   HBD          0          0   0       64  2  *   sub/
//               1B   BA         140 2147483647   1       16  1  *   notes.txt

#include "ftp/listing/listing_formats.h"

#include <algorithm>

namespace zn::listing {

bool ParseHP3000Line(const std::string& line, TznFTPDirEntry& entry) {
    if (line.empty()) {
        entry.Kind = dkDirectory;
        entry.Name = "..";
        return true;
    }
    entry.Name = line.size() > 61 ? line.substr(61) : std::string();
    if (line.size() < 16 || line[15] == 'D') {
        entry.Kind = dkDirectory;
    } else if (line[15] == 'F') {
        entry.Kind = dkFile;
    } else {
        entry.Kind = !entry.Name.empty() && entry.Name.back() == '/' ? dkDirectory : dkFile;
    }
    // The walk enters a directory by its bare name.
    if (entry.Kind == dkDirectory && entry.Name.size() > 1 && entry.Name.back() == '/') entry.Name.pop_back();
    return true;
}

}  // namespace zn::listing

// The other HP3000 layout (LISTF ,2) names each file first, with no path
// header; its headings are dropped as the PATH layout's are:
//
//   FILENAME  CODE  ------------LOGICAL RECORD-----------  ----SPACE----
//                     SIZE  TYP        EOF      LIMIT R/B  SECTORS #X MX
//
//   INDEX              80B  FA          15        100  16       16  1  1
//   REPORT    EDTCT   128W  VB         120       1023   1      128  1  8
//
// A record size in bytes ("B") or 16-bit words ("W") times the records
// held (EOF) is the exact size of a file of fixed-length records ("F..."
// type); of variable-length records only the space is known, which is no
// byte count, so such a file stays unread with its name.
namespace zn::listing {
namespace {

std::optional<std::int64_t> RecordBytes(std::string_view word) {
    if (word.size() < 2 || (word.back() != 'B' && word.back() != 'W')) return std::nullopt;
    const auto count = ReadDigits(word.substr(0, word.size() - 1));
    if (!count) return std::nullopt;
    return word.back() == 'W' ? *count * 2 : *count;
}

}  // namespace

bool IsHP3000NamesHeading(std::string_view line) {
    const LineWords words(line);
    return words[0] == "FILENAME" && words[1] == "CODE";
}

bool ParseHP3000NamesLine(const std::string& line, TznFTPDirEntry& entry) {
    const LineWords words(line);
    // The record size follows the name, or the name and the file code.
    const std::size_t size = RecordBytes(words[1]) ? 1 : 2;
    const auto recordBytes = RecordBytes(words[size]);
    const auto records = ReadDigits(words[size + 2]);
    const std::string_view type = words[size + 1];
    if (!recordBytes || !records || type.empty()) return false;
    if (type[0] != 'F' || *records > INT64_MAX / std::max<std::int64_t>(*recordBytes, 1)) {
        return KeepAsUnread(line, words[0], entry);
    }
    entry.Kind = dkFile;
    entry.Name = words[0];
    entry.Size = *recordBytes * *records;
    return true;
}

}  // namespace zn::listing
