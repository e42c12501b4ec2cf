// SPDX-License-Identifier: MIT
// HP3000 listings: a header with "PATH" in it, column headings, then one line
// per file with the kind in column 16 and the name from column 62:
//
//   PATH= /ACCOUNT/GROUP/
//   CODE  ------------LOGICAL RECORD-----------  ----SPACE----  FILENAME
//           F   80B  FA          15        100      16  1  1  REPORT

#include "ftp/listing_formats.h"

namespace zn::listing {

bool ParseHP3000Line(const std::string& line, TznFTPDirEntry& entry) {
    if (line.empty()) {
        entry.Kind = dkDirectory;
        entry.Name = "..";
        return true;
    }
    entry.Kind = line.size() >= 16 && line[15] == 'F' ? dkFile : dkDirectory;
    entry.Name = line.size() > 61 ? line.substr(61) : std::string();
    return true;
}

}  // namespace zn::listing
