// SPDX-License-Identifier: MIT
#include "tests/ftp/client/ftp_fixture.h"

#include "ftp/listing/listing_cut.h"
#include "tests/support/cpu_time.h"
#include "walk/cwd_walker.h"

using zn::ECanceledError;
using zn::EServerError;
using zn::ETimedOutError;
using testsupport::ScriptedServer;
using testsupport::UpToData;

namespace {

const std::string kListing =
    "-rw-r--r--   1 web  web   1200 Mar  7 14:05 index.html\r\n"
    "drwxr-xr-x   2 web  web    512 Dec 24  1998 images\r\n";

std::vector<std::string> Names(zn::TznFTPDirList& list) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Items(i).Name);
    return names;
}

}  // namespace

TEST_F(FtpTest, ListFiresItsEventsInOrderAndParses) {
    ScriptedServer server;
    UpToData(FtpTest::Logon(server)).SendData(kListing).CloseData().Reply("226 Transfer complete").AwaitClientClose();
    ConnectTo(server);
    ftp_->List();
    ASSERT_EQ(events_.size(), 9u + progress_.size());
    EXPECT_EQ(events_[0], "> TYPE A");
    EXPECT_EQ(events_[1], "< 200 Type set to A");
    EXPECT_EQ(events_[2].substr(0, 17), "> PORT 127,0,0,1,") << "the control connection's local address";
    EXPECT_EQ(events_[4], "> LIST");
    EXPECT_EQ(events_[5], "< 150 Opening data connection");
    EXPECT_EQ(events_[6], "OnTransferProgress");
    EXPECT_EQ(events_[7], "OnTransferStart");
    EXPECT_EQ(events_[events_.size() - 2], "OnTransferEnd");
    EXPECT_EQ(events_.back(), "< 226 Transfer complete");
    EXPECT_EQ(progress_.front(), (std::pair<std::int32_t, std::int32_t>{0, 0}));
    EXPECT_EQ(progress_.back(),
              (std::pair<std::int32_t, std::int32_t>{-1, static_cast<std::int32_t>(kListing.size())}));
    EXPECT_EQ(Names(ftp_->DirList()), (std::vector<std::string>{"index.html", "images"}));
    EXPECT_EQ(ftp_->ServerType(), zn::stUnix);
}

TEST_F(FtpTest, RefusedListLeavesTheDirListAsItWas) {
    // A 425 in active mode is the server failing to connect back, and says so.
    for (auto [refusal, message] : {std::pair{"425 Can't open data connection",
                                              "425 Can't open data connection (the server could not connect back)"},
                                    {"550 No such directory", "550 No such directory"}}) {
        ScriptedServer server;
        UpToData(FtpTest::Logon(server)).SendData(kListing).CloseData().Reply("226 Done");
        server.Receive().Reply("200 Type set to A").Receive().Reply("200 PORT ok").Receive().Reply(refusal);
        server.AwaitClientClose();
        ConnectTo(server);
        ftp_->List();
        EXPECT_EQ(MessageOf<EServerError>([&] { ftp_->List(); }), message);
        EXPECT_EQ(Names(ftp_->DirList()), (std::vector<std::string>{"index.html", "images"}));
        EXPECT_TRUE(ftp_->Connected());
        ftp_->Close();
    }
}

// FEAT lists EPRT, yet the server refuses it: PORT at once, and for the
// rest of the session.
TEST_F(FtpTest, ExtendedPortListedButRefusedGivesWayToPort) {
    ScriptedServer server;
    FtpTest::Logon(server).Receive().Reply("211-Features:").Reply(" EPRT").Reply("211 End");
    server.Receive().Reply("200 Type set to A").Receive().Reply("500 EPRT not understood");
    server.Receive().Reply("200 PORT ok").Receive().Reply("150 Go").ConnectData().CloseData().Reply("226 Done");
    UpToData(server).CloseData().Reply("226 Done").AwaitClientClose();
    ConnectTo(server);
    ftp_->Features();
    ftp_->List();
    ftp_->List();
    std::vector<std::string> verbs;
    for (const std::string& line : server.Received()) verbs.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(verbs, (std::vector<std::string>{"USER", "PASS", "FEAT", "TYPE", "EPRT", "PORT", "LIST", "TYPE", "PORT",
                                               "LIST"}));
    EXPECT_EQ(server.Received()[4].substr(0, 17), "EPRT |1|127.0.0.1") << "the control connection's local address";
}

