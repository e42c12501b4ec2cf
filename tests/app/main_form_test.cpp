// SPDX-License-Identifier: MIT
#include "tests/app/main_form_fixture.h"

#include <QScreen>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include "tests/fakes/scripted_server.h"
#include "tests/fakes/tree_server.h"
#include "tests/support/loopback.h"

#include <chrono>

#include <QTest>
#include <QTimer>

using testsupport::ScriptedServer;
using testsupport::TreeFtpServer;

TEST_F(MainFormTest, WindowHasItsCaptionsGeometryAndRoles) {
    TMainFrm& f = Form();
    EXPECT_EQ(f.windowTitle(), "DirWeigh");
    EXPECT_EQ(f.size(), QSize(408, 399));
    EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "not resizable";
    EXPECT_EQ(f.ConnectBtn->geometry(), QRect(8, 368, 75, 25));
    EXPECT_EQ(f.CloseBtn->text(), "&Quit");
    EXPECT_EQ(f.CancelBtn->text(), "C&ancel");
    EXPECT_EQ(f.LogMem->geometry(), QRect(8, 40, 377, 97));
    EXPECT_TRUE(f.LogMem->isReadOnly());
    EXPECT_EQ(f.PasswordEdt->echoMode(), QLineEdit::Password);
    EXPECT_EQ(f.ProgressBar->maximum(), 100);
    EXPECT_TRUE(f.Label5->font().bold());
    EXPECT_EQ(f.Label1->buddy(), f.ServerEdt);
    EXPECT_EQ(f.Label4->buddy(), f.StartUpDirEdt);
    EXPECT_EQ(f.VersionLbl->text(), "1.03 (24.11.2000)");
    EXPECT_EQ(f.BytesLbl->text(), "0");
    auto nextTabStop = [](QWidget* w) {
        do {
            w = w->nextInFocusChain();
        } while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    EXPECT_EQ(nextTabStop(f.ServerEdt), f.UserEdt);
    EXPECT_EQ(nextTabStop(f.StartUpDirEdt), f.LogMem);
    EXPECT_EQ(nextTabStop(f.LogMem), f.ConnectBtn);
    EXPECT_EQ(nextTabStop(f.GetSizeBtn), f.CloseBtn);
    // Every caption fits its box.
    for (QLabel* label : f.findChildren<QLabel*>()) {
        if (label->wordWrap() || label->text().isEmpty()) continue;
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    }
    for (QPushButton* button : f.findChildren<QPushButton*>()) {
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text().remove('&')), button->width() - 8);
    }
    EXPECT_LE(f.Label6->heightForWidth(f.Label6->width()), f.Label6->height()) << "the hint fits its box";
    EXPECT_LE(f.Label6->geometry().bottom(), f.GroupBox4->height());

    // Each frame line runs through the middle of its title and above every
    // control inside the box.
    for (QGroupBox* box : f.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect frame = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, box);
        const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
        EXPECT_LT(title.top(), frame.top()) << box->title().toStdString();
        EXPECT_GT(title.bottom(), frame.top()) << box->title().toStdString();
        for (QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_GT(child->geometry().top(), frame.top() + 1) << box->title().toStdString();
        }
    }
    // Centred on its screen; long log lines wrap rather than scroll.
    const QPoint offCentre = f.frameGeometry().center() - f.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2) << offCentre.x() << "," << offCentre.y();
    EXPECT_EQ(f.LogMem->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_NE(f.LogMem->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(MainFormTest, FirstStartShowsTheDefaultServerAndOnlyConnect) {
    EXPECT_EQ(Form().ServerEdt->text(), TMainFrm::kDefaultServer);
    EXPECT_TRUE(Form().UserEdt->text().isEmpty());
    EXPECT_TRUE(Form().PasswordEdt->text().isEmpty());
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(Buttons(), "C---");
    EXPECT_TRUE(Form().CloseBtn->isEnabled());
}

TEST_F(MainFormTest, ConnectWithoutAndWithAStartDirectory) {
    TreeFtpServer server;
    server.AddDirectory("my site");
    server.Start();
    RecordStatuses();
    Connect(server.Address());
    EXPECT_EQ(Buttons(), "-D-G");
    EXPECT_EQ(statuses_, (std::vector<std::string>{"Connecting...", "Connected."}));
    Form().DisconnectBtn->click();
    EXPECT_EQ(Status(), "Disconnected.");
    EXPECT_EQ(Buttons(), "C---");

    Connect(server.Address(), "my site");
    EXPECT_EQ(server.CurrentDirectory(), "my site");
    Form().DisconnectBtn->click();
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER webmaster", "PASS s3cret", "QUIT", "USER webmaster",
                                                           "PASS s3cret", "CWD my site", "QUIT"}));
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainFormTest, TranscriptIndentsRepliesAndHidesThePassword) {
    TreeFtpServer server;
    server.Start();
    Connect(server.Address());
    EXPECT_EQ(Log(), " 220 Tree server ready\nUSER webmaster\n 331 Password required\nPASS ********\n 230 Logged in");
    EXPECT_EQ(Log().find("s3cret"), std::string::npos);
}

