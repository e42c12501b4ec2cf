// SPDX-License-Identifier: MIT
#include "tests/app/main_form_fixture.h"

#include "tests/fakes/pure_ftpd.h"
#include "tests/fakes/scripted_server.h"
#include "tests/fakes/tree_server.h"
#include "tests/support/site_tree.h"

#include <QElapsedTimer>

#include <QScrollBar>
#include <QTimer>
#include <algorithm>

using testsupport::TreeFtpServer;

namespace {

std::string Labels(TMainFrm& f) {
    return f.BytesLbl->text().toStdString() + "/" + f.MBLbl->text().toStdString() + "/" +
           f.FilesLbl->text().toStdString();
}

}  // namespace

class WalkTest : public MainFormTest {
protected:
    void ConnectAndWalk(TreeFtpServer& server) {
        server.Start();
        Connect(server.Address());
        ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
        Form().GetSizeBtn->click();
    }
};

TEST_F(WalkTest, EmptyStartDirectoryShowsZeros) {
    TreeFtpServer server;
    ConnectAndWalk(server);
    EXPECT_EQ(Labels(Form()), "0/0/0");
    EXPECT_NE(Log().find("Homepage Size: 0 Bytes\nFiles: 0"), std::string::npos);
    EXPECT_EQ(Status(), "Size retrieved.");
    EXPECT_EQ(Buttons(), "-D-G");
    EXPECT_EQ(Form().ProgressBar->value(), 0);
}

TEST_F(WalkTest, KilobytesAreTruncated) {
    for (auto [bytes, expected] : {std::pair{1023, "1023/0/1"}, {1024, "1024/1/1"}, {2047, "2047/1/1"}}) {
        TreeFtpServer server;
        server.AddFile("f", bytes);
        ConnectAndWalk(server);
        EXPECT_EQ(Labels(Form()), expected);
        form_.reset();
    }
}

TEST_F(WalkTest, LogsDotsLinksAndUnreadableLinesAreLeftOut) {
    TreeFtpServer server;
    server.AddFile("index.html", 100);
    server.AddFile("logs/access.log", 5000);
    server.AddFile("a/b/logs/deep.log", 7000);
    server.AddFile("a/b/page.html", 10);
    server.AddFile("a/logs", 1);         // a file named logs is counted
    server.AddFile("Logs/kept.txt", 3);  // only the exact name is skipped
    server.AddRawLine("", "drwxr-xr-x   2 web web 4096 Jan  1  2020 .");
    server.AddRawLine("", "drwxr-xr-x   2 web web 4096 Jan  1  2020 ..");
    server.AddRawLine("a", "lrwxrwxrwx   1 web web   11 Jan  1  2020 loop -> ..");
    server.AddRawLine("a", "drwx foo");  // a directory entry without a name
    // Lines whose sizes are not known exactly (a unit, VMS's blocks): left
    // out of the total, and said so.
    server.AddRawLine("a", "-rw-r--r--   1 web web  12k Jan  1  2020 odd.bin");
    server.AddRawLine("a", "NOTES.TXT;3          40/42      11-FEB-2025 09:14:00  [WEB,WEBADM]  (RWED,RWED,RE,RE)");
    // Names that would lead the walk elsewhere, or out of its start.
    server.AddRawLine("", "drwxr-xr-x   2 web web 4096 Jan  1  2020 a/b");
    server.AddRawLine("a", "drwxr-xr-x   2 web web 4096 Jan  1  2020 ../Logs");
    ConnectAndWalk(server);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    EXPECT_EQ(Labels(Form()), "114/0/4") << "index 100 + page 10 + logs 1 + kept 3; odd.bin's size is not known";
    EXPECT_EQ(server.CurrentDirectory(), "");
    for (const std::string& command : server.Commands()) {
        EXPECT_EQ(command.find("logs"), std::string::npos) << command;
        EXPECT_EQ(command.find('/'), std::string::npos) << command;
        EXPECT_NE(command, "CWD ") << "an empty name is never entered";
        EXPECT_NE(command, "CWD loop");
    }
    EXPECT_NE(Log().find("Not entered: 3 directories whose names hold \"/\" or are empty"), std::string::npos);
    EXPECT_NE(Log().find("Not read: 2 listing lines in a form this program does not know; their sizes are not in the "
                         "total"),
              std::string::npos)
        << Log();
}

TEST_F(WalkTest, NamesHiddenFromTheBareListAreCountedAndTheLogSaysSo) {
    TreeFtpServer server;
    server.HideDotNames();
    server.AddFile("index.html", 100);
    server.AddFile(".htaccess", 10);
    server.AddFile(".git/objects/ab/cdef", 1000);
    server.AddFile(".well-known/.inner/key", 7);
    server.AddFile("sub/.hidden", 3);
    server.AddDirectory("empty");
    ConnectAndWalk(server);
    EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
    EXPECT_EQ(Labels(Form()), "1120/1/5");
    EXPECT_NE(Log().find("This server hides names that begin with a dot from LIST; listing with LIST -a"),
              std::string::npos);
    const std::vector<std::string> commands = server.Commands();
    const auto lists =
        std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.rfind("LIST", 0) == 0; });
    // The probe's bare LIST, then "LIST -a" for each of the 8 directories:
    // the start directory's from the probe is not asked for again.
    EXPECT_EQ(lists, 9);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "LIST"), 1);
}

