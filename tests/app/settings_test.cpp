// SPDX-License-Identifier: MIT
#include "tests/app/main_form_fixture.h"

#include "app/settings_location.h"
#include "tests/support/loopback.h"

#include <sys/stat.h>

TEST_F(MainFormTest, QuitWritesTheFieldsAndAnEmptyPassword) {
    Form().UserEdt->setText("webmaster");
    Form().PasswordEdt->setText("typed secret");
    Form().StartUpDirEdt->setText(" htdocs ");
    Form().CloseBtn->click();
    EXPECT_EQ(ReadIni(), "[Setup]\nServer=ftp.example.com\nUser=webmaster\nPassword=\nDir= htdocs \n");
}

TEST_F(MainFormTest, HandWrittenPasswordIsUsedOnceAndOtherLinesSurvive) {
    const std::string before =
        "; my settings\r\n[Setup]\r\nServer=\r\nUser=me\r\nPassword=from file\r\nDir=www\r\n"
        "ProxyServer=\r\nProxyType=1\r\n\r\n[Other]\r\nKeep=this\r\n";
    WriteIni(before);
    EXPECT_EQ(Form().ServerEdt->text(), "") << "present but empty is not the default";
    EXPECT_EQ(Form().PasswordEdt->text(), "from file");
    EXPECT_EQ(Form().StartUpDirEdt->text(), "www");
    Form().CloseBtn->click();
    EXPECT_EQ(ReadIni(),
              "; my settings\r\n[Setup]\r\nServer=\r\nUser=me\r\nPassword=\r\nDir=www\r\n"
              "ProxyServer=\r\nProxyType=1\r\n\r\n[Other]\r\nKeep=this\r\n");
}

TEST_F(MainFormTest, ProxyTypeVariantsSelectTheOpenStyle) {
    const std::string proxy = "127.0.0.1:" + std::to_string(testsupport::ClosedPort());
    const std::pair<const char*, zn::TFTPProxyType> cases[] = {
        {"1", zn::fpProxyOpen},    {"01", zn::fpProxyOpen},  {"0x1", zn::fpProxyOpen}, {"0X1", zn::fpProxyOpen},
        {"$1", zn::fpProxyOpen},   {"0", zn::fpUserNoLogon}, {"2", zn::fpUserNoLogon}, {"-1", zn::fpUserNoLogon},
        {"1x", zn::fpUserNoLogon}, {"", zn::fpUserNoLogon},
    };
    for (auto [value, expected] : cases) {
        WriteIni("[Setup]\nServer=ftp.example.org\nProxyServer=" + proxy + "\nProxyType=" + value + "\n");
        Form().ConnectBtn->click();
        EXPECT_EQ(Form().znFTP->ProxyType(), expected) << value;
        EXPECT_TRUE(Form().znFTP->UseProxy()) << "a configured proxy is used";
        EXPECT_EQ(Form().znFTP->Server(), "ftp.example.org");
        form_.reset();
    }
    WriteIni("[Setup]\nProxyServer=\nProxyType=1\n");
    Form().ConnectBtn->click();
    EXPECT_EQ(Form().znFTP->ProxyType(), zn::fpUserNoLogon) << "without a proxy the type means nothing";
    EXPECT_FALSE(Form().znFTP->UseProxy());
}

