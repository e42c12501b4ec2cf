// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

#include "ftp/dir_list.h"

// The rule of each listing family. Each fills the entry from one line and
// returns false when the line cannot be read.
namespace zn::listing {

bool ParseUnixLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseDosLine(const std::string& line, TznFTPDirEntry& entry);
bool ParseHP3000Line(const std::string& line, TznFTPDirEntry& entry);
bool ParseAS400Line(const std::string& line, TznFTPDirEntry& entry);
bool ParseMachineLine(const std::string& line, TznFTPDirEntry& entry);

// A size column with 64-bit range; `fallback` when it is not a number.
std::int64_t ReadSize(std::string_view text, std::int64_t fallback);

// Position (from 1) of the last blank, 0 when there is none.
std::size_t LastSpace(std::string_view text);

// True when the text starts with `prefix`, comparing A-Z without case.
bool StartsWithLowered(std::string_view text, std::string_view lowerPrefix);

}  // namespace zn::listing
