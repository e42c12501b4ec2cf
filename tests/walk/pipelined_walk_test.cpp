// SPDX-License-Identifier: MIT
// The fast walk (STAT listings over the control connection): the same
// totals and per-directory results as the designed walk on real servers,
// the STAT reply shapes of other servers, the fallback, and failures.

#include "tests/ftp/client/ftp_fixture.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/test_certificate.h"
#include "tests/fakes/vsftpd.h"
#include "tests/support/site_tree.h"
#include "walk/pipelined_walker.h"
#include "walk/walk_session.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

using testsupport::ScriptedServer;
using testsupport::UpToData;

namespace {

// The probe for hidden names: TYPE A, PORT and "LIST -a" refused, as by a
// server that takes no options; the walk keeps the bare LIST.
ScriptedServer& RefuseListAll(ScriptedServer& server) {
    return server.Receive()
        .Reply("200 Type set to A")
        .Receive()
        .Reply("200 PORT ok")
        .Receive()
        .Reply("501 Unknown option -a");
}

// Further connections logged on before the walk, all taken at once.
struct LoggedOnAlready : zn::FurtherConnections {
    explicit LoggedOnAlready(std::vector<zn::TznFTP*> ready) : ready_(std::move(ready)) {}
    void OpenOne() override {}
    std::vector<zn::TznFTP*> TakeLoggedOn() override { return std::exchange(ready_, {}); }
    int Opening() const override { return 0; }
    std::vector<zn::TznFTP*> ready_;
};

struct Recorder : zn::WalkObserver {
    void WalkFailed(const std::string& message) override { failures.push_back(message); }
    void DirectoryDone(const std::string& path, int depth, std::int64_t bytes, std::int64_t files) override {
        done.push_back(path + " " + std::to_string(depth) + " " + std::to_string(bytes) + " " + std::to_string(files));
    }
    Lines failures;
    Lines done;
};

std::string Totals(const zn::WalkTotals& t) {
    return std::to_string(t.TotalBytes) + " bytes " + std::to_string(t.TotalFiles) + " files " +
           std::to_string(t.Directories) + " dirs " + std::to_string(t.SkippedDirectories) + " skipped" +
           (t.UnreadableDirectories ? " " + std::to_string(t.UnreadableDirectories) + " unreadable" : "") +
           (t.CutDirectories ? " " + std::to_string(t.CutDirectories) + " cut" : "") + (t.Aborted ? " aborted" : "");
}

// Names a server may read as options or patterns, spaces, an excluded
// directory, and a file over 4 GiB.
void MakeAwkwardTree(testsupport::SiteTree& tree) {
    for (int d = 0; d < 12; ++d) {
        const std::string top = (d % 3 == 0 ? "-dash " : d % 3 == 1 ? "sp ace " : "glob[") + std::to_string(d);
        tree.AddFile(top + "/index.html", 100 + static_cast<std::uintmax_t>(d));
        tree.AddFile(top + "/deeper/a*b?.txt", 7);
        tree.AddFile(top + "/logs/access.log", 99999);
    }
    tree.AddDirectory("empty");
    tree.AddFile("huge.iso", 4294967296ULL);
}

// Walks with both strategies over fresh logons, the fast walk over three
// connections; it must have listed by STAT and found what the designed walk
// found.
void ExpectBothWalksAgree(zn::TznFTP& ftp, Lines& sent, const std::string& method = "STAT") {
    Recorder designedEvents, fastEvents;
    ftp.Connect();
    zn::CwdWalker designed(ftp, designedEvents);
    designed.Walk();
    ftp.Disconnect();
    sent.clear();
    ftp.Connect();
    platform::TComponent owner(nullptr);
    std::vector<zn::TznFTP*> helpers;
    Lines helperSent;
    for (int i = 0; i < 2; ++i) {
        helpers.push_back(new zn::TznFTP(&owner));
        zn::TznFTP& helper = *helpers.back();
        helper.SetWinsockLoaded(true);
        helper.SetServer(ftp.Server());
        helper.SetUserName(ftp.UserName());
        helper.SetPassword(ftp.Password());
        helper.SetTlsMode(ftp.TlsMode());
        helper.SetTrustedFingerprint(ftp.TrustedFingerprint());
        helper.SetTimeOut(ftp.TimeOut());
        helper.OnLineSent = [&helperSent](zn::TObject*, const std::string& line) { helperSent.push_back(line); };
        helper.Connect();
    }
    zn::PipelinedWalker fast(ftp, fastEvents);
    LoggedOnAlready further(helpers);
    fast.SetFurtherConnections(&further);
    fast.Walk();
    ftp.Disconnect();
    for (zn::TznFTP* helper : helpers) helper->Disconnect();
    // With STAT, each connection listed some of the directories.
    const auto isStat = [](const std::string& line) { return line.rfind("STAT ", 0) == 0; };
    if (method.rfind("STAT", 0) == 0) {
        EXPECT_GE(std::count_if(helperSent.begin(), helperSent.end(), isStat), 2);
    }
    sent.insert(sent.end(), helperSent.begin(), helperSent.end());
    EXPECT_EQ(fast.Method(), method);
    EXPECT_EQ(Totals(fast.Totals()), Totals(designed.Totals()));
    // A machine listing comes in the server's own order, which need not be
    // its LIST's: the same directories with the same totals, in any order.
    if (method == "MLSD") {
        std::sort(fastEvents.done.begin(), fastEvents.done.end());
        std::sort(designedEvents.done.begin(), designedEvents.done.end());
    }
    EXPECT_EQ(fastEvents.done, designedEvents.done);
    EXPECT_TRUE(designedEvents.failures.empty() && fastEvents.failures.empty());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), method + " /sp ace 1/deeper"), 1);
    // Only paths with a dash or a pattern character take CWD and LIST, and
    // only STAT needs that.
    for (const std::string& line : sent) {
        // The last goes back to the start.
        if (line.rfind("CWD ", 0) != 0 || line == "CWD /") continue;
        EXPECT_EQ(method, "STAT") << line;
        EXPECT_NE(line.find_first_of("-["), std::string::npos) << line;
    }
}

}  // namespace

