// SPDX-License-Identifier: MIT
// The socket component and the sockets library under slow and odd name
// lookups, resets, and event handlers that close, throw or destroy. This
// binary runs with the test resolver preloaded (tests/fakes/slow_resolver).

#include "tests/net/socket_fixture.h"

#include "platform/messages.h"
#include "tests/support/loopback.h"

#include <unistd.h>

#include <QProcess>
#include <QTimer>

#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

using zn::ECanceledError;
using zn::ESocketError;
using zn::ETimedOutError;

namespace {

// Runs `fn` after `ms` from the event loop; an exception it throws reaches
// the wait that processes it, as a handler's exception does.
void After(int ms, std::function<void()> fn) { QTimer::singleShot(ms, platform::Guarded(std::move(fn))); }

}  // namespace

TEST_F(SocketTest, ConnectCancelConnectWhileLookupsAreSlow) {
    // The cancelled service lookup is still running when the next attempt
    // starts a host lookup: a handle shared between the two kinds, or a
    // worker overwritten while it runs, ends the process here.
    socket_->SetServer("127.0.0.1");
    socket_->SetServiceName("slow800");
    socket_->ResetState();
    After(100, [this] { socket_->Cancel(); });
    EXPECT_THROW(socket_->Open(), ECanceledError);

    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    server.Start();
    socket_->SetServer("localhost:" + std::to_string(server.Port()));
    socket_->SetServiceName("ftp");
    socket_->ResetState();
    socket_->Open();
    socket_->ConnectSocket();
    EXPECT_TRUE(socket_->Connected());
    testsupport::RunEventLoopFor(1.0);  // the cancelled lookup's answer comes and must go nowhere
    EXPECT_FALSE(socket_->Notified().ServiceLookupDone);
    socket_->Close();
}

TEST_F(SocketTest, TimedOutServiceLookupIsCancelled) {
    socket_->SetTimeOut(1);
    socket_->SetServer("127.0.0.1");
    socket_->SetDefaultPort(testsupport::ClosedPort());
    socket_->SetServiceName("slow1500");
    socket_->ResetState();
    socket_->Open();
    EXPECT_EQ(MessageOf<ETimedOutError>([&] { socket_->ConnectSocket(); }), "Operation timed out");
    testsupport::RunEventLoopFor(1.0);
    EXPECT_FALSE(socket_->Notified().ServiceLookupDone) << "the late answer must not land in a later attempt";
}

TEST_F(SocketTest, HostWithManyAddressesConnectsToTheFirst) {
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    server.Start();
    socket_->SetServer("many.test:" + std::to_string(server.Port()));
    socket_->ResetState();
    socket_->Open();
    socket_->ConnectSocket();
    EXPECT_TRUE(socket_->Connected());
    socket_->Close();
}

// "both.test" gives ::1, then 127.0.0.1. The addresses are tried in that
// order, each connect ending before the next starts: with both listening
// the first takes the connection; with ::1 refusing, the second does, and
// the refusal is no error of the whole connect.
TEST_F(SocketTest, EachAddressOfTheServerIsTriedInTheResolversOrder) {
    // A port free on 127.0.0.1 may be taken on ::1 by a test running
    // beside this one: another port then.
    std::optional<testsupport::LoopbackListener> inet;
    std::uint16_t port = 0;
    int inet6 = -1;
    for (int tries = 0; tries < 20 && inet6 < 0; ++tries) {
        inet.emplace();
        port = inet->Port();
        inet6 = testsupport::ListenOnLoopback6(port);
    }
    ASSERT_GE(inet6, 0) << "::1 cannot listen on the port of 127.0.0.1";
    socket_->SetServer("both.test:" + std::to_string(port));
    socket_->ResetState();
    socket_->Open();
    EXPECT_TRUE(socket_->Notified().HostLookupDone);
    socket_->ConnectSocket();
    EXPECT_EQ(socket_->AddressFamily(), winsock::kAfInet6);
    EXPECT_EQ(socket_->PeerAddress(), "::1");
    EXPECT_EQ(socket_->LocalAddress(), "::1");
    EXPECT_EQ(socket_->HostAddress(), winsock::kInaddrNone) << "an IPv4-only data connection must reach nothing";
    socket_->Close();
    ::close(inet6);

    events_.clear();
    socket_->ResetState();
    socket_->Open();
    socket_->ConnectSocket();
    EXPECT_EQ(socket_->AddressFamily(), winsock::kAfInet);
    EXPECT_EQ(socket_->PeerAddress(), "127.0.0.1");
    EXPECT_EQ(events_, (Events{"OnOpen", "OnConnected"})) << "no error, and no close of the refused attempt";
    socket_->Close();

    // Refused everywhere: the last refusal is the one reported.
    socket_->SetServer("both.test:" + std::to_string(testsupport::ClosedPort()));
    socket_->ResetState();
    socket_->Open();
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ConnectSocket(); }), "[10061] Connection refused");
    EXPECT_FALSE(socket_->Connected());
}

TEST_F(SocketTest, ExceptionFromAHandlerDuringALookupRestoresTheComponent) {
    socket_->SetServer("700.slow.test:21");
    socket_->ResetState();
    After(100, [] { throw std::runtime_error("from a handler"); });
    EXPECT_THROW(socket_->Open(), std::runtime_error);
    EXPECT_FALSE(socket_->TimeCounter().Running());

    // With the binding gone and the component destroyed, a lookup left
    // pending would write its answer into freed memory.
    socket_->SetWinsockLoaded(false);
    delete socket_;
    socket_ = new TestSocket(&owner_);
    socket_->SetWinsockLoaded(true);
    testsupport::RunEventLoopFor(1.0);
}