TEST_F(FtpTest, EmptyDirectoryLeavesTheTypeUndecided) {
    ScriptedServer server;
    UpToData(FtpTest::Logon(server)).CloseData().Reply("226 Done").AwaitClientClose();
    ConnectTo(server);
    ftp_->List();
    EXPECT_EQ(ftp_->DirList().Count(), 0);
    EXPECT_EQ(ftp_->ServerType(), zn::stAuto);
    for (auto [perc, transferred] : progress_) EXPECT_EQ(transferred, 0);
    EXPECT_NE(std::find(events_.begin(), events_.end(), "OnTransferEnd"), events_.end());
}

TEST_F(FtpTest, ChunksGiveOneProgressEventEachWithTheRunningTotal) {
    ScriptedServer server;
    UpToData(FtpTest::Logon(server))
        .SendData(kListing.substr(0, 30))
        .Delay(300)
        .SendData(kListing.substr(30, 30))
        .Delay(300)
        .SendData(kListing.substr(60))
        .CloseData()
        .Reply("226 Done")
        .AwaitClientClose();
    ConnectTo(server);
    ftp_->List();
    std::vector<std::int32_t> totals;
    for (auto [perc, transferred] : progress_) {
        if (totals.empty() || transferred != totals.back()) totals.push_back(transferred);
    }
    EXPECT_EQ(totals, (std::vector<std::int32_t>{0, 30, 60, static_cast<std::int32_t>(kListing.size())}));
    EXPECT_EQ(ftp_->DirList().Count(), 2);
}

TEST_F(FtpTest, OneByteBufferParsesTheSame) {
    ScriptedServer server;
    UpToData(FtpTest::Logon(server)).SendData(kListing).CloseData().Reply("226 Done").AwaitClientClose();
    ConnectTo(server);
    ftp_->SetTrasferBufferSize(1);
    ftp_->List();
    EXPECT_EQ(Names(ftp_->DirList()), (std::vector<std::string>{"index.html", "images"}));
    int withData = 0;
    for (std::size_t i = 1; i < progress_.size(); ++i) withData += progress_[i].second != progress_[i - 1].second;
    EXPECT_EQ(withData, static_cast<int>(kListing.size()));
}

TEST_F(FtpTest, CancelDuringTheTransfer) {
    ScriptedServer server;
    UpToData(FtpTest::Logon(server)).SendData(kListing.substr(0, 20)).Delay(3000).CloseData();
    ConnectTo(server);
    ftp_->SetServerType(zn::stUnix);
    ftp_->DirList().ParseLine("-rw-r--r-- 1 o g 1 Mar 7 14:05 previous");
    ftp_->OnTransferProgress = [this](zn::TObject*, std::int32_t, std::int32_t transferred) {
        if (transferred > 0) ftp_->Cancel();
    };
    EXPECT_EQ(MessageOf<ECanceledError>([&] { ftp_->List(); }), "Operation has been canceled");
    EXPECT_EQ(std::find(events_.begin(), events_.end(), "OnTransferEnd"), events_.end());
    EXPECT_EQ(Names(ftp_->DirList()), std::vector<std::string>{"previous"});
    EXPECT_THROW(ftp_->List(), zn::ESocketError) << "the control connection was closed";
}

TEST_F(FtpTest, ServerThatNeverConnectsTimesOut) {
    ScriptedServer server;
    FtpTest::Logon(server).Receive().Reply("200 Type set").Receive().Reply("200 PORT ok").Receive().Reply("150 Soon");
    server.AwaitClientClose();
    ConnectTo(server);
    ftp_->SetTimeOut(1);
    const double cpuBefore = testsupport::ProcessCpuSeconds();
    EXPECT_THROW(ftp_->List(), ETimedOutError);
    EXPECT_LT(testsupport::ProcessCpuSeconds() - cpuBefore, 0.2) << "the wait for the connection blocks";
    EXPECT_FALSE(ftp_->Connected());
}