TEST_F(WalkTest, TotalsBeyondTwoGibibytesAreExact) {
    TreeFtpServer server;
    server.AddFile("big.iso", 3221225472LL);
    server.AddFile("sub/huge.img", 5000000000LL);
    ConnectAndWalk(server);
    EXPECT_EQ(Labels(Form()), "8221225472/8028540/2");
}

// After a complete walk the log shows the space used of what the server
// says is left, as the CLI does; AVBL is sent only where FEAT lists it, and
// an answer without a number leaves the walk whole.
TEST_F(WalkTest, SpaceLeftIsLoggedBesideTheTotalWhereTheServerTellsIt) {
    struct Row {
        const char* name;
        std::string reply;  // empty: not offered
        std::string line;   // in the log; empty: no space line at all
    };
    const std::vector<Row> rows{
        {"not offered", "", ""},
        {"offered", "213 3221225472", "\nSpace used: 1.00 GiB of 4.00 GiB, 25%"},
        {"refused", "550 Cannot tell", ""},
        {"garbled", "213 plenty", "\nThe space left is not known: 213 plenty"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        form_.reset();
        TreeFtpServer server;
        server.AddFile("a/one.bin", 1073741824);
        if (!row.reply.empty()) server.OfferAvailableSpace(row.reply);
        ConnectAndWalk(server);
        EXPECT_EQ(Labels(Form()), "1073741824/1048576/1");
        EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? "" : boxes_.front().text);
        const std::vector<std::string> commands = server.Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "AVBL"), row.reply.empty() ? 0 : 1);
        if (row.line.empty()) {
            EXPECT_EQ(Log().find("Space used"), std::string::npos) << Log();
            EXPECT_EQ(Log().find("space left"), std::string::npos) << Log();
        }
        // The log ends with the totals and the space used, in view: FEAT
        // and AVBL went before.
        const std::string log = Log(), tail = "Homepage Size: 1073741824 Bytes\nFiles: 1" + row.line;
        EXPECT_EQ(log.substr(log.size() - std::min(log.size(), tail.size())), tail) << log;
        const QScrollBar* bar = Form().LogMem->verticalScrollBar();
        EXPECT_GT(bar->maximum(), 0);
        EXPECT_EQ(bar->value(), bar->maximum());
        EXPECT_EQ(Buttons(), "-D-G");
    }
}

// pure-ftpd as it ships lists 10,000 entries of a directory at most: the
// window counts what it listed, says which directory and why in the log,
// and one box says the total is short.
TEST_F(WalkTest, AListingTheServerCutShortIsLoggedAndTheTotalCalledShort) {
    testsupport::SiteTree tree;
    for (int i = 0; i < 20100; ++i) tree.AddFile("huge/f" + std::to_string(100000 + i), 1);
    tree.AddFile("page.html", 10);
    testsupport::PureFtpd server(tree.Root());
    if (server.Skipped()) GTEST_SKIP() << server.Error();
    ASSERT_TRUE(server.Running()) << server.Error();
    Form().ServerEdt->setText(QString::fromStdString(server.Address()));
    Form().UserEdt->setText(QString::fromStdString(server.UserName()));
    Form().PasswordEdt->setText(QString::fromStdString(server.Password()));
    Form().ConnectBtn->click();
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    Form().GetSizeBtn->click();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: The server listed 1 directory only in part: the total "
                                                   "leaves out what it did not list (see the log)"});
    EXPECT_NE(Log().find("Not complete: huge: the server listed only part of it (226 Output truncated to 10000 "
                         "matches)"),
              std::string::npos)
        << Log();
}

TEST_F(WalkTest, RefusedSubdirectoryShowsOneBoxAndThePartialTotals) {
    TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/two.html", 20);
    server.AddFile("c/three.html", 40);
    server.RefuseCwd("b");
    ConnectAndWalk(server);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: 550 b: No such file or directory"});
    EXPECT_EQ(Labels(Form()), "10/0/1");
    EXPECT_EQ(server.CurrentDirectory(), "") << "the start directory again";
    EXPECT_EQ(Status(), "Size retrieved.");
    EXPECT_EQ(Buttons(), "-D-G");
}

TEST_F(WalkTest, TwoWalksGiveTheSameTotals) {
    TreeFtpServer server;
    server.AddFile("x/y/z.html", 123);
    server.AddFile("x/w.html", 877);
    ConnectAndWalk(server);
    const std::string first = Labels(Form());
    Form().GetSizeBtn->click();
    EXPECT_EQ(Labels(Form()), first);
    EXPECT_EQ(first, "1000/0/2");
}