TEST_F(SocketTest, PeerResetAfterPartOfALineEndsTheReadAtOnce) {
    testsupport::ScriptedServer server;
    server.Send("220 Rea").Delay(300).Reset();
    ConnectTo(server);
    socket_->SetTimeOut(2);
    std::string line = "stale";
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ReadLine(line); }), "[10054] Connection reset by peer");
    EXPECT_EQ(line, "") << "a failure while collecting leaves the line empty";
    EXPECT_FALSE(socket_->Connected());
}

TEST_F(SocketTest, CloseFromAHandlerEndsTheWaitAtOnce) {
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    ConnectTo(server);
    socket_->SetTimeOut(2);
    After(100, [this] { socket_->Close(); });
    std::string line;
    EXPECT_EQ(MessageOf<ESocketError>([&] { socket_->ReadLine(line); }), "You have to connect to the server first");
}

TEST_F(SocketTest, CancelBeforeTheSocketIsCreatedLeavesNoSocket) {
    socket_->SetServer("127.0.0.1:21");
    socket_->OnOpen = [this](zn::TObject*) { socket_->Cancel(); };
    socket_->ResetState();
    EXPECT_THROW(socket_->Open(), ECanceledError);
    EXPECT_FALSE(socket_->Connected());
}

// A Cancel that comes in the same turn as the time-out and an error
// notification is what every wait reports: the user asked for it, and the
// Close it made may be what caused the others.
TEST_F(SocketTest, CancelWinsOverATimeOutAndAnErrorInEveryWait) {
    struct Case {
        const char* name;
        std::function<void(testsupport::ScriptedServer&)> script;  // none: not connected
        std::function<void(TestSocket*)> run;
    };
    const auto readLine = [](TestSocket* s) {
        std::string line;
        s->ReadLine(line);
    };
    const Case cases[] = {
        {"the host lookup", nullptr,
         [](TestSocket* s) {
             s->SetServer("700.slow.test:21");
             s->ResetState();
             s->Open();
         }},
        {"the wait for a line", [](testsupport::ScriptedServer& server) { server.AwaitClientClose(); }, readLine},
        {"the rest of a line", [](testsupport::ScriptedServer& server) { server.Send("220 Rea").AwaitClientClose(); },
         readLine},
    };
    for (const Case& c : cases) {
        testsupport::ScriptedServer server;
        if (c.script) {
            c.script(server);
            ConnectTo(server);
        }
        After(100, [this] {
            socket_->TimeCounter().SetTimedOut(true);
            socket_->NoteAsyncError(winsock::WSAECONNRESET);
            socket_->Cancel();
        });
        EXPECT_EQ(MessageOf<zn::Exception>([&] { c.run(socket_); }), "Operation has been canceled") << c.name;
    }
}

TEST_F(SocketTest, ComponentDestroyedInItsOwnEventStops) {
    struct Case {
        const char* name;
        std::function<void(testsupport::ScriptedServer&)> script;
        std::function<void(TestSocket*)> arm;
        std::function<void(TestSocket*)> run;
    };
    const Case cases[] = {
        {"OnLineReceived in a multi-line reply",
         [](testsupport::ScriptedServer& server) { server.Send("220-a\r\n220-b\r\n220 c\r\n").AwaitClientClose(); },
         [](TestSocket* s) { s->OnLineReceived = [s](zn::TObject*, const std::string&) { delete s; }; },
         [](TestSocket* s) { s->ReadReply(); }},
        {"OnLineSent", [](testsupport::ScriptedServer& server) { server.AwaitClientClose(); },
         [](TestSocket* s) { s->OnLineSent = [s](zn::TObject*, const std::string&) { delete s; }; },
         [](TestSocket* s) { s->SendLine("NOOP"); }},
        {"OnError of a reset", [](testsupport::ScriptedServer& server) { server.Send("220 Rea").Delay(200).Reset(); },
         [](TestSocket* s) { s->OnError = [s](zn::TObject*, std::string&) { delete s; }; },
         [](TestSocket* s) {
             std::string line;
             s->ReadLine(line);
         }},
    };
    for (const Case& c : cases) {
        testsupport::ScriptedServer server;
        c.script(server);
        ConnectTo(server);
        TestSocket* doomed = std::exchange(socket_, new TestSocket(&owner_));
        socket_->SetWinsockLoaded(true);
        c.arm(doomed);
        EXPECT_ANY_THROW(c.run(doomed)) << c.name;
    }
}

TEST(LookupWorkers, ProcessEndsWithoutWaitingForACancelledLookup) {
    QProcess probe;
    probe.start(QString::fromStdString(LOOKUP_EXIT_PROBE), {"6000.slow.test:21"});
    ASSERT_TRUE(probe.waitForStarted(2000));
    const bool ended = probe.waitForFinished(3000);
    if (!ended) probe.kill(), probe.waitForFinished(2000);
    EXPECT_TRUE(ended) << "the process waited for the resolver";
    EXPECT_EQ(probe.exitCode(), 0) << "the cancel was not reported";
}
