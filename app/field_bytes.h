// SPDX-License-Identifier: MIT
#pragma once

#include <string>

class QLineEdit;

// The settings file and the server deal in bytes, in whatever code page the
// user's files were written; an edit field holds Unicode text. A value that
// is well-formed UTF-8 shows as such. Any other shows byte for byte as
// Latin-1 (E9 as "é") and goes back as the same bytes, also after an edit,
// as long as every character still fits in one byte.
void SetFieldBytes(QLineEdit* edit, const std::string& bytes);
std::string FieldBytes(const QLineEdit* edit);
