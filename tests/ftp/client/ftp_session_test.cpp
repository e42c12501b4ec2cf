// SPDX-License-Identifier: MIT
#include "tests/ftp/client/ftp_fixture.h"

#include <algorithm>

using zn::EServerError;
using zn::ESocketError;
using testsupport::ScriptedServer;

TEST_F(FtpTest, DirectLogonSendsUserThenPassInOrder) {
    ScriptedServer server;
    Logon(server).AwaitClientClose();
    server.Start();
    ftp_->SetServer(server.Address());
    ftp_->Connect();
    EXPECT_EQ(events_, (Lines{"OnOpen", "OnConnected", "< 220 Ready", "> USER user", "< 331 Password please",
                              "> PASS secret", "< 230 Logged in"}));
    EXPECT_TRUE(ftp_->Connected());
    events_.clear();
    ftp_->Connect();
    EXPECT_TRUE(events_.empty()) << "a second Connect sends nothing";
}

TEST_F(FtpTest, GreetingOtherThan220IsRefused) {
    ScriptedServer server;
    server.Reply("120 Try again in 5 minutes").AwaitClientClose();
    server.Start();
    ftp_->SetServer(server.Address());
    EXPECT_EQ(MessageOf<EServerError>([&] { ftp_->Connect(); }), "120 Try again in 5 minutes");
    EXPECT_TRUE(ftp_->Connected()) << "the connection stays open";
}

TEST_F(FtpTest, UserRepliesDecideWhetherPassIsSent) {
    struct Case {
        const char* userReply;
        const char* passReply;
        const char* error;  // nullptr: logon succeeds
        Lines sent;
    };
    const Case cases[] = {
        {"230 No password needed", "202 Superfluous", nullptr, {"USER user", "PASS secret"}},
        {"332 Need account", "530 Not logged in", "530 Not logged in", {"USER user", "PASS secret"}},
        {"530 Go away", nullptr, "530 Go away", {"USER user"}},
        {"331 Password", "230 Fine", nullptr, {"USER user", "PASS secret"}},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        server.Reply("220 Ready").Receive().Reply(c.userReply);
        if (c.passReply) server.Receive().Reply(c.passReply);
        server.AwaitClientClose();
        server.Start();
        ftp_->SetServer(server.Address());
        std::string error = MessageOf<EServerError>([&] { ftp_->Connect(); });
        EXPECT_EQ(error, c.error ? c.error : "<nothing raised>") << c.userReply;
        EXPECT_EQ(server.Received(), c.sent) << c.userReply;
        EXPECT_TRUE(ftp_->Connected());
        ftp_->Close();
    }
}

TEST_F(FtpTest, ProxyWithUserAtHostLogon) {
    ScriptedServer proxy;
    Logon(proxy).AwaitClientClose();
    proxy.Start();
    ftp_->SetServer("ftp.example.org:2121");
    ftp_->SetProxy(proxy.Address());
    ftp_->SetUseProxy(true);
    ftp_->Connect();
    EXPECT_EQ(proxy.Received(), (Lines{"USER user@ftp.example.org:2121", "PASS secret"}));
    EXPECT_EQ(ftp_->Server(), "ftp.example.org:2121");
}

TEST_F(FtpTest, ProxyWithOpenLogon) {
    ScriptedServer proxy;
    proxy.Reply("220 Proxy ready").Receive().Reply("220 Connected to server");
    proxy.Receive().Reply("331 Password please").Receive().Reply("230 Logged in").AwaitClientClose();
    proxy.Start();
    ftp_->SetServer("ftp.example.org:2121");
    ftp_->SetProxy(proxy.Address());
    ftp_->SetUseProxy(true);
    ftp_->SetProxyType(zn::fpProxyOpen);
    ftp_->Connect();
    EXPECT_EQ(proxy.Received(), (Lines{"OPEN ftp.example.org:2121", "USER user", "PASS secret"}));
}

