// SPDX-License-Identifier: MIT
// AS/400 (OS/400 IFS) listings: the owner, the size, the date and time, the
// object type and the name, separated by blanks. Members of a file have no
// size or date of their own (the file's size holds them). Directories end
// their name with a "/", which is dropped:
//
//   WEBUSR        12288 02/11/25 09:14:00 *DIR       images/
//   WEBUSR        20480 02/11/25 09:14:00 *STMF      index.html
//   QSYS           1234 03/07/99 14:05:00 *FLR       MYDIR/
//   WEBUSR                                *MEM       MYLIB.FILE/MBR.MBR
//   WEBUSR         2048 02/11/25 09:14:00 *PGM       ORDERS.PGM
//   WEBUSR         4096 02/11/25 09:14:00 *STMF      /DRV/DIR/FILE.PDF
//
// Some servers leave the owner out; the columns are then blank. Every
// object that is not a directory or a link and has a size is a file: the
// system has dozens of object types (*PGM, *SRVPGM, *USRSPC, ...), all of
// them bytes the site holds. Some servers name an entry by its whole path.

#include "ftp/listing/listing_formats.h"

#include "net/core/text_helpers.h"

namespace zn::listing {
namespace {

// Owner, size, date and time come before the type, never more.
constexpr std::size_t kMaxWordsBeforeType = 4;

bool IsTypeWord(std::string_view word) {
    if (word.size() < 3 || word[0] != '*') return false;
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (word[i] < 'A' || word[i] > 'Z') return false;
    }
    return true;
}

// The index of the object type word, or LineWords::kMax.
std::size_t TypeWordAt(const LineWords& words) {
    for (std::size_t i = 0; i <= kMaxWordsBeforeType && i < words.Count(); ++i) {
        if (IsTypeWord(words[i])) return i;
    }
    return LineWords::kMax;
}

bool IsDirectoryType(std::string_view type) {
    return type == "*DIR" || type == "*FLR" || type == "*LIB" || type == "*DDIR";
}

// The types a first line is recognised by: those whose kind is plain
// without a size.
TDirEntryKind KindOfType(std::string_view type) {
    if (IsDirectoryType(type)) return dkDirectory;
    for (std::string_view file : {"*STMF", "*FILE", "*DOC", "*MEM"}) {
        if (type == file) return dkFile;
    }
    return type == "*SYMLNK" ? dkLink : dkUnknown;
}

}  // namespace

bool HasAS400TypeWord(std::string_view line) {
    const LineWords words(line);
    const std::size_t type = TypeWordAt(words);
    return type != LineWords::kMax && KindOfType(words[type]) != dkUnknown;
}

bool ParseAS400Line(const std::string& line, TznFTPDirEntry& entry) {
    if (line.empty()) {
        entry.Kind = dkDirectory;
        entry.Name = "..";
        return true;
    }
    const LineWords words(line);
    const std::size_t type = TypeWordAt(words);
    if (type == LineWords::kMax) return false;
    entry.Kind = KindOfType(words[type]);
    entry.Name = words.RestAfter(type);
    if (entry.Name.empty()) return false;
    // The size is the last number before the type (dates and times hold
    // separators), so a numeric owner before it is passed over.
    bool sized = false;
    for (std::size_t i = type; i-- > 0 && !sized;) {
        if (const auto size = ReadDigits(words[i])) {
            entry.Size = *size;
            sized = true;
        }
    }
    if (entry.Kind == dkUnknown && sized) entry.Kind = dkFile;
    if (entry.Kind == dkUnknown) return false;
    if (entry.Kind == dkDirectory && entry.Name.size() > 1 && entry.Name.back() == '/') entry.Name.pop_back();
    // A path names the entry of the listed directory by what follows its last "/"; a
    // member ("FILE.FILE/MBR.MBR") has no leading "/" and stays whole.
    if (entry.Name.size() > 1 && entry.Name.front() == '/') entry.Name.erase(0, entry.Name.rfind('/') + 1);
    return true;
}

}  // namespace zn::listing