// TLS= is read trimmed, in any case, without a trailing comment; a value
// that is none of the three is shown at start and never taken as auto.
TEST_F(MainFormTest, TlsSettingVariantsAndAnUnknownValue) {
    plainDialogue_ = false;
    const std::string server = "127.0.0.1:" + std::to_string(testsupport::ClosedPort());
    const std::pair<const char*, zn::TTlsMode> cases[] = {
        {"Require", zn::tmRequire},   {"REQUIRE", zn::tmRequire}, {"require ; comment", zn::tmRequire},
        {" off ", zn::tmOff},         {"Auto", zn::tmAuto},       {"requir", zn::tmRequire},
        {"Implicit", zn::tmImplicit},
    };
    for (auto [value, expected] : cases) {
        WriteIni("[Setup]\nServer=" + server + "\nTLS=" + value + "\n");
        boxes_.clear();
        Form();
        const bool unknown = std::string(value) == "requir";
        ASSERT_EQ(boxes_.size(), unknown ? 1u : 0u) << value;
        if (unknown) {
            EXPECT_NE(
                boxes_[0].text.find("TLS=requir is not one of auto, require, implicit and off; TLS is required until "
                                    "it is "
                                    "corrected."),
                std::string::npos)
                << boxes_[0].text;
        }
        boxes_.clear();
        Form().ConnectBtn->click();
        EXPECT_EQ(Form().znFTP->TlsMode(), expected) << value;
        form_.reset();
    }

    // "ftps://" in the Server field is implicit TLS whatever TLS= says, on
    // 990 unless a port is typed; the ini keeps the field as typed.
    const std::pair<std::string, std::string> typed[] = {{"ftps://" + server, server},
                                                         {"FTPS://127.0.0.1/", "127.0.0.1:990"}};
    for (const auto& [field, reached] : typed) {
        WriteIni("[Setup]\nServer=" + field + "\nTLS=off\n");
        Form().ConnectBtn->click();
        EXPECT_EQ(Form().znFTP->TlsMode(), zn::tmImplicit) << field;
        EXPECT_EQ(Form().znFTP->Server(), reached);
        Form().CloseBtn->click();
        EXPECT_NE(ReadIni().find("Server=" + field + "\n"), std::string::npos) << ReadIni();
        form_.reset();
    }
}

TEST_F(MainFormTest, ProxyWithoutAPortFailsEveryConnectBeforeAnythingIsSent) {
    WriteIni("[Setup]\nServer=ftp.example.org\nProxyServer=proxy.example.org\n");
    Form().ConnectBtn->click();
    Form().ConnectBtn->click();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, "Proxy port is required.");
    EXPECT_EQ(boxes_[0].kind, platform::MessageBoxKind::Error);
    EXPECT_EQ(Buttons(), "C---");
    EXPECT_EQ(Status(), "");
}

TEST_F(MainFormTest, UnwritableSettingsAreReportedAndTheProgramEndsAnyway) {
    Form();
    const std::string blocker = (dir_ / "dirweigh.ini").string();
    std::filesystem::create_directory(blocker);  // a directory where the file should go
    Form().CloseBtn->click();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "nach " + blocker + " kann nicht geschrieben werden.");
    EXPECT_EQ(boxes_[0].kind, platform::MessageBoxKind::Error);
    EXPECT_FALSE(Form().isVisible());
}

// Settings hold bytes in whatever code page they were written: a value that
// is not UTF-8 comes back exactly, after an edit too; UTF-8 stays UTF-8.
TEST_F(MainFormTest, SettingsBytesSurviveLoadEditAndSave) {
    WriteIni("[Setup]\nServer=ftp.b\xC3\xA4r.org\nUser=j\xF6rg\nPassword=\nDir=caf\xE9\n");
    EXPECT_EQ(Form().ServerEdt->text(), QString::fromUtf8("ftp.b\xC3\xA4r.org"));
    EXPECT_EQ(Form().UserEdt->text(), QString::fromLatin1("j\xF6rg"));
    Form().StartUpDirEdt->setText(Form().StartUpDirEdt->text() + "/menu");
    Form().CloseBtn->click();
    EXPECT_EQ(ReadIni(), "[Setup]\nServer=ftp.b\xC3\xA4r.org\nUser=j\xF6rg\nPassword=\nDir=caf\xE9/menu\n");
}

// A portable copy keeps its settings beside it; an installed one, in a
// folder the user cannot write, in the user's configuration folder.
TEST(SettingsLocation, BesideAWritableOrSettledProgramElseInTheUsersConfiguration) {
    const std::string dir = ::testing::TempDir() + "dirweigh-location-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    EXPECT_EQ(SettingsFile(dir, true, "/cfg", "/home/u"), dir + "/dirweigh.ini");
    EXPECT_EQ(SettingsFile(dir, false, "/cfg", "/home/u"), "/cfg/dirweigh/dirweigh.ini");
    EXPECT_EQ(SettingsFile(dir, false, "", "/home/u"), "/home/u/.config/dirweigh/dirweigh.ini");
    EXPECT_EQ(SettingsFile(dir, false, "relative", "/home/u"), "/home/u/.config/dirweigh/dirweigh.ini");
    std::ofstream(dir + "/dirweigh.ini") << "[Setup]\n";
    EXPECT_EQ(SettingsFile(dir, false, "/cfg", "/home/u"), dir + "/dirweigh.ini") << "a file already there is used";
    std::filesystem::remove_all(dir);
}
