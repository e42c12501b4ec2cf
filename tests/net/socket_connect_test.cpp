// SPDX-License-Identifier: MIT
#include "tests/net/socket_fixture.h"

#include "net/core/winsock.h"
#include "tests/support/cpu_time.h"
#include "tests/support/loopback.h"

#include <QTimer>

#include <chrono>

using zn::ECanceledError;
using zn::ESocketError;
using zn::ETimedOutError;
using Clock = std::chrono::steady_clock;

TEST_F(SocketTest, OpenAndConnectFireOpenThenConnected) {
    testsupport::ScriptedServer server;
    server.Start();
    socket_->SetServer(server.Address());
    socket_->ResetState();
    socket_->Open();
    EXPECT_EQ(events_, Events{"OnOpen"});
    EXPECT_TRUE(socket_->Connected()) << "a created socket counts as connected";
    EXPECT_FALSE(socket_->Notified().HostLookupDone) << "a dotted address needs no host lookup";
    EXPECT_FALSE(socket_->Notified().ServiceLookupDone) << "the port came with the server";
    EXPECT_EQ(socket_->Port(), server.Port());
    socket_->ConnectSocket();
    EXPECT_EQ(events_, (Events{"OnOpen", "OnConnected"}));
    socket_->Close();
    EXPECT_EQ(events_, (Events{"OnOpen", "OnConnected", "OnClosing", "OnClosed"}));
    EXPECT_FALSE(socket_->Connected());
    socket_->Close();
    EXPECT_EQ(events_.size(), 4u) << "closing without a socket fires nothing";
}

TEST_F(SocketTest, HostNameIsLookedUpAndZeroOrLettersAsPortFallBackToTheServiceLookup) {
    for (const char* suffix : {":0", ":abc"}) {
        testsupport::ScriptedServer server;
        server.Start();
        socket_->SetServiceName("no-such-service");
        socket_->SetDefaultPort(server.Port());
        socket_->SetServer(std::string("localhost") + suffix);
        socket_->ResetState();
        socket_->Open();
        EXPECT_TRUE(socket_->Notified().HostLookupDone) << suffix;
        EXPECT_TRUE(socket_->Notified().ServiceLookupDone) << suffix;
        EXPECT_EQ(socket_->Port(), server.Port()) << "the failed lookup falls back to DefaultPort";
        socket_->ConnectSocket();
        socket_->Close();
    }
}

TEST_F(SocketTest, ServiceLookupGivesTheServicesPort) {
    socket_->SetServer("127.0.0.1");
    socket_->SetDefaultPort(1);
    socket_->ResetState();
    socket_->Open();
    EXPECT_EQ(socket_->Port(), 21);
    socket_->Close();
}

TEST_F(SocketTest, UnknownHostIsReported) {
    socket_->SetServer("no-such-host.invalid:21");
    socket_->ResetState();
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->Open(); }), "[11001] Host not found");
    EXPECT_EQ(events_, (Events{"OnOpen", "OnError [11001] Host not found"}));
}

TEST_F(SocketTest, EmptyServerAndOverlongNamesAreRefused) {
    socket_->ResetState();
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->Open(); }), "Server property is required");
    socket_->SetServer(std::string(128, 'h') + ":21");
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->Open(); }), "Host name is longer than 127 characters");
    socket_->SetServer("127.0.0.1");
    socket_->SetServiceName(std::string(64, 's'));
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->Open(); }), "Service name is longer than 63 characters");
    socket_->SetServiceName("");
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->Open(); }), "Service name is required");
}

TEST_F(SocketTest, RefusedConnectionIsReportedAtOnce) {
    socket_->SetTimeOut(5);
    socket_->SetServer("127.0.0.1:" + std::to_string(testsupport::ClosedPort()));
    socket_->ResetState();
    socket_->Open();
    const auto start = Clock::now();
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ConnectSocket(); }), "[10061] Connection refused");
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
    EXPECT_EQ(events_, (Events{"OnOpen", "OnError [10061] Connection refused", "OnClosing", "OnClosed"}));
    EXPECT_FALSE(socket_->Connected());
}

TEST_F(SocketTest, CancelDuringTheHostLookupCancelsTheRequest) {
    socket_->SetServer("localhost:21");
    socket_->ResetState();
    // Runs at the lookup wait's first round, before the answer can arrive.
    platform::PostCallback([this] { socket_->Cancel(); });
    EXPECT_EQ(MessageOf<ECanceledError>([&] { socket_->Open(); }), "Operation has been canceled");
    EXPECT_EQ(events_, (Events{"OnOpen", "OnCancel", "OnError Operation has been canceled"}));
    testsupport::RunEventLoopFor(0.2);
    EXPECT_FALSE(socket_->Notified().HostLookupDone) << "the cancelled lookup never answered";
}

