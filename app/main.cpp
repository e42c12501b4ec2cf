// SPDX-License-Identifier: MIT
// DirWeigh: how big is the web site on this FTP server?

#include "app/main_form.h"
#include "app/settings_location.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "platform/modules.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void ShowQtMessageBox(const std::string& text, const std::string& caption, platform::MessageBoxKind kind) {
    // Over the window the user works in, not loose on the screen.
    QMessageBox box(kind == platform::MessageBoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

bool AskQtQuestion(const std::string& text, const std::string& caption) {
    return QMessageBox::question(QApplication::activeWindow(), QString::fromStdString(caption),
                                 QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// The text typed stays hidden and goes back as the user's bytes.
std::optional<std::string> AskQtSecret(const std::string& text, const std::string& caption) {
    bool given = false;
    const QString typed = QInputDialog::getText(QApplication::activeWindow(), QString::fromStdString(caption),
                                                QString::fromStdString(text), QLineEdit::Password, QString(), &given);
    if (!given) return std::nullopt;
    return typed.toStdString();
}

const char* kUsage =
    "usage: dirweigh [--help | --version | --open FILE] [Qt options]\n"
    "\n"
    "Shows the window that measures the size of a web site on an FTP or SFTP\n"
    "server.\n"
    "  --help     show this text\n"
    "  --version  show the version and where DirWeigh finds its sockets library,\n"
    "             its read-me and its settings\n"
    "  --open FILE  start with the site breakdown of a saved export (DirWeigh's,\n"
    "             ncdu's or gdu's) open\n";

// For support and for packagers: what this copy of the program uses. Fails
// when the sockets library cannot be found, as the window would.
int ShowVersion() {
    const std::string appDir = platform::ExecutableDirectory();
    const auto sockets = platform::LocateLibrary("wsock32.dll");
    std::printf("DirWeigh 1.03 (24.11.2000)\n");
    std::printf("sockets library: %s\n", sockets ? sockets->c_str() : "not found");
    std::printf("read-me: %s\n", ReadMeFile(appDir).c_str());
    std::printf("settings: %s\n", SettingsFile(appDir).c_str());
    return sockets ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* openFile = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--open") == 0 && i + 1 < argc) openFile = argv[++i];
        if (std::strcmp(argv[i], "--version") == 0) return ShowVersion();
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    platform::PreferPlainEventLoop();
    QApplication app(argc, argv);
    QApplication::setApplicationName("DirWeigh");
    QApplication::setApplicationDisplayName("DirWeigh");
    QGuiApplication::setDesktopFileName("dirweigh");
    platform::SetMessageBoxHook(ShowQtMessageBox);
    platform::SetQuestionHook(AskQtQuestion);
    platform::SetSecretHook(AskQtSecret);

    std::unique_ptr<TMainFrm> MainFrm = CreateMainWindow();
    if (!MainFrm) return 1;
    MainFrm->show();
    if (openFile) {
        QString error;
        if (!MainFrm->OpenBreakdown(QString::fromLocal8Bit(openFile), error)) {
            ShowApplicationError(error.toStdString());
        }
    }
    return QApplication::exec();
}