TEST_F(FtpTest, FastWalkAgreesWithTheDesignedWalkOnPyftpdlib) {
    testsupport::SiteTree tree;
    MakeAwkwardTree(tree);
    testsupport::PyFtpd server(tree.Root().string(), "user", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    Lines sent;
    ftp_->OnLineSent = [&](zn::TObject*, const std::string& line) { sent.push_back(line); };
    ftp_->SetServer(server.Address());
    ExpectBothWalksAgree(*ftp_, sent);
}

// Where STAT gives no listing, FEAT's MLST leads to one MLSD per directory.
TEST_F(FtpTest, FastWalkListsByMlsdWhereStatIsRefused) {
    testsupport::SiteTree tree;
    MakeAwkwardTree(tree);
    testsupport::PyFtpd server(tree.Root().string(), "user", "secret", {}, 0, true);
    ASSERT_TRUE(server.Running()) << server.Error();
    Lines sent;
    ftp_->OnLineSent = [&](zn::TObject*, const std::string& line) { sent.push_back(line); };
    ftp_->SetServer(server.Address());
    ExpectBothWalksAgree(*ftp_, sent, "MLSD");
}

// vsftpd lists "." and ".." in its STAT replies, and here the replies come
// over TLS.
TEST_F(FtpTest, FastWalkAgreesWithTheDesignedWalkOnVsftpdOverTls) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    MakeAwkwardTree(tree);
    testsupport::Vsftpd server(tree.Root(), certificate);
    if (server.Skipped()) GTEST_SKIP() << server.Error();
    ASSERT_TRUE(server.Running()) << server.Error();
    Lines sent;
    ftp_->OnLineSent = [&](zn::TObject*, const std::string& line) { sent.push_back(line); };
    ftp_->SetServer(server.Address());
    ftp_->SetUserName("anonymous");
    ftp_->SetTlsMode(zn::tmRequire);
    ftp_->SetTrustedFingerprint(certificate.Fingerprint());
    ftp_->SetPassive(true);
    ExpectBothWalksAgree(*ftp_, sent);
}

