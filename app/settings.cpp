// dirweigh.ini beside the executable, section "Setup". The password is never
// kept: it is written back empty at every exit.

#include "app/main_form.h"

#include "platform/profile.h"

#include <QLineEdit>

namespace {

const char* kSection = "Setup";

}  // namespace

void TMainFrm::LoadSettings() {
    auto read = [this](const char* key, const std::string& fallback) {
        return QString::fromStdString(platform::ReadProfileString(IniFileName, kSection, key, fallback));
    };
    ServerEdt->setText(read("Server", kDefaultServer));
    UserEdt->setText(read("User", ""));
    PasswordEdt->setText(read("Password", ""));
    StartUpDirEdt->setText(read("Dir", ""));
    IniProxyServer = platform::ReadProfileString(IniFileName, kSection, "ProxyServer", "");
    IniProxyType = platform::ReadProfileInteger(IniFileName, kSection, "ProxyType", 0);
}

void TMainFrm::SaveSettings() {
    auto write = [this](const char* key, const QString& value) {
        platform::WriteProfileString(IniFileName, kSection, key, value.toStdString());
    };
    write("Server", ServerEdt->text());
    write("User", UserEdt->text());
    write("Password", QString());
    write("Dir", StartUpDirEdt->text());
}
