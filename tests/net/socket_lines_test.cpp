// SPDX-License-Identifier: MIT
#include "tests/net/socket_fixture.h"

using zn::ESocketError;

TEST_F(SocketTest, SingleLineReply) {
    testsupport::ScriptedServer server;
    server.Send("220 Ready\r\n").AwaitClientClose();
    ConnectTo(server);
    EXPECT_EQ(socket_->ReadReply(), 220);
    EXPECT_EQ(socket_->LastReply(), "220 Ready");
    EXPECT_EQ(events_, Events{"Received 220 Ready"});
}

TEST_F(SocketTest, MultiLineReplyEndsWithTheSameNumberAndABlank) {
    testsupport::ScriptedServer server;
    server.Send("230-Welcome\r\n230-Second\r\n220 other number\r\n230 Done\r\n221 next\r\n").AwaitClientClose();
    ConnectTo(server);
    EXPECT_EQ(socket_->ReadReply(), 230);
    EXPECT_EQ(socket_->LastReply(), "230 Done");
    EXPECT_EQ(events_, (Events{"Received 230-Welcome", "Received 230-Second", "Received 220 other number",
                               "Received 230 Done"}));
    EXPECT_EQ(socket_->ReadReply(), 221) << "the next reply stays in the socket";
}

TEST_F(SocketTest, LineEndsOfLfAloneAndCrCrLfAreRemoved) {
    testsupport::ScriptedServer server;
    server.Send("200 one\n200 two\r\r\n").AwaitClientClose();
    ConnectTo(server);
    std::string line;
    EXPECT_EQ(socket_->ReadLine(line), 200);
    EXPECT_EQ(line, "200 one");
    EXPECT_EQ(socket_->ReadLine(line), 200);
    EXPECT_EQ(line, "200 two");
}

TEST_F(SocketTest, NulCutsTheLineAndUnnumberedLinesAreRepliesOfTheirOwn) {
    testsupport::ScriptedServer server;
    server.Send(std::string("200 before\0after\r\nhello\r\n230-x\r\n", 32)).AwaitClientClose();
    ConnectTo(server);
    std::string line;
    EXPECT_EQ(socket_->ReadLine(line), 200);
    EXPECT_EQ(line, "200 before");
    EXPECT_EQ(socket_->ReadReply(), -1);
    EXPECT_EQ(socket_->LastReply(), "hello");
}

TEST_F(SocketTest, PeerClosingMidLineGivesAnEmptyLine) {
    testsupport::ScriptedServer server;
    server.Send("220 Rea").Delay(50).Close();
    ConnectTo(server);
    std::string line = "untouched";
    EXPECT_EQ(socket_->ReadLine(line), -1);
    EXPECT_EQ(line, "");
    EXPECT_EQ(events_, Events{"Received "});
}

TEST_F(SocketTest, PeerClosingBeforeAnyLineIsAResetNotATimeOut) {
    testsupport::ScriptedServer server;
    server.Delay(50).Close();
    ConnectTo(server);
    socket_->SetTimeOut(5);
    std::string line;
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ReadLine(line); }), "[10054] Connection reset by peer");
    EXPECT_EQ(events_, (Events{"OnError [10054] Connection reset by peer", "OnClosing", "OnClosed"}));
    EXPECT_FALSE(socket_->Connected());
}

TEST_F(SocketTest, OverlongLineGivesItsFirst1024BytesAndDropsTheRest) {
    testsupport::ScriptedServer server;
    const std::string longLine = "200 " + std::string(1500, 'x');
    server.Send(longLine + "\r\n250 next\r\n").AwaitClientClose();
    ConnectTo(server);
    std::string line;
    EXPECT_EQ(socket_->ReadLine(line), 200);
    EXPECT_EQ(line, longLine.substr(0, 1024));
    EXPECT_EQ(socket_->ReadLine(line), 250);
    EXPECT_EQ(line, "250 next");
}

TEST_F(SocketTest, TimeOutWhileALineIsIncompleteReportsThenAnEmptyLine) {
    testsupport::ScriptedServer server;
    server.Send("220 par").AwaitClientClose();
    ConnectTo(server);
    socket_->SetTimeOut(1);
    std::string line;
    EXPECT_THROW(socket_->ReadLine(line), zn::ETimedOutError);
    EXPECT_EQ(events_, (Events{"OnError Operation timed out", "OnClosing", "OnClosed", "Received "}));
}

