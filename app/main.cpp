// DirWeigh: how big is the web site on this FTP server?

#include "app/main_form.h"
#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include <memory>

namespace {

void ShowQtMessageBox(const std::string& text, const std::string& caption, platform::MessageBoxKind kind) {
    // Over the window the user works in, not loose on the screen.
    QMessageBox box(kind == platform::MessageBoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("DirWeigh");
    QApplication::setApplicationDisplayName("DirWeigh");
    platform::SetMessageBoxHook(ShowQtMessageBox);

    std::unique_ptr<TMainFrm> MainFrm = CreateMainWindow();
    if (!MainFrm) return 1;
    MainFrm->show();
    return QApplication::exec();
}
