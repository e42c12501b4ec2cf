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

#include "ftp/listing_formats.h"

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