// A server that sends a reply one short line now and then, each within the
// time-out between lines: the reply ends at the low-speed limit (a plain
// reply), or at the deadline a logon sets (a listing over the control
// connection), not after hours.
TEST_F(SocketTest, DribbledRepliesEndAtTheLowSpeedLimitOrTheDeadline) {
    for (const bool listing : {false, true}) {
        SCOPED_TRACE(listing ? "listing by deadline" : "reply by low speed");
        testsupport::ScriptedServer server;
        server.Send("213-first\r\n");
        for (int i = 0; i < 10; ++i) server.Delay(250).Send(" line\r\n");
        server.AwaitClientClose();
        ConnectTo(server);
        socket_->SetTimeOut(5);
        if (listing) {
            socket_->SetReplyDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(1));
        } else {
            socket_->SetLowSpeedLimit(1024, 1);
        }
        const auto started = std::chrono::steady_clock::now();
        if (listing) {
            EXPECT_THROW(socket_->ReadDataReply([](const std::string&, std::int32_t) {}), zn::ETimedOutError);
        } else {
            EXPECT_THROW(socket_->ReadReply(), zn::ETimedOutError);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));
        EXPECT_FALSE(socket_->Connected());
        socket_->SetReplyDeadline(std::nullopt);
        socket_->SetLowSpeedLimit(zn::TznSocket::kLowSpeedBytes, zn::TznSocket::kLowSpeedSeconds);
    }
}

TEST_F(SocketTest, SendLineAddsCrLfAndNeedsAConnection) {
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->SendLine("NOOP"); }), "You have to connect to the server first");
    std::string line;
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ReadLine(line); }), "You have to connect to the server first");
    EXPECT_EQ(events_, (Events{"OnError You have to connect to the server first",
                               "OnError You have to connect to the server first"}));

    testsupport::ScriptedServer server;
    server.Receive(2).Reply("200 ok");
    ConnectTo(server);
    socket_->SendLine("NOOP");
    socket_->SendLine("USER name with spaces");
    EXPECT_EQ(socket_->ReadReply(), 200);
    EXPECT_EQ(server.Received(), (std::vector<std::string>{"NOOP", "USER name with spaces"}));
    EXPECT_EQ(events_, (Events{"Sent NOOP", "Sent USER name with spaces", "Received 200 ok"}));
}

TEST_F(SocketTest, ReplyCodeReadsTheFirstThreeCharacters) {
    EXPECT_EQ(socket_->ReplyCode("226 Done"), 226);
    EXPECT_EQ(socket_->ReplyCode("22"), 22);
    EXPECT_EQ(socket_->ReplyCode("abc"), -1);
    EXPECT_EQ(socket_->ReplyCode(""), -1);
}

// A listing carried by a reply: its lines, taken many at a time, cut at a
// NUL and at the line limit as ReadLine cuts them, and not a byte of the
// reply after it.
// Replies are read ahead in chunks. When the socket's notification of more
// data came while lines read earlier were still being served, the wait for
// the line after them must still learn of that data: it once slept until
// the time-out. Where the held lines run out differs with the count, so a
// range of counts is tried.
TEST_F(SocketTest, DataAnnouncedWhileEarlierRepliesAreServedIsRead) {
    for (int held = 60; held <= 68; ++held) {
        SCOPED_TRACE(held);
        std::string first, second;
        for (int i = 0; i < held; ++i) first += "200 first " + std::to_string(i) + "\r\n";
        for (int i = 0; i < 5; ++i) second += "200 second " + std::to_string(i) + "\r\n";
        testsupport::ScriptedServer server;
        server.Send(first).Receive().Send(second).AwaitClientClose();
        ConnectTo(server);
        EXPECT_EQ(socket_->ReadReply(), 200);
        socket_->SendLine("GO");
        socket_->ResetState();  // clears DataArrived: only the second batch's notification sets it
        ASSERT_TRUE(testsupport::WaitUntil([&] { return socket_->Notified().DataArrived; }, 5));
        for (int i = 1; i < held + 5; ++i) ASSERT_EQ(socket_->ReadReply(), 200) << i;
        EXPECT_EQ(socket_->LastReply(), "200 second 4");
        socket_->Close();
    }
}

TEST_F(SocketTest, DataReplyGivesItsLinesAndLeavesTheNextReply) {
    const std::string longName(3000, 'n');
    std::string reply = "213-Status follows:\r\n";
    for (int i = 0; i < 200; ++i) reply += "line " + std::to_string(i) + "\r\n";
    reply += std::string("cut\0here\r\n", 10) + longName + "\r\n213 End\r\n221 next\r\n";
    testsupport::ScriptedServer server;
    server.Send(reply).AwaitClientClose();
    ConnectTo(server);
    std::vector<std::string> lines;
    EXPECT_EQ(socket_->ReadDataReply([&](const std::string& line, std::int32_t code) {
        EXPECT_EQ(code, 213);
        lines.push_back(line);
    }),
              213);
    ASSERT_EQ(lines.size(), 202u);
    EXPECT_EQ(lines[0], "line 0");
    EXPECT_EQ(lines[199], "line 199");
    EXPECT_EQ(lines[200], "cut");
    EXPECT_EQ(lines[201], longName.substr(0, zn::TznSocket::kLineMax));
    EXPECT_EQ(socket_->LastReply(), "213 End");
    EXPECT_EQ(socket_->ReadReply(), 221);
}