TEST_F(FtpTest, StrangerOnTheDataPortIsTurnedAway) {
    ScriptedServer server;
    FtpTest::Logon(server).Receive().Reply("200 Type set").Receive().Reply("200 PORT ok").Receive().Reply("150 Go");
    server.ConnectDataFrom("-rw-r--r-- 1 evil evil 666 Jan  1 00:00 forged.html\r\n")
        .ConnectData()
        .SendData(kListing)
        .CloseData()
        .Reply("226 Done")
        .AwaitClientClose();
    ConnectTo(server);
    ftp_->List();
    EXPECT_EQ(Names(ftp_->DirList()), (std::vector<std::string>{"index.html", "images"}));
    ftp_->Close();
    EXPECT_TRUE(server.Finished(3));
    EXPECT_EQ(server.Problems(), std::vector<std::string>{});
}

// A server that cut the listing short and says so in its 226: the same
// listing in reverse order gives the rest where the two meet; where they
// do not, what was listed counts, the directory is told as listed in part,
// and the total is never called whole.
TEST_F(FtpTest, WalkOfAListingTheServerCutShortTriesTheOtherEndAndNeverPassesForWhole) {
    const auto files = [](std::initializer_list<const char*> names) {
        std::string listing;
        for (const char* name : names) listing += std::string("-rw-r--r-- 1 u g 10 Mar  7 14:05 ") + name + "\r\n";
        return listing;
    };
    // Too long to hold as it comes: counted, then taken back and listed
    // again to be joined.
    std::string longForward;
    for (int i = 0; i < 20001; ++i) longForward += files({("f" + std::to_string(100000 + i)).c_str()});
    struct Case {
        const char* name;
        std::string reverse;                   // the listing "LIST -r" gives; empty: refused
        const char* totals;                    // files, cut directories
        const std::string* forward = nullptr;  // else "a" and "b"
    } cases[] = {
        {"the ends meet", files({"d", "c", "b"}), "4 files 0 cut"},
        {"a gap between the ends", files({"d", "c"}), "2 files 1 cut"},
        {"the same entries both ways: cut before sorted", files({"b", "a"}), "2 files 1 cut"},
        {"no such option", "", "2 files 1 cut"},
        {"a long listing's ends meet", files({"f120002", "f120001", "f120000"}), "20003 files 0 cut", &longForward},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        FtpTest::Logon(server).Receive().Reply("250 CWD ok");
        const std::string forward = c.forward ? *c.forward : files({"a", "b"});
        for (int times = c.forward ? 2 : 1; times > 0; --times)
            UpToData(server).SendData(forward).CloseData().Reply("226 Output truncated to 2 matches");
        if (c.reverse.empty()) {
            server.Receive()
                .Reply("200 Type set to A")
                .Receive()
                .Reply("200 PORT ok")
                .Receive()
                .Reply("501 Unknown option");
        } else {
            UpToData(server).SendData(c.reverse).CloseData().Reply("226 Output truncated to 2 matches");
        }
        server.Receive().Reply("250 CDUP ok").AwaitClientClose();
        ConnectTo(server);
        struct Events : zn::WalkObserver {
            std::vector<std::string> messages;
            void WalkFailed(const std::string& message) override { messages.push_back(message); }
            void DirectoryCut(const std::string&, const std::string& message) override { messages.push_back(message); }
        } events;
        zn::CwdWalker walker(*ftp_, events);
        zn::TznFTPDirList start;
        zn::ParseListing("drwxr-xr-x 2 u g 512 Mar  7 14:05 sub\r\n", start);
        walker.WalkWith(zn::ListingForm{}, start, true);
        ftp_->Close();
        const zn::WalkTotals& totals = walker.Totals();
        EXPECT_FALSE(totals.Aborted);
        EXPECT_EQ(std::to_string(totals.TotalFiles) + " files " + std::to_string(totals.CutDirectories) + " cut",
                  c.totals);
        EXPECT_EQ(totals.Whole(), totals.CutDirectories == 0);
        if (totals.CutDirectories > 0) {
            EXPECT_EQ(events.messages, Lines{zn::CutMessage("sub", "226 Output truncated to 2 matches")});
        }
    }
}