// The fast walk, on a server without STAT or MLSD, is the designed walk
// and unwinds as it does.
TEST_F(WalkTest, CancelDeepInTheTreeGivesOneBoxPerLevelAbove) {
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast walk" : "designed walk");
        TreeFtpServer server;
        server.AddFile("a/top.html", 5);
        server.AddFile("a/b/c/deep.html", 7);
        server.StallList("a/b/c", [this] { platform::PostCallback([this] { Form().CancelBtn->click(); }); });
        Form().IniFastWalk = fast;
        ConnectAndWalk(server);
        EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"ERROR: Operation has been canceled",
                                                        "ERROR: You have to connect to the server first",
                                                        "ERROR: You have to connect to the server first",
                                                        "ERROR: You have to connect to the server first"}));
        EXPECT_EQ(Labels(Form()), "5/0/1") << "the partial totals";
        EXPECT_EQ(Status(), "Size retrieved.");
        EXPECT_EQ(Buttons(), "C---");
        form_.reset();
        boxes_.clear();
    }
}

TEST_F(WalkTest, QuitDuringTheWalkSavesCancelsAndEnds) {
    TreeFtpServer server;
    server.AddFile("a/b/x.html", 1);
    server.StallList("a/b", [this] { platform::PostCallback([this] { Form().CloseBtn->click(); }); });
    ConnectAndWalk(server);
    EXPECT_FALSE(Form().znFTP->Connected());
    EXPECT_EQ(BoxTexts().front(), "ERROR: Operation has been canceled");
    EXPECT_EQ(BoxTexts().size(), 3u);
    for (const Box& box : boxes_) EXPECT_TRUE(box.overVisibleWindow) << box.text;
    testsupport::WaitUntil([&] { return !Form().isVisible(); }, 2.0);
    EXPECT_FALSE(Form().isVisible()) << "the window closes once the walk has unwound";
    EXPECT_NE(ReadIni().find("Server=" + server.Address()), std::string::npos);
}

TEST_F(WalkTest, TreeDeeperThanTheBoundStopsWithAMessage) {
    TreeFtpServer server;
    std::string path;
    for (int level = 1; level <= TMainFrm::kMaxWalkDepth + 3; ++level) {
        path += (path.empty() ? "" : "/") + std::string("d");
        server.AddFile(path + "/f.txt", 1);
    }
    ConnectAndWalk(server);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("deeper than 100 levels"), std::string::npos) << boxes_[0].text;
    EXPECT_EQ(Labels(Form()), "100/0/100");
    EXPECT_EQ(server.CurrentDirectory(), "");
}

// Behind a router the server cannot connect back; the message says what to do.
// Behind a router the server cannot connect back: whether it says so at
// once or only after the time-out, the listing is tried again in passive
// mode, the log says why, and passive mode stays until Disconnect.
TEST_F(WalkTest, ActiveDataConnectionThatCannotComeFallsBackToPassiveUntilDisconnect) {
    for (const int delayMs : {0, 1500}) {
        SCOPED_TRACE(delayMs);
        TreeFtpServer server;
        server.AddFile("a/x.html", 100);
        server.AddFile("b/y.html", 23);
        server.DropActiveConnections(delayMs);
        server.Start();
        Connect(server.Address());
        ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
        Form().znFTP->SetTimeOut(1);
        Form().GetSizeBtn->click();
        EXPECT_TRUE(boxes_.empty()) << boxes_.front().text;
        EXPECT_EQ(Labels(Form()), "123/0/2");
        const std::string why = delayMs ? "no connection within 1 seconds, then 425" : "425";
        EXPECT_NE(Log().find("The server could not connect back for the listing (" + why +
                             " Can't open data connection); trying it in passive mode, which stays on until "
                             "Disconnect."),
                  std::string::npos)
            << Log();
        const std::vector<std::string> commands = server.Commands();
        const auto sent = [&](const std::string& verb) {
            return std::count_if(commands.begin(), commands.end(),
                                 [&](const std::string& c) { return c.rfind(verb, 0) == 0; });
        };
        EXPECT_EQ(sent("PORT"), 1) << "a new connection starts in active mode again";
        EXPECT_EQ(sent("PASV"), sent("LIST") - 1) << "the first LIST again, and every one after it, in passive mode";
        Form().DisconnectBtn->click();
    }
}

// Painting every reply would cost more than the walk: the log is painted at
// a human pace while the walk runs, and shows everything at its end.
TEST_F(WalkTest, TheScreenKeepsAHumanPaceDuringTheWalk) {
    TreeFtpServer server;
    for (int d = 0; d < 150; ++d) server.AddFile("d" + std::to_string(d) + "/f.html", 1);
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    server.Start();
    Connect(server.Address());
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    Form().LogMem->viewport()->installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    Form().GetSizeBtn->click();
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(Labels(Form()), "150/0/150");
    EXPECT_LE(counter.paints, elapsed / ScreenPacer::kIntervalMs + 3) << "over " << elapsed << " ms";
    EXPECT_GE(counter.paints, 1) << "painted at the end at least";
    EXPECT_NE(Log().find("Files: 150"), std::string::npos);
}
