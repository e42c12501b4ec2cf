// SPDX-License-Identifier: MIT
#pragma once

#include "app/main_form.h"
#include "app/shell_open.h"
#include "platform/message_box.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// The window on the offscreen platform, in a directory of its own for the
// settings and read-me files, with message boxes and the shell recorded.
class MainFormTest : public ::testing::Test {
protected:
    struct Box {
        std::string text;
        std::string caption;
        platform::MessageBoxKind kind;
        bool overVisibleWindow;  // the window was on screen while the box showed
    };

    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("dirweigh-app-" + std::to_string(getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        previousHook_ = platform::SetMessageBoxHook(
            [this](const std::string& text, const std::string& caption, platform::MessageBoxKind kind) {
                boxes_.push_back({text, caption, kind, form_ && form_->isVisible()});
            });
        previousOpener_ = SetShellOpener([this](const std::string& path) {
            opened_.push_back(path);
            return true;
        });
    }

    void TearDown() override {
        form_.reset();
        platform::SetMessageBoxHook(previousHook_);
        SetShellOpener(previousOpener_);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    TMainFrm& Form() {
        if (!form_) {
            form_ = std::make_unique<TMainFrm>(dir_.string());
            form_->show();
            // The scripted servers play the plain dialogue of RFC 959; the
            // default (TLS when FEAT offers it) has tests of its own. The
            // settings are read when the window shows.
            if (plainDialogue_) form_->IniTlsMode = zn::tmOff;
        }
        return *form_;
    }

    void WriteIni(const std::string& content) { std::ofstream(dir_ / "dirweigh.ini", std::ios::binary) << content; }
    std::string ReadIni() {
        std::ifstream in(dir_ / "dirweigh.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // "C D A G": which of Connect, Disconnect, Cancel and Get Size are enabled.
    std::string Buttons() {
        std::string state;
        for (auto [button, letter] : {std::pair{Form().ConnectBtn, 'C'},
                                      {Form().DisconnectBtn, 'D'},
                                      {Form().CancelBtn, 'A'},
                                      {Form().GetSizeBtn, 'G'}}) {
            state += button->isEnabled() ? letter : '-';
        }
        return state;
    }

    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const Box& box : boxes_) texts.push_back(box.text);
        return texts;
    }

    std::string Status() { return Form().StatusLbl->text().toStdString(); }
    std::string Log() { return Form().LogMem->toPlainText().toStdString(); }

    // Records every status the window shows while its FTP client works.
    void RecordStatuses() {
        auto* ftp = Form().znFTP;
        auto wrap = [this](zn::TNotifyEvent& event) {
            event = [this, inner = event](zn::TObject* sender) {
                inner(sender);
                statuses_.push_back(Status());
            };
        };
        wrap(ftp->OnOpen);
        wrap(ftp->OnConnected);
        wrap(ftp->OnClosing);
        wrap(ftp->OnClosed);
        wrap(ftp->OnCancel);
    }

    void Connect(const std::string& server, const std::string& dir = "") {
        Form().ServerEdt->setText(QString::fromStdString(server));
        Form().UserEdt->setText("webmaster");
        Form().PasswordEdt->setText("s3cret");
        Form().StartUpDirEdt->setText(QString::fromStdString(dir));
        Form().ConnectBtn->click();
    }

    std::filesystem::path dir_;
    bool plainDialogue_ = true;
    std::unique_ptr<TMainFrm> form_;
    std::vector<Box> boxes_;
    std::vector<std::string> opened_;
    std::vector<std::string> statuses_;
    platform::MessageBoxHook previousHook_;
    ShellOpener previousOpener_;
};