// Names with blanks, as DOS listings and Unix listings with a group of two
// words give them, are entered whole, and every file counts once.
TEST_F(FtpTest, WalkEntersDirectoriesWithBlanksByTheirWholeName) {
    struct Case {
        const char* family;
        std::string root, oldSite, myDocuments;
    };
    const Case cases[] = {
        {"DOS",
         "02-11-25  09:14AM       <DIR>          Old Site\r\n"
         "02-11-25  09:14AM               20480 annual report.pdf\r\n"
         "02-11-25  09:14AM       <DIR>          My Documents\r\n",
         "2025-02-11  21:14            1,048,576 big file.zip\r\n", "02-11-25  09:14PM      512 notes.txt\r\n"},
        {"Unix with a group of two words",
         "drwxr-x---  3 webadm Domain Users     4096 Feb 11 09:14 Old Site\r\n"
         "-rw-r--r--  1 webadm Domain Users    20480 Feb 11 09:14 annual report.pdf\r\n"
         "drwxr-x---  3 webadm Domain Users     4096 Feb 11  2024 My Documents\r\n",
         "-rw-r--r--  1 webadm Domain Users  1048576 Feb 11 09:14 big file.zip\r\n",
         "-rw-r--r--  1 webadm Domain Users      512 Feb 11 09:14 notes.txt\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.family);
        ScriptedServer server;
        UpToData(FtpTest::Logon(server)).SendData(c.root).CloseData().Reply("226 Done");
        // The probe for hidden names, refused: the walk keeps the bare LIST.
        server.Receive().Reply("200 Type set to A").Receive().Reply("200 PORT ok").Receive().Reply("501 No options");
        server.Receive().Reply("250 CWD ok");
        UpToData(server).SendData(c.oldSite).CloseData().Reply("226 Done");
        server.Receive(2).Reply("250 CDUP ok").Reply("250 CWD ok");
        UpToData(server).SendData(c.myDocuments).CloseData().Reply("226 Done");
        server.Receive().Reply("250 CDUP ok").AwaitClientClose();
        ftp_->SetServerType(zn::stAuto);  // each server's family is found anew
        ConnectTo(server);
        struct Failures : zn::WalkObserver {
            std::vector<std::string> messages;
            void WalkFailed(const std::string& message) override { messages.push_back(message); }
        } failures;
        zn::CwdWalker walker(*ftp_, failures);
        walker.Walk();
        ftp_->Close();
        EXPECT_TRUE(server.Finished(3));
        EXPECT_EQ(failures.messages, Lines{});
        EXPECT_FALSE(walker.Totals().Aborted);
        EXPECT_EQ(walker.Totals().TotalBytes, 20480 + 1048576 + 512);
        EXPECT_EQ(walker.Totals().TotalFiles, 3);
        EXPECT_EQ(walker.Totals().Directories, 3);
        EXPECT_EQ(walker.Totals().UnparsedLines, 0);
        Lines moves;
        for (const std::string& line : server.Received()) {
            if (line.rfind("CWD", 0) == 0 || line == "CDUP") moves.push_back(line);
        }
        EXPECT_EQ(moves, (Lines{"CWD Old Site", "CDUP", "CWD My Documents", "CDUP"}));
    }
}

// A listing that never ends, over a data connection or in a STAT reply,
// fails past its bound (lowered here from a gibibyte) instead of growing
// for ever.
TEST_F(FtpTest, EndlessListingsFailPastTheirBound) {
    std::string lines;
    for (int i = 0; i < 3000; ++i)
        lines += "-rw-r--r--   1 web  web   1200 Mar  7 14:05 page" + std::to_string(i) + "\r\n";
    for (const bool overControl : {false, true}) {
        SCOPED_TRACE(overControl ? "STAT" : "LIST");
        ScriptedServer server;
        FtpTest::Logon(server);
        if (overControl) {
            server.Receive().Send("213-Status of /:\r\n" + lines);
        } else {
            UpToData(server).SendData(lines);
        }
        server.AwaitClientClose();
        ConnectTo(server);
        ftp_->SetListingMax({1000, 1 << 20});
        zn::TznFTPDirList list;
        const std::string message = MessageOf<zn::ESocketError>([&] {
            if (overControl) {
                ftp_->StatList("/", list);
            } else {
                ftp_->List();
            }
        });
        EXPECT_EQ(message, "The listing does not end (more than 1000 lines or 1024 KiB); the connection was closed");
        EXPECT_FALSE(ftp_->Connected());
        EXPECT_TRUE(server.Finished(5));
    }
}