TEST_F(FtpTest, ServerIsRestoredAfterAFailedProxyConnect) {
    ScriptedServer proxy;
    proxy.Reply("421 Proxy busy").AwaitClientClose();
    proxy.Start();
    ftp_->SetServer("ftp.example.org");
    ftp_->SetProxy(proxy.Address());
    ftp_->SetUseProxy(true);
    EXPECT_EQ(MessageOf<EServerError>([&] { ftp_->Connect(); }), "421 Proxy busy");
    EXPECT_EQ(ftp_->Server(), "ftp.example.org");
}

TEST_F(FtpTest, EmptyServerOrProxyIsRefusedBeforeAnythingElse) {
    EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->Connect(); }), "Server property is required");
    EXPECT_EQ(events_, Lines{"OnError Server property is required"});
    ftp_->SetServer("ftp.example.org");
    ftp_->SetUseProxy(true);
    EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->Connect(); }), "Server property is required");
    EXPECT_EQ(ftp_->Server(), "ftp.example.org");
}

TEST_F(FtpTest, ProxySetterNeedsAPort) {
    ftp_->SetProxy("proxy.example.org:8021");
    EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->SetProxy("proxy.example.org"); }), "Proxy port is required");
    EXPECT_EQ(ftp_->Proxy(), "proxy.example.org:8021");
    ftp_->SetProxy("");
    EXPECT_EQ(ftp_->Proxy(), "");
}

TEST_F(FtpTest, ChangeDirSendsTheNameUnchangedAndChecksTheClass) {
    ScriptedServer server;
    Logon(server)
        .Receive()
        .Reply("250 OK")
        .Receive()
        .Reply("250 OK")
        .Receive()
        .Reply("200 OK")
        .Receive()
        .Reply("550-No parent here")
        .Reply("550 Permission denied")
        .Receive(2)
        .Reply("250 Up")
        .Reply("550 Not there")
        .Receive(2)
        .Reply("550 No parent")
        .Reply("250 In")
        .Receive()
        .Reply("257 \"/\"")
        .AwaitClientClose();
    ConnectTo(server);
    ftp_->ChangeDir(" my dir ");
    ftp_->ChangeDirUp();
    ftp_->ChangeDirUp();
    EXPECT_EQ(MessageOf<EServerError>([&] { ftp_->ChangeDirUp(); }), "550 Permission denied");
    // Up and into the next directory at once: a refused CWD is the
    // caller's to report; a refused CDUP raises with its own reply, and the
    // other reply is read, so the next command gets its own.
    EXPECT_FALSE(ftp_->ChangeDirUpAndInto("b"));
    EXPECT_EQ(ftp_->LastReply(), "550 Not there");
    EXPECT_EQ(MessageOf<EServerError>([&] { ftp_->ChangeDirUpAndInto("c"); }), "550 No parent");
    EXPECT_EQ(ftp_->PrintWorkingDir(), "/");
    EXPECT_EQ(server.Received(), (Lines{"USER user", "PASS secret", "CWD  my dir ", "CDUP", "CDUP", "CDUP", "CDUP",
                                        "CWD b", "CDUP", "CWD c", "PWD"}));
}

TEST_F(FtpTest, DisconnectSendsQuitAndClosesOnlyWhenAccepted) {
    ScriptedServer server;
    Logon(server).Receive().Reply("500 Not now").Receive().Reply("221 Bye").AwaitClientClose();
    ConnectTo(server);
    EXPECT_EQ(MessageOf<EServerError>([&] { ftp_->Disconnect(); }), "500 Not now");
    EXPECT_TRUE(ftp_->Connected());
    events_.clear();
    ftp_->Disconnect();
    EXPECT_EQ(events_, (Lines{"> QUIT", "< 221 Bye", "OnClosing", "OnClosed"}));
    EXPECT_FALSE(ftp_->Connected());
    events_.clear();
    ftp_->Disconnect();
    EXPECT_TRUE(events_.empty());
}

TEST_F(FtpTest, CommandsWithoutAConnectionSendNothing) {
    EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->ChangeDir("x"); }), "You have to connect to the server first");
    EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->ChangeDirUp(); }), "You have to connect to the server first");
    EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->List(); }), "You have to connect to the server first");
}

