// SPDX-License-Identifier: MIT
// AS/400 listings, read by column: the size in columns 1 to 21, the object
// type in columns 41 to 44 and the name from column 51. Folders ("*FLR") end
// their name with a "/", which is dropped:
//
//                   1234 03/07/99 14:05:00 *FLR      MYDIR/
//                   4096 03/07/99 14:05:00 *STMF     REPORT.TXT

#include "ftp/listing_formats.h"

#include "net/text_helpers.h"

namespace zn::listing {

bool ParseAS400Line(const std::string& line, TznFTPDirEntry& entry) {
    if (line.empty()) {
        entry.Kind = dkDirectory;
        entry.Name = "..";
        return true;
    }
    const std::string_view text = line;
    entry.Kind = text.size() >= 44 && text.substr(40, 4) == "*FLR" ? dkDirectory : dkFile;
    entry.Size = ReadSize(TrimControl(text.substr(0, 21)), 0);
    entry.Name = line.size() > 50 ? line.substr(50) : std::string();
    if (entry.Kind == dkDirectory && !entry.Name.empty()) entry.Name.pop_back();
    return true;
}

}  // namespace zn::listing
