// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zn {

// The text with A-Z made a-z (and other bytes as they are).
std::string LowerCase(std::string_view text);

// Removes every character of code 32 or less from both ends.
std::string_view TrimControl(std::string_view text);

// Deletes trailing lines that are empty once trimmed.
void StripTrailingBlankLines(std::vector<std::string>& lines);

// Field N (from 0) of a line whose fields are separated by runs of blanks;
// with SingleWord false, the rest of the line from field N on. A blank at
// the start of the line counts as the first separator; tabs separate nothing.
std::string ExtractField(std::string_view line, std::int32_t N, bool SingleWord);

// Field N as a 32-bit integer; -1 when it is empty or not a number.
std::int32_t ExtractIntField(std::string_view line, std::int32_t N);

// The text with its %XX escapes made bytes, as URLs carry user names and
// paths with blanks; nothing where a % is not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view text);

// 1.19 GiB, 512 B, ...: a size for people, in powers of 1024.
std::string HumanSize(std::int64_t bytes);

}  // namespace zn