TEST_F(FtpTest, ServerTypeLivesInTheDirList) {
    EXPECT_EQ(ftp_->ServerType(), zn::stAuto);
    ftp_->SetServerType(zn::stDos);
    EXPECT_EQ(ftp_->DirList().ServerType, zn::stDos);
    EXPECT_EQ(ftp_->DefaultPort(), 21);
    EXPECT_EQ(ftp_->TrasferBufferSize(), 2048u);
    EXPECT_EQ(ftp_->TransferType(), zn::ftBinary);
    EXPECT_FALSE(ftp_->UseProxy());
}

// Bytes the user or a program typed must never become commands of their own,
// and a server must not keep the client reading for ever.
TEST_F(FtpTest, HostileArgumentsAndEndlessRepliesAreRefused) {
    {
        ScriptedServer server;
        Logon(server).AwaitClientClose();
        ConnectTo(server);
        for (const std::string& dir : Lines{"x\r\nDELE important", std::string("x\0DELE y", 8), "x\nDELE y", "x\r"}) {
            EXPECT_NE(MessageOf<ESocketError>([&] { ftp_->ChangeDir(dir); }).find("The argument of CWD contains a "),
                      std::string::npos);
        }
        EXPECT_TRUE(ftp_->Connected());
        ftp_->Close();
        ASSERT_TRUE(server.Finished(5));
        EXPECT_EQ(server.Received(), (Lines{"USER user", "PASS secret"})) << "nothing of the bad lines was sent";
        EXPECT_EQ(std::count_if(events_.begin(), events_.end(), [](const std::string& e) { return e[0] == '>'; }), 0);
    }
    {
        ScriptedServer server;
        server.Reply("220 Ready").Receive().Reply("331 Password please").AwaitClientClose();
        server.Start();
        ftp_->SetServer(server.Address());
        ftp_->SetPassword("secret\r\nSITE EXEC rm");
        EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->Connect(); }),
                  "The argument of PASS contains a line break; nothing was sent")
            << "the message never shows the password";
        ftp_->Close();
        ASSERT_TRUE(server.Finished(5));
        EXPECT_EQ(server.Received(), Lines{"USER user"});
    }
    {
        std::string endless;
        for (int i = 0; i < 12000; ++i) endless += "220-Welcome, line " + std::to_string(i) + "\r\n";
        ScriptedServer server;
        server.Send(endless).AwaitClientClose();
        server.Start();
        ftp_->SetServer(server.Address());
        EXPECT_NE(MessageOf<ESocketError>([&] { ftp_->Connect(); }).find("The server's reply does not end"),
                  std::string::npos);
        EXPECT_FALSE(ftp_->Connected());
        EXPECT_TRUE(server.Finished(5));
    }
    {
        // One line without end: every byte would restart the time-out.
        ScriptedServer server;
        server.Send("220-" + std::string(std::size_t{3} * 1024 * 1024, 'x'))
            .Send("\r\n220 Ready\r\n")
            .AwaitClientClose();
        server.Start();
        ftp_->SetServer(server.Address());
        EXPECT_EQ(MessageOf<ESocketError>([&] { ftp_->Connect(); }),
                  "The server sent a line that does not end (more than 1 MiB); the connection was closed");
        EXPECT_FALSE(ftp_->Connected());
        EXPECT_TRUE(server.Finished(5));
    }
}

// A server that ends the session says why and closes ("421 Timeout." after
// its idle time); the next commands meet a reset, which must not hide the
// reply the server gave.
TEST_F(FtpTest, SessionEndedByTheServerShowsItsReplyNotTheReset) {
    ScriptedServer server;
    Logon(server).Send("421 Timeout.\r\n").Close();
    ConnectTo(server);
    ASSERT_TRUE(server.Finished(5));
    const std::string message = MessageOf<ESocketError>([&] {
        for (int i = 0; i < 100; ++i) ftp_->SendLine("STAT /d" + std::to_string(i));
    });
    EXPECT_EQ(message, "421 Timeout.");
    EXPECT_FALSE(ftp_->Connected());
}