TEST_F(FtpTest, FastWalkReadsOtherStatShapesFallsBackAndFailsOnce) {
    const std::string dir = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 sub\r\n";
    const std::string file = "-rw-r--r-- 1 u g 1000 Jan  1 00:00 a.html\r\n";
    struct Case {
        const char* name;
        std::function<void(ScriptedServer&)> afterPwd;
        std::string totals;
        Lines failures;
        bool goOnPastUnreadable = false;  // dirweigh-cli's rule
    };
    const std::string listing = dir + file;
    std::string thousand;
    for (int i = 0; i < 1000; ++i) thousand += "-rw-r--r-- 1 u g 1 Jan  1 00:00 f" + std::to_string(i) + "\r\n";
    const std::string twoDirs = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 a\r\ndrwxr-xr-x 2 u g 4096 Jan  1 00:00 b\r\n";
    const Case cases[] = {
        {"every line starts with the code",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(listing).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status of /:\r\n213-" + dir + "213-" + file + "213 End\r\n").Receive();
             s.Send("213-Status:\r\n213-" + file + "213 End\r\n").Receive().Reply("200 NOOP ok").AwaitClientClose();
         },
         "2000 bytes 2 files 2 dirs 0 skipped",
         {}},
        {"every line starts with a space",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(listing).CloseData().Reply("226 Done")).Receive();
             s.Send("211-Status of /:\r\n " + dir + " " + file + "211 End\r\n").Receive();
             s.Send("211-Status:\r\n " + file + "211 End\r\n").Receive().Reply("200 NOOP ok").AwaitClientClose();
         },
         "2000 bytes 2 files 2 dirs 0 skipped",
         {}},
        {"STAT refused, no MLST with types and sizes: the designed walk",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(listing).CloseData().Reply("226 Done"));
             s.Receive().Reply("502 No STAT");
             s.Receive().Send("211-Features:\r\n UTF8\r\n MLST modify*;\r\n211 End\r\n");
             s.Receive().Reply("501 OPTS UTF8 not understood");  // "OPTS UTF8 ON"; the walk goes on
             // The walk takes the start directory's listing from the probe.
             s.Receive().Reply("250 CWD ok");
             UpToData(s).SendData(file).CloseData().Reply("226 Done").Receive().Reply("250 CDUP ok");
             s.AwaitClientClose();
         },
         "2000 bytes 2 files 2 dirs 0 skipped",
         {}},
        {"STAT refused, then a refused directory after a file: the file counts",
         [&](ScriptedServer& s) {
             const std::string root =
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 a\r\n" + file + "drwxr-xr-x 2 u g 4096 Jan  1 00:00 b\r\n";
             RefuseListAll(UpToData(s).SendData(root).CloseData().Reply("226 Done"));
             s.Receive().Reply("502 No STAT");
             s.Receive().Send("211-Features:\r\n UTF8\r\n211 End\r\n").Receive().Reply("200 UTF8 on");
             s.Receive().Reply("250 CWD ok");
             UpToData(s).SendData(file).CloseData().Reply("226 Done");
             s.Receive(2).Reply("250 CDUP ok").Reply("550 b refused").AwaitClientClose();
         },
         "2000 bytes 2 files 2 dirs 0 skipped aborted",
         {"550 b refused"}},
        {"replies that name their directories need no NOOP; one out of step: PWD, then one command at a time",
         [&](ScriptedServer& s) {
             const std::string dirs =
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 a\r\n"
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 b\r\n";
             RefuseListAll(UpToData(s).SendData(dirs).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status of \"/\":\r\n" + dirs + "213 End\r\n").Receive(2);
             s.Send("213-Status of \"/b\":\r\n" + file + "213 End\r\n").Receive();
             s.Send("213-Status of \"/b\":\r\n" + file + "213 End\r\n").Reply("257 \"/\" is the current directory");
             s.Receive().Send("213-Status of \"/a\":\r\n" + file + "213 End\r\n");
             s.Receive().Send("212-Status of /b:\r\n" + file + "212 End\r\n");
             s.AwaitClientClose();
         },
         "2000 bytes 2 files 3 dirs 0 skipped",
         {}},
        {"a reply that names no directory, sent twice: the window's NOOP finds it out of place",
         [&](ScriptedServer& s) {
             const std::string dirs =
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 a\r\n"
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 b\r\n";
             const std::string small = "-rw-r--r-- 1 u g 5 Jan  1 00:00 s.txt\r\n";
             RefuseListAll(UpToData(s).SendData(dirs).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status follows:\r\n" + dirs + "213 End\r\n").Receive(3);
             s.Send("213-Status follows:\r\n" + file + "213 End\r\n");
             s.Send("213-Status follows:\r\n" + file + "213 End\r\n");
             s.Send("213-Status follows:\r\n" + small + "213 End\r\n").Reply("200 NOOP ok").Receive();
             s.Reply("257 \"/\" is the current directory");
             s.Receive(2).Send("213-Status follows:\r\n" + file + "213 End\r\n").Reply("200 NOOP ok");
             s.Receive(2).Send("213-Status follows:\r\n" + small + "213 End\r\n").Reply("200 NOOP ok");
             s.AwaitClientClose();
         },
         "1005 bytes 2 files 3 dirs 0 skipped",
         {}},
        {"a server that splits STAT's argument at blanks: such directories are entered, then listed by STAT .; "
         "a listing where the CWD's reply is due is out of step at once",
         [&](ScriptedServer& s) {
             const std::string blank = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 b x\r\n";
             const std::string listed = "213-Status follows:\r\n" + file + "213 End\r\n";
             RefuseListAll(UpToData(s).SendData(blank).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status follows:\r\n" + blank + "213 End\r\n").Receive().Reply("250 CWD ok");
             UpToData(s).SendData(file).CloseData().Reply("226 Done");
             s.Receive().Send("213-Status follows:\r\n-rw-r--r-- 1 u g 5 Jan  1 00:00 s.txt\r\n213 End\r\n");
             s.Receive().Reply("250 CWD ok").Receive().Send(listed);
             // The CWD's reply lost: the PWD comes before the STAT's reply
             // is waited for.
             s.Receive(3).Send(listed).Receive().Reply("257 \"/b x\" is the current directory");
             s.Receive(3).Reply("250 CWD ok").Send(listed).Reply("200 NOOP ok");
             s.Receive().Reply("250 CWD ok");  // back to the start
             s.AwaitClientClose();
         },
         "1000 bytes 1 files 2 dirs 0 skipped",
         {}},
        {"an empty directory with a blank tells nothing of how STAT takes blanks; a reply under a \"path:\" "
         "header lists another directory: the server splits at blanks",
         [&](ScriptedServer& s) {
             const std::string blanks =
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 new folder\r\n"
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 photos\r\n"
                 "drwxr-xr-x 2 u g 4096 Jan  1 00:00 photos 2021\r\n";
             const std::string a = "-rw-r--r-- 1 u g 10 Jan  1 00:00 a.jpg\r\n";
             RefuseListAll(UpToData(s).SendData(blanks).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status follows:\r\n" + blanks + "213 End\r\n");
             for (int listed = 0; listed < 2; ++listed) {  // the probe's, then the walk's
                 s.Receive().Reply("250 CWD ok");
                 UpToData(s).SendData("").CloseData().Reply("226 Done");
             }
             s.Receive(2).Send("213-Status follows:\r\n" + a + "213 End\r\n").Reply("200 NOOP ok");
             s.Receive().Reply("250 CWD ok");
             UpToData(s).SendData("-rw-r--r-- 1 u g 10 Jan  1 00:00 b.jpg\r\n").CloseData().Reply("226 Done");
             s.Receive().Send("213-STAT\r\n/photos:\r\n" + a + "213 End.\r\n");
             s.Receive().Reply("250 CWD ok").AwaitClientClose();
         },
         "20 bytes 2 files 4 dirs 0 skipped",
         {}},
        {"a STAT that shows each entry twice is not taken: it would count each twice",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(listing).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status follows:\r\n" + listing + listing + "213 End\r\n");
             s.Receive().Send("211-Features:\r\n UTF8\r\n211 End\r\n").Receive().Reply("200 UTF8 on");
             s.Receive().Reply("250 CWD ok");
             UpToData(s).SendData(file).CloseData().Reply("226 Done").Receive().Reply("250 CDUP ok");
             s.AwaitClientClose();
         },
         "2000 bytes 2 files 2 dirs 0 skipped",
         {}},
        {"a STAT listing of a whole thousand entries, which a limit may have cut, is listed again by LIST",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(dir).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status follows:\r\n" + dir + "213 End\r\n").Receive(2);
             s.Send("213-Status follows:\r\n" + thousand + "213 End.\r\n").Reply("200 NOOP ok");
             s.Receive().Reply("250 CWD ok");
             UpToData(s).SendData(thousand).CloseData().Reply("226 Done");
             s.Receive().Reply("250 CWD ok").AwaitClientClose();
         },
         "1000 bytes 1000 files 2 dirs 0 skipped",
         {}},
        {"a refused directory is passed over where the rules allow, once its window's check is in",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(twoDirs).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status follows:\r\n" + twoDirs + "213 End\r\n").Receive(3);
             s.Reply("550 Permission denied").Send("213-Status follows:\r\n" + file + "213 End\r\n");
             s.Reply("200 NOOP ok").AwaitClientClose();
         },
         "1000 bytes 1 files 2 dirs 0 skipped 1 unreadable",
         {},
         true},
        {"where replies name their directories, a refusal, which names none, waits for a NOOP of its own",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(twoDirs).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status of \"/\":\r\n" + twoDirs + "213 End\r\n").Receive(2);
             s.Reply("550 Permission denied").Receive();
             s.Send("213-Status of \"/b\":\r\n" + file + "213 End\r\n").Reply("200 NOOP ok");
             s.AwaitClientClose();
         },
         "1000 bytes 1 files 2 dirs 0 skipped 1 unreadable",
         {},
         true},
        {"a server that says why it ends the session and closes: its words, not the reset that later commands meet",
         [&](ScriptedServer& s) {
             const std::string xy = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 x\r\ndrwxr-xr-x 2 u g 4096 Jan  1 00:00 y\r\n";
             RefuseListAll(UpToData(s).SendData(twoDirs).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status of \"/\":\r\n" + twoDirs + "213 End\r\n").Receive(2);
             s.Send("213-Status of \"/a\":\r\n" + xy + "213 End\r\n213-Status of \"/b\":\r\n" + file +
                    "213 End\r\n421 Service not available, closing control connection.\r\n");
             s.Close();
         },
         "1000 bytes 1 files 3 dirs 0 skipped aborted",
         {"421 Service not available, closing control connection."}},
        {"a failure below the start: once, with the totals so far",
         [&](ScriptedServer& s) {
             RefuseListAll(UpToData(s).SendData(file + dir).CloseData().Reply("226 Done")).Receive();
             s.Send("213-Status:\r\n" + file + dir + "213 End\r\n").Receive(2);
             s.Reply("550 Permission denied").Reply("200 NOOP ok");
             s.AwaitClientClose();
         },
         "1000 bytes 1 files 1 dirs 0 skipped aborted",
         {"550 Permission denied"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        Logon(server).Receive().Reply("257 \"/\" is the current directory");
        c.afterPwd(server);
        ConnectTo(server);
        Recorder events;
        zn::WalkRules rules;
        rules.GoOnPastUnreadable = c.goOnPastUnreadable;
        zn::PipelinedWalker walker(*ftp_, events, rules);
        walker.Walk();
        EXPECT_EQ(Totals(walker.Totals()), c.totals);
        EXPECT_EQ(events.failures, c.failures);
        ftp_->Close();
    }
}