TEST_F(MainFormTest, FailuresAreShownAndTheButtonsFollowTheConnection) {
    Connect("");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: Server property is required"});
    EXPECT_EQ(boxes_[0].caption, "DirWeigh");
    EXPECT_EQ(boxes_[0].kind, platform::MessageBoxKind::Plain);
    EXPECT_EQ(Buttons(), "C---");

    ScriptedServer refusing;
    refusing.Reply("220 Hi").Receive().Reply("530 Login incorrect").AwaitClientClose();
    refusing.Start();
    Connect(refusing.Address());
    EXPECT_EQ(BoxTexts().back(), "ERROR: 530 Login incorrect");
    EXPECT_EQ(Buttons(), "-D-G") << "the connection stays open after a refused logon";
}

TEST_F(MainFormTest, StartDirectoryThatCannotBeEnteredLeavesTheConnectionOpen) {
    TreeFtpServer server;
    server.Start();
    Connect(server.Address(), "missing");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: 550 missing: No such file or directory"});
    EXPECT_EQ(Buttons(), "-D-G");
}

TEST_F(MainFormTest, CancelWhileConnecting) {
    ScriptedServer silent;
    silent.AwaitClientClose();
    silent.Start();
    RecordStatuses();
    // Cancel once connected, while the logon waits for a greeting that never
    // comes: a fixed delay would race a busy machine's connect.
    zn::TNotifyEvent& connected = Form().znFTP->OnConnected;
    connected = [this, inner = connected](zn::TObject* sender) {
        inner(sender);
        QTimer::singleShot(0, [this] {
            EXPECT_EQ(Buttons(), "--A-") << "only Cancel while connecting";
            Form().CancelBtn->click();
        });
    };
    Connect(silent.Address());
    EXPECT_EQ(statuses_, (std::vector<std::string>{"Connecting...", "Connected.", "Transfer aborted.",
                                                   "Disconnecting...", "Disconnected."}));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: Operation has been canceled"});
    EXPECT_EQ(Buttons(), "C---");
}

// Over SSH too: Cancel ends a handshake the server never answers, long
// before the time-out, and leaves the window ready to connect again.
TEST_F(MainFormTest, CancelWhileTheSshHandshakeWaits) {
    testsupport::LoopbackListener silent;
    QTimer::singleShot(300, [this] { Form().CancelBtn->click(); });
    const auto started = std::chrono::steady_clock::now();
    Connect("sftp://127.0.0.1:" + std::to_string(silent.Port()) + "/");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: Operation has been canceled"});
    EXPECT_EQ(Buttons(), "C---");
}

TEST_F(MainFormTest, RefusedDisconnectShowsNothingAndStaysConnected) {
    ScriptedServer server;
    server.Reply("220 Hi")
        .Receive()
        .Reply("331 Pass")
        .Receive()
        .Reply("230 In")
        .Receive()
        .Reply("500 No")
        .AwaitClientClose();
    server.Start();
    Connect(server.Address());
    Form().DisconnectBtn->click();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(Buttons(), "-D-G");
}

TEST_F(MainFormTest, QuitWhileConnectedClosesWithoutQuit) {
    TreeFtpServer server;
    server.Start();
    Connect(server.Address());
    RecordStatuses();
    Form().CloseBtn->click();
    EXPECT_FALSE(Form().isVisible());
    EXPECT_FALSE(Form().znFTP->Connected());
    EXPECT_EQ(statuses_, (std::vector<std::string>{"Transfer aborted.", "Disconnecting...", "Disconnected."}));
    testsupport::WaitUntil([&] { return server.Commands().size() >= 2; }, 1);
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER webmaster", "PASS s3cret"}));
}

TEST_F(MainFormTest, EnterConnectsEscQuitsAndTheLogKeepsBoth) {
    TreeFtpServer server;
    server.Start();
    Form().ServerEdt->setText(QString::fromStdString(server.Address()));
    Form().activateWindow();
    QTest::keyClick(Form().LogMem, Qt::Key_Return);
    QTest::keyClick(Form().LogMem, Qt::Key_Escape);
    EXPECT_FALSE(Form().znFTP->Connected());
    EXPECT_TRUE(Form().isVisible());
    QTest::keyClick(Form().UserEdt, Qt::Key_Return);
    EXPECT_TRUE(Form().znFTP->Connected());
    Form().CloseBtn->setFocus();
    QTest::keyClick(Form().UserEdt, Qt::Key_Escape);
    EXPECT_FALSE(Form().isVisible());
}

TEST_F(MainFormTest, AboutOpensTheReadMeBesideTheProgram) {
    Form();
    QTest::mouseClick(Form().AboutLbl, Qt::LeftButton);
    EXPECT_TRUE(opened_.empty()) << "no read-me here: nothing is opened, nothing is shown";
    std::ofstream(dir_ / "dirweigh.txt") << "read me";
    QTest::mouseClick(Form().AboutImg, Qt::LeftButton);
    EXPECT_EQ(opened_, std::vector<std::string>{(dir_ / "dirweigh.txt").string()});
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainFormTest, MissingSocketsLibraryEndsBeforeTheWindowIsShown) {
    platform::SetLibraryDirectoryForTesting(dir_.string());  // holds no sockets library
    std::unique_ptr<TMainFrm> window = CreateMainWindow(dir_.string());
    platform::SetLibraryDirectoryForTesting(std::nullopt);
    EXPECT_EQ(window, nullptr);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Winsock not found.");
    EXPECT_EQ(boxes_[0].caption, "DirWeigh");
    EXPECT_EQ(boxes_[0].kind, platform::MessageBoxKind::Error);
}
