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
//
// Some servers leave the owner out; the columns are then blank.

#include "ftp/listing_formats.h"

#include "net/text_helpers.h"

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

TDirEntryKind KindOfType(std::string_view type) {
    for (std::string_view directory : {"*DIR", "*FLR", "*LIB", "*DDIR"}) {
        if (type == directory) return dkDirectory;
    }
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
    if (entry.Kind == dkUnknown || entry.Name.empty()) return false;
    // The size is the last number before the type (dates and times hold
    // separators), so a numeric owner before it is passed over.
    for (std::size_t i = type; i-- > 0;) {
        if (const auto size = ReadDigits(words[i])) {
            entry.Size = *size;
            break;
        }
    }
    if (entry.Kind == dkDirectory && entry.Name.size() > 1 && entry.Name.back() == '/') entry.Name.pop_back();
    return true;
}

}  // namespace zn::listing