// Every directory lists two that lead back to itself: depth first, the walk
// meets the depth bound after some windows of listings, not 2 to the power
// of the bound.
TEST_F(FtpTest, FastWalkStopsAtTheDepthBoundInATreeThatLeadsBackIntoItself) {
    const std::string loop = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 x\r\ndrwxr-xr-x 2 u g 4096 Jan  1 00:00 y\r\n";
    ScriptedServer server;
    Logon(server).Receive().Reply("257 \"/\" is the current directory");
    RefuseListAll(UpToData(server).SendData(loop).CloseData().Reply("226 Done"));
    server.AnswerEach(
        [&](const std::string& line) -> std::string {
            if (line == "NOOP") return "200 NOOP ok\r\n";
            if (line == "PWD") return "257 \"/\"\r\n";
            return "213-Status follows:\r\n" + loop + "213 End\r\n";
        },
        5000);
    ConnectTo(server);
    Recorder events;
    zn::WalkRules rules;
    rules.MaxDepth = 12;
    zn::PipelinedWalker walker(*ftp_, events, rules);
    walker.Walk();
    ftp_->Close();
    EXPECT_TRUE(walker.Totals().Aborted);
    EXPECT_EQ(events.failures, Lines{zn::TooDeepMessage(12, "x")});
    const Lines received = server.Received();
    // Level by level it would list 2^12 directories before the bound.
    EXPECT_LT(
        std::count_if(received.begin(), received.end(), [](const std::string& l) { return l.rfind("STAT", 0) == 0; }),
        500);
}

