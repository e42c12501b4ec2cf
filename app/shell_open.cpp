// SPDX-License-Identifier: MIT
#include "app/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

ShellOpener& Opener() {
    static ShellOpener opener = [](const std::string& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
    };
    return opener;
}

}  // namespace

ShellOpener SetShellOpener(ShellOpener opener) { return std::exchange(Opener(), std::move(opener)); }

bool ShellOpen(const std::string& path) {
    if (!QFileInfo::exists(QString::fromStdString(path))) return false;
    return Opener()(path);
}
