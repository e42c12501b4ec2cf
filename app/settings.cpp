// SPDX-License-Identifier: MIT
// dirweigh.ini, section "Setup" (settings_location.h says where). The
// password is never kept: it is written back empty at every exit.

#include "app/main_form.h"

#include "app/field_bytes.h"
#include "app/settings_location.h"

#include "net/core/text_helpers.h"
#include "platform/profile.h"

#include <algorithm>
#include <filesystem>

#include <QLineEdit>

namespace {

const char* kSection = "Setup";

}  // namespace

void TMainFrm::LoadSettings() {
    auto read = [this](const char* key, const std::string& fallback) {
        return platform::ReadProfileString(IniFileName, kSection, key, fallback);
    };
    SetFieldBytes(ServerEdt, read("Server", kDefaultServer));
    SetFieldBytes(UserEdt, read("User", ""));
    SetFieldBytes(PasswordEdt, read("Password", ""));
    SetFieldBytes(StartUpDirEdt, read("Dir", ""));
    IniProxyServer = read("ProxyServer", "");
    IniProxyType = platform::ReadProfileInteger(IniFileName, kSection, "ProxyType", 0);
    IniPassive = platform::ReadProfileInteger(IniFileName, kSection, "Passive", 0) == 1;
    IniFastWalk = platform::ReadProfileInteger(IniFileName, kSection, "FastWalk", 0) == 1;
    IniConnections = std::clamp(platform::ReadProfileInteger(IniFileName, kSection, "Connections", 4), 1, 16);
    IniTlsMode = TlsSetting(read("TLS", "auto"));
    IniHistory = platform::ReadProfileInteger(IniFileName, kSection, "History", 1) != 0;
}

// "require", "Require", "REQUIRE ; a note" all mean require. Anything else
// is a mistake the user must hear of, and it is never taken as auto: until
// it is corrected TLS is required, the mode that sends nothing in clear.
zn::TTlsMode TMainFrm::TlsSetting(const std::string& value) {
    const std::string mode = zn::LowerCase(zn::TrimControl(std::string_view(value).substr(0, value.find(';'))));
    if (mode == "auto") return zn::tmAuto;
    if (mode == "require") return zn::tmRequire;
    if (mode == "off") return zn::tmOff;
    if (mode == "implicit") return zn::tmImplicit;
    ShowApplicationError("In " + IniFileName + ", TLS=" + value +
                         " is not one of auto, require, implicit and off; TLS is required until it is corrected");
    return zn::tmRequire;
}

// The Server field as the connection takes it, and the TLS mode: TLS= of
// the ini, or implicit for "ftps://host[:port]". An implicit TLS server is
// reached at port 990 unless the field names another, and named with its
// port, so that what is kept of it stays apart from the same host's FTP on
// 21. The field itself keeps what was typed.
std::string TMainFrm::ServerToReach(zn::TTlsMode& mode) const {
    std::string server = FieldBytes(ServerEdt);
    mode = IniTlsMode;
    if (zn::LowerCase(server.substr(0, 7)) == "ftps://") {
        server.erase(0, 7);
        if (!server.empty() && server.back() == '/') server.pop_back();
        mode = zn::tmImplicit;
    }
    if (mode == zn::tmImplicit && zn::ServerPort(server) == 0) {
        server += ":" + std::to_string(zn::TznFTP::kImplicitTlsPort);
    }
    return server;
}

// A certificate the user chose to trust is kept per server, in a section of
// its own: "[TLS ftp.example.com]" with "TrustedFingerprint=SHA256:...".
// A value that is not a fingerprint counts as none.
std::string TMainFrm::TrustedFingerprintFor(const std::string& server) const {
    return zn::NormalizeFingerprint(
        platform::ReadProfileString(IniFileName, "TLS " + server, "TrustedFingerprint", ""));
}

void TMainFrm::KeepTrustedFingerprint(const std::string& server, const std::string& fingerprint) {
    CreateSettingsFolder(IniFileName);
    platform::WriteProfileString(IniFileName, "TLS " + server, "TrustedFingerprint", fingerprint);
}

void TMainFrm::SaveSettings() {
    CreateSettingsFolder(IniFileName);
    auto write = [this](const char* key, const std::string& value) {
        platform::WriteProfileString(IniFileName, kSection, key, value);
    };
    write("Server", FieldBytes(ServerEdt));
    write("User", FieldBytes(UserEdt));
    write("Password", "");
    write("Dir", FieldBytes(StartUpDirEdt));
}