// A name longer than a reply line may be comes cut in a STAT reply: that
// directory is listed by CWD and LIST, and the one below goes by its whole
// name.
TEST_F(FtpTest, FastWalkListsADirectoryWithCutLinesByCwd) {
    const std::string longName(1100, 'n');
    const std::string sub = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 sub\r\n";
    const std::string longDir = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 " + longName + "\r\n";
    const std::string seven = "-rw-r--r-- 1 u g 7 Jan  1 00:00 f\r\n";
    ScriptedServer server;
    Logon(server).Receive().Reply("257 \"/\" is the current directory");
    RefuseListAll(UpToData(server).SendData(sub).CloseData().Reply("226 Done")).Receive();
    server.Send("213-Status follows:\r\n" + sub + "213 End\r\n").Receive(2);
    server.Send("213-Status follows:\r\n" + longDir + "213 End\r\n").Reply("200 NOOP ok");
    server.Receive().Reply("250 CWD ok");
    UpToData(server).SendData(longDir).CloseData().Reply("226 Done");
    server.Receive(2).Send("213-Status follows:\r\n" + seven + "213 End\r\n").Reply("200 NOOP ok");
    server.Receive().Reply("250 CWD ok");  // back to the start, where the next walk begins
    server.AwaitClientClose();
    ConnectTo(server);
    Recorder events;
    zn::PipelinedWalker walker(*ftp_, events);
    walker.Walk();
    ftp_->Close();
    EXPECT_TRUE(server.Finished(3));
    EXPECT_EQ(Totals(walker.Totals()), "7 bytes 1 files 3 dirs 0 skipped");
    const Lines received = server.Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "STAT /sub/" + longName), received.end());
}

