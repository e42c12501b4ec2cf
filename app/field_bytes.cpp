// SPDX-License-Identifier: MIT
#include "app/field_bytes.h"

#include <QLineEdit>
#include <QStringDecoder>

namespace {

// Set on a field whose value came in as bytes that are not UTF-8.
const char* kLatin1Property = "dirweighLatin1";

bool FitsLatin1(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() > 0xFF) return false;
    }
    return true;
}

}  // namespace

void SetFieldBytes(QLineEdit* edit, const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    const bool latin1 = utf8.hasError();
    edit->setProperty(kLatin1Property, latin1);
    edit->setText(latin1 ? QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())) : decoded);
}

std::string FieldBytes(const QLineEdit* edit) {
    const QString text = edit->text();
    if (edit->property(kLatin1Property).toBool() && FitsLatin1(text)) return text.toLatin1().toStdString();
    return text.toStdString();
}