TEST_F(SocketTest, CancelOnAnIdleConnectedComponentClosesAndStaysCancelled) {
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    ConnectTo(server);
    socket_->Cancel();
    EXPECT_EQ(events_, (Events{"OnCancel", "OnClosing", "OnClosed"}));
    EXPECT_FALSE(socket_->Connected());
    EXPECT_TRUE(socket_->Canceled());
    EXPECT_THROW(socket_->ConnectSocket(), ECanceledError);
    EXPECT_TRUE(server.Finished(3));
    EXPECT_TRUE(server.Problems().empty());
}

TEST_F(SocketTest, TimeOutClosesTheSocket) {
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    ConnectTo(server);
    socket_->SetTimeOut(1);
    std::string line = "untouched";
    const auto start = Clock::now();
    EXPECT_EQ(MessageOf<ETimedOutError>([&] { socket_->ReadLine(line); }), "Operation timed out");
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(elapsed, 0.8);
    EXPECT_LT(elapsed, 2.5);
    EXPECT_EQ(events_, (Events{"OnError Operation timed out", "OnClosing", "OnClosed"}));
    EXPECT_EQ(line, "untouched");
    EXPECT_FALSE(socket_->Connected());
}

TEST_F(SocketTest, ResetWhileWaitingIsReportedAndCloses) {
    testsupport::ScriptedServer server;
    server.Delay(100).Reset();
    ConnectTo(server);
    std::string line;
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ReadLine(line); }), "[10054] Connection reset by peer");
    EXPECT_EQ(events_, (Events{"OnError [10054] Connection reset by peer", "OnClosing", "OnClosed"}));
    EXPECT_FALSE(socket_->Connected());
}

TEST_F(SocketTest, CancelDuringAWaitEndsItAndUsesNoProcessor) {
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    ConnectTo(server);
    socket_->SetTimeOut(10);
    QTimer::singleShot(2000, [this] { socket_->Cancel(); });
    const double cpuBefore = testsupport::ProcessCpuSeconds();
    EXPECT_THROW(socket_->ReadReply(), ECanceledError);
    const double cpu = testsupport::ProcessCpuSeconds() - cpuBefore;
    EXPECT_EQ(events_, (Events{"OnCancel", "OnClosing", "OnClosed", "OnError Operation has been canceled"}));
    EXPECT_LT(cpu, 0.2);
}

TEST_F(SocketTest, OnErrorMayReplaceTheSocketErrorTextOnly) {
    socket_->OnError = [](zn::TObject*, std::string& msg) { msg = "replaced: " + msg; };
    socket_->ResetState();
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->Open(); }), "replaced: Server property is required");

    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    ConnectTo(server);
    socket_->SetTimeOut(0);
    std::string line;
    EXPECT_EQ(MessageOf<ETimedOutError>([&] { socket_->ReadLine(line); }), "Operation timed out");

    socket_->ResetState();
    socket_->Cancel();
    EXPECT_EQ(MessageOf<ECanceledError>([&] { socket_->ConnectSocket(); }), "Operation has been canceled");
}

TEST_F(SocketTest, EachOpenIsMatchedByOneCleanupAtDestruction) {
    auto& ws = zn::WinsockInstance;
    winsock::WSADATA data{};
    ASSERT_EQ(ws.WSAStartup(0x0101, &data), 0);  // our own, outlives the socket
    auto* socket = new TestSocket(&owner_);
    socket->SetWinsockLoaded(true);
    socket->SetServer("127.0.0.1:21");
    for (int i = 0; i < 3; ++i) {
        socket->ResetState();
        socket->Open();
        socket->Close();
    }
    delete socket;
    EXPECT_EQ(ws.WSACleanup(), 0) << "our start-up is still counted";
    EXPECT_EQ(ws.WSACleanup(), winsock::SOCKET_ERROR) << "and it was the last";
}

TEST_F(SocketTest, LinkedDialUpComponentIsForgottenWhenDestroyed) {
    auto* ras = new zn::TznRas(&owner_);
    socket_->SetRAS(ras);
    testsupport::ScriptedServer server;
    ConnectTo(server);  // dials nothing: there is no dial-up library here
    EXPECT_TRUE(socket_->Connected());
    socket_->Close();
    delete ras;
    EXPECT_EQ(socket_->RAS(), nullptr);
}

TEST_F(SocketTest, NotificationWithoutErrorClearsAnEarlierError) {
    testsupport::ScriptedServer server;
    server.Delay(50).Reply("220 Ready").AwaitClientClose();
    ConnectTo(server);
    socket_->NoteAsyncError(winsock::WSAECONNRESET);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !socket_->AsyncError(); }, 2));
    std::string line;
    EXPECT_EQ(socket_->ReadLine(line), 220);
    EXPECT_FALSE(socket_->AsyncError());
}