// After a refused STAT, a server that answers nothing more: the ending
// waits one time-out, not one per command sent ahead, and the connection
// that stopped answering is closed.
TEST_F(FtpTest, FastWalkEndingAfterAFailureWaitsOneTimeOut) {
    std::string dirs;
    for (char c = 'a'; c < 'i'; ++c) dirs += std::string("drwxr-xr-x 2 u g 4096 Jan  1 00:00 ") + c + "\r\n";
    ScriptedServer server;
    Logon(server).Receive().Reply("257 \"/\" is the current directory");
    RefuseListAll(UpToData(server).SendData(dirs).CloseData().Reply("226 Done")).Receive();
    server.Send("213-Status follows:\r\n" + dirs + "213 End\r\n").Receive(9);
    server.Reply("550 Permission denied").AwaitClientClose();
    ConnectTo(server);
    ftp_->SetTimeOut(1);
    Recorder events;
    zn::PipelinedWalker walker(*ftp_, events);
    walker.Walk();
    EXPECT_EQ(events.failures, Lines{"550 Permission denied"});
    EXPECT_FALSE(ftp_->Connected()) << "the connection that stopped answering is closed";
    EXPECT_TRUE(server.Finished(3));
}

// A further connection that the server closes while it waits for work
// ("421 Timeout", as after vsftpd's idle time-out): its directory goes to
// the first connection and the walk is whole.
TEST_F(FtpTest, FastWalkGoesOnWhenTheServerClosesAnIdleFurtherConnection) {
    const std::string dirs = "drwxr-xr-x 2 u g 4096 Jan  1 00:00 a\r\ndrwxr-xr-x 2 u g 4096 Jan  1 00:00 b\r\n";
    const std::string file = "-rw-r--r-- 1 u g 1000 Jan  1 00:00 a.html\r\n";
    ScriptedServer server, further;
    Logon(server).Receive().Reply("257 \"/\" is the current directory");
    RefuseListAll(UpToData(server).SendData(dirs).CloseData().Reply("226 Done")).Receive();
    server.Send("213-Status follows:\r\n" + dirs + "213 End\r\n");
    server.AnswerEach(
        [&](const std::string& line) -> std::string {
            return line == "NOOP" ? "200 NOOP ok\r\n" : "213-Status follows:\r\n" + file + "213 End\r\n";
        },
        10);
    Logon(further).Reply("421 Timeout.").Close();
    further.Start();
    platform::TComponent owner(nullptr);
    auto* helper = new zn::TznFTP(&owner);
    helper->SetWinsockLoaded(true);
    helper->SetServer(further.Address());
    helper->SetTimeOut(2);
    helper->Connect();
    ConnectTo(server);
    Recorder events;
    zn::PipelinedWalker walker(*ftp_, events);
    LoggedOnAlready loggedOn({helper});
    walker.SetFurtherConnections(&loggedOn);
    walker.Walk();
    ftp_->Close();
    EXPECT_EQ(events.failures, Lines{});
    EXPECT_EQ(Totals(walker.Totals()), "2000 bytes 2 files 3 dirs 0 skipped");
}

TEST_F(FtpTest, FastWalkCancelledWhileWaitingForAStatReply) {
    ScriptedServer server;
    Logon(server).Receive().Reply("257 \"/www\" is the current directory");
    RefuseListAll(
        UpToData(server).SendData("drwxr-xr-x 2 u g 4096 Jan  1 00:00 sub\r\n").CloseData().Reply("226 Done"));
    server.Receive().Send("213-Status:\r\ndrwxr-xr-x 2 u g 4096 Jan  1 00:00 sub\r\n213 End\r\n");
    server.Receive().Delay(3000);
    ConnectTo(server);
    Recorder events;
    zn::PipelinedWalker walker(*ftp_, events);
    QTimer::singleShot(300, [this] { ftp_->Cancel(); });
    walker.Walk();
    EXPECT_TRUE(walker.Totals().Aborted);
    EXPECT_EQ(events.failures, Lines{"Operation has been canceled"});
    EXPECT_EQ(server.Received().back(), "STAT /www/sub");
}

// The same tree, whose first listings come slowly: after a quick logon one
// more connection pays and is opened, after a slow one none is. The server
// takes one connection, so the further one is never greeted: it is still
// logging on when the walk ends, and the walk never waited for it. A Cancel
// that reaches it while it logs on (Ctrl-C) is the walk's: the walk ends
// as cancelled, not as one that goes on without it.
TEST_F(FtpTest, FurtherConnectionOpensOnlyWhenItPaysAndNeverHoldsTheWalkUp) {
    struct Session : zn::WalkSessionObserver {
        void WalkFailed(const std::string& message) override { failures.push_back(message); }
        void ConnectionOpening(const std::string& tag) override {
            opening.push_back(tag);
            if (onOpening) onOpening();
        }
        void ConnectionFailed(const std::string& tag, const std::string& message) override {
            failures.push_back(tag + message);
        }
        Lines opening, failures;
        std::function<void()> onOpening;
    };
    struct Row {
        const char* name;
        int passDelayMs;
        bool cancel;
        Lines opening;
        std::string totals;
        Lines failures;
    };
    const std::vector<Row> rows{
        {"quick logon", 0, false, {"[2] "}, "3000 bytes 30 files 31 dirs 0 skipped", {}},
        {"slow logon", 1000, false, {}, "3000 bytes 30 files 31 dirs 0 skipped", {}},
        {"cancel while it logs on", 0, true, {"[2] "}, "aborted", {"Operation has been canceled"}},
    };
    std::string dirs;
    for (int d = 0; d < 30; ++d) dirs += "drwxr-xr-x 2 u g 4096 Jan  1 00:00 d" + std::to_string(d) + "\r\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedServer server;
        server.Reply("220 Ready").Receive().Reply("331 Password please").Receive();
        server.Delay(row.passDelayMs).Reply("230 Logged in").Receive().Reply("257 \"/\" is the current directory");
        RefuseListAll(UpToData(server).SendData(dirs).CloseData().Reply("226 Done")).Receive();
        server.Send("213-Status follows:\r\n" + dirs + "213 End\r\n");
        int listed = 0;
        server.AnswerEach(
            [&listed](const std::string& line) -> std::string {
                if (line == "NOOP") return "200 NOOP ok\r\n";
                if (++listed <= 4) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                return "213-Status follows:\r\n-rw-r--r-- 1 u g 100 Jan  1 00:00 a.html\r\n213 End\r\n";
            },
            34);
        ftp_->SetTimeOut(2);
        ConnectTo(server);
        Session events;
        zn::WalkSession session(*ftp_, events, {{}, true, 2});
        if (row.cancel) events.onOpening = [&session] { session.CancelFurther(); };
        session.Walk();
        session.End(true, false);
        ftp_->Close();
        EXPECT_EQ(events.opening, row.opening);
        const std::string totals = Totals(session.Totals());
        EXPECT_EQ(row.cancel ? totals.substr(totals.rfind(' ') + 1) : totals, row.totals);
        EXPECT_EQ(events.failures, row.failures);
    }
}
