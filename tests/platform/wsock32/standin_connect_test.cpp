// SPDX-License-Identifier: MIT
#include "tests/platform/wsock32/standin_fixture.h"

#include "tests/support/cpu_time.h"

#include <QTimer>

#include <sys/socket.h>

using winsock::SOCKET;
using winsock::INVALID_SOCKET;
using winsock::SOCKET_ERROR;
using winsock::FD_READ;
using winsock::FD_WRITE;
using winsock::FD_CONNECT;
using winsock::FD_CLOSE;
using winsock::kInaddrNone;
using testsupport::LoopbackListener;

TEST_F(StandIn, ConnectIsAnnouncedOnceWithoutError) {
    LoopbackListener listener;
    int server = -1;
    ConnectedClient(listener, server);
    EXPECT_GE(server, 0);
    ASSERT_NE(Find(FD_CONNECT), nullptr);
    EXPECT_EQ(Find(FD_CONNECT)->error, 0);
    EXPECT_EQ(Find(FD_CONNECT)->msg, kSocketMsg);
    EXPECT_TRUE(WaitFor(FD_WRITE)) << "a connected socket is writable";
    testsupport::RunEventLoopFor(0.1);
    EXPECT_EQ(Count(FD_CONNECT), 1);
}

TEST_F(StandIn, RefusedConnectCarries10061) {
    SOCKET s = NewSocket();
    ASSERT_EQ(Ws().WSAAsyncSelect(s, window_, kSocketMsg, 0x33), 0);
    auto addr = Loopback(testsupport::ClosedPort());
    const int rc = Ws().connect(s, reinterpret_cast<winsock::sockaddr*>(&addr), sizeof addr);
    if (rc != 0) {
        EXPECT_EQ(Ws().WSAGetLastError(), 10035);
    }
    ASSERT_TRUE(WaitFor(FD_CONNECT));
    EXPECT_EQ(Find(FD_CONNECT)->error, 10061);
    EXPECT_EQ(Count(FD_WRITE), 0);
}

TEST_F(StandIn, ReadIsPostedOnceUntilRecv) {
    LoopbackListener listener;
    int server = -1;
    SOCKET s = ConnectedClient(listener, server);
    ASSERT_TRUE(testsupport::SendAll(server, "abc"));
    ASSERT_TRUE(WaitFor(FD_READ));
    testsupport::RunEventLoopFor(0.2);
    EXPECT_EQ(Count(FD_READ), 1) << "no new FD_READ before a recv";
    char c = 0;
    ASSERT_EQ(Ws().recv(s, &c, 1, 0), 1);
    EXPECT_EQ(c, 'a');
    EXPECT_TRUE(WaitFor(FD_READ, 2)) << "data is left after the recv";
}

TEST_F(StandIn, CloseComesOnlyAfterTheDataBeforeItWasRead) {
    LoopbackListener listener;
    int server = -1;
    SOCKET s = ConnectedClient(listener, server);
    ASSERT_TRUE(testsupport::SendAll(server, "xy"));
    ::shutdown(server, SHUT_WR);
    ASSERT_TRUE(WaitFor(FD_READ));
    testsupport::RunEventLoopFor(0.2);
    EXPECT_EQ(Count(FD_CLOSE), 0);
    char buf[4];
    EXPECT_EQ(Ws().recv(s, buf, 1, 0), 1);
    EXPECT_EQ(Ws().recv(s, buf, 1, 0), 1);
    ASSERT_TRUE(WaitFor(FD_CLOSE));
    EXPECT_EQ(Find(FD_CLOSE)->error, 0);
    EXPECT_EQ(Ws().recv(s, buf, 1, 0), 0);
    testsupport::RunEventLoopFor(0.1);
    EXPECT_EQ(Count(FD_CLOSE), 1);
}

TEST_F(StandIn, ResetGives10054) {
    LoopbackListener listener;
    int server = -1;
    ConnectedClient(listener, server);
    testsupport::CloseWithReset(server);
    serverFds_.clear();
    ASSERT_TRUE(WaitFor(FD_CLOSE));
    EXPECT_EQ(Find(FD_CLOSE)->error, 10054);
}

TEST_F(StandIn, ClosesocketStopsNotificationsAlreadyUnderWay) {
    LoopbackListener listener;
    int server = -1;
    SOCKET s = ConnectedClient(listener, server);
    ASSERT_TRUE(testsupport::SendAll(server, "data"));
    ::shutdown(server, SHUT_WR);
    testsupport::RunEventLoopFor(0.05);
    Ws().closesocket(s);
    sockets_.clear();
    const std::size_t before = notes_.size();
    testsupport::RunEventLoopFor(0.2);
    EXPECT_EQ(notes_.size(), before);
}

TEST_F(StandIn, WouldBlockArmsAWakeUpSoABlockedWaitReturnsWhenDataArrives) {
    LoopbackListener listener;
    int server = -1;
    SOCKET s = ConnectedClient(listener, server);
    ASSERT_EQ(Ws().WSAAsyncSelect(s, window_, kSocketMsg, FD_CLOSE), 0);  // no FD_READ to wake anyone
    char c = 0;
    ASSERT_EQ(Ws().recv(s, &c, 1, 0), SOCKET_ERROR);
    ASSERT_EQ(Ws().WSAGetLastError(), 10035);

    QTimer::singleShot(300, [server] { testsupport::SendAll(server, "z"); });
    const double cpuBefore = testsupport::ProcessCpuSeconds();
    int rounds = 0, n = SOCKET_ERROR;
    while (n == SOCKET_ERROR && rounds < 50) {
        platform::WaitForNextEvent();
        ++rounds;
        n = Ws().recv(s, &c, 1, 0);
    }
    EXPECT_EQ(n, 1);
    EXPECT_EQ(c, 'z');
    EXPECT_LT(rounds, 10) << "each round blocked until something happened";
    EXPECT_LT(testsupport::ProcessCpuSeconds() - cpuBefore, 0.1);
}

TEST_F(StandIn, AcceptWouldBlockThenAcceptsAndSendReachesThePeer) {
    SOCKET listener = NewSocket();
    auto addr = Loopback(0);
    ASSERT_EQ(Ws().bind(listener, reinterpret_cast<winsock::sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(Ws().listen(listener, 5), 0);
    ASSERT_EQ(Ws().WSAAsyncSelect(listener, window_, kSocketMsg, 0), 0);  // non-blocking, no events
    winsock::sockaddr_in bound{};
    int len = sizeof bound;
    ASSERT_EQ(Ws().getsockname(listener, reinterpret_cast<winsock::sockaddr*>(&bound), &len), 0);
    EXPECT_EQ(len, 16);
    EXPECT_EQ(Ws().accept(listener, nullptr, nullptr), INVALID_SOCKET);
    EXPECT_EQ(Ws().WSAGetLastError(), 10035);

    int peer = ::socket(AF_INET, SOCK_STREAM, 0);
    ::sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = bound.sin_port;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(peer, reinterpret_cast<::sockaddr*>(&to), sizeof to), 0);
    serverFds_.push_back(peer);

    SOCKET accepted = INVALID_SOCKET;
    testsupport::WaitUntil([&] { return (accepted = Ws().accept(listener, nullptr, nullptr)) != INVALID_SOCKET; }, 2);
    ASSERT_NE(accepted, INVALID_SOCKET);
    sockets_.push_back(accepted);
    EXPECT_EQ(Ws().send(accepted, "hello", 5, 0), 5);
    char buf[8] = {};
    EXPECT_EQ(::recv(peer, buf, sizeof buf, 0), 5);
    EXPECT_STREQ(buf, "hello");
}

// IPv6 through the library at both ends: addresses in the platform's
// layout (family 23, 28 bytes) both ways, none cut short taken or given.
TEST_F(StandIn, Ipv6ListensConnectsAndAcceptsOnTheLoopback) {
    SOCKET listener = Ws().socket(winsock::kAfInet6, winsock::kSockStream, 0);
    ASSERT_NE(listener, INVALID_SOCKET);
    sockets_.push_back(listener);
    winsock::sockaddr_in6 addr{};
    addr.sin6_family = winsock::kAfInet6;
    ASSERT_EQ(Ws().inet_pton(winsock::kAfInet6, "::1", addr.sin6_addr), 1);
    EXPECT_EQ(Ws().bind(listener, reinterpret_cast<winsock::sockaddr*>(&addr), 16), SOCKET_ERROR);
    EXPECT_EQ(Ws().WSAGetLastError(), 10014) << "an IPv6 address at IPv4's length";
    ASSERT_EQ(Ws().bind(listener, reinterpret_cast<winsock::sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(Ws().listen(listener, 5), 0);
    winsock::sockaddr_in6 bound{};
    int len = 16;
    EXPECT_EQ(Ws().getsockname(listener, reinterpret_cast<winsock::sockaddr*>(&bound), &len), SOCKET_ERROR);
    EXPECT_EQ(Ws().WSAGetLastError(), 10014);
    len = sizeof bound;
    ASSERT_EQ(Ws().getsockname(listener, reinterpret_cast<winsock::sockaddr*>(&bound), &len), 0);
    EXPECT_EQ(len, 28);
    EXPECT_EQ(bound.sin6_family, winsock::kAfInet6);

    SOCKET client = Ws().socket(winsock::kAfInet6, winsock::kSockStream, 0);
    sockets_.push_back(client);
    ASSERT_EQ(Ws().WSAAsyncSelect(client, window_, kSocketMsg, 0x33), 0);
    if (Ws().connect(client, reinterpret_cast<winsock::sockaddr*>(&bound), sizeof bound) != 0) {
        EXPECT_EQ(Ws().WSAGetLastError(), 10035);
    }
    ASSERT_TRUE(WaitFor(FD_CONNECT));
    EXPECT_EQ(Find(FD_CONNECT)->error, 0);

    winsock::sockaddr_in tooSmall{};
    len = sizeof tooSmall;
    EXPECT_EQ(Ws().accept(listener, reinterpret_cast<winsock::sockaddr*>(&tooSmall), &len), INVALID_SOCKET);
    EXPECT_EQ(Ws().WSAGetLastError(), 10014) << "refused before the connection is taken";
    winsock::sockaddr_in6 peer{};
    len = sizeof peer;
    SOCKET accepted = Ws().accept(listener, reinterpret_cast<winsock::sockaddr*>(&peer), &len);
    ASSERT_NE(accepted, INVALID_SOCKET);
    sockets_.push_back(accepted);
    EXPECT_EQ(len, 28);
    EXPECT_EQ(peer.sin6_family, winsock::kAfInet6);
    char text[winsock::kInet6AddrStrLen];
    EXPECT_STREQ(Ws().inet_ntop(winsock::kAfInet6, peer.sin6_addr, text, sizeof text), "::1");
    EXPECT_EQ(Ws().send(accepted, "v6", 2, 0), 2);
    ASSERT_TRUE(WaitFor(FD_READ));
    char buf[4] = {};
    EXPECT_EQ(Ws().recv(client, buf, sizeof buf, 0), 2);
    EXPECT_STREQ(buf, "v6");
}

TEST_F(StandIn, ErrorsAreTranslatedToSocketCodes) {
    char c;
    EXPECT_EQ(Ws().recv(12345, &c, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(Ws().WSAGetLastError(), 10038);
    SOCKET s = NewSocket();
    EXPECT_EQ(Ws().send(s, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(Ws().WSAGetLastError(), 10057);
    SOCKET other = NewSocket();
    auto addr = Loopback(0);
    ASSERT_EQ(Ws().bind(s, reinterpret_cast<winsock::sockaddr*>(&addr), sizeof addr), 0);
    winsock::sockaddr_in bound{};
    int len = sizeof bound;
    Ws().getsockname(s, reinterpret_cast<winsock::sockaddr*>(&bound), &len);
    EXPECT_EQ(Ws().bind(other, reinterpret_cast<winsock::sockaddr*>(&bound), sizeof bound), SOCKET_ERROR);
    EXPECT_EQ(Ws().WSAGetLastError(), 10048);
    EXPECT_EQ(Ws().socket(6, 1, 0), INVALID_SOCKET) << "IPX is no family of the library's";
    EXPECT_EQ(Ws().WSAGetLastError(), 10047);
}

TEST_F(StandIn, StartUpsAreCountedAndRequired) {
    // The fixture holds one start-up; a second one pairs with a clean-up.
    EXPECT_EQ(Ws().WSAStartup(0x0101, &data_), 0);
    EXPECT_EQ(data_.wVersion, 0x0101);
    EXPECT_EQ(Ws().WSACleanup(), 0);
    EXPECT_EQ(Ws().WSAStartup(0x0001, &data_), 10092) << "version 1.0 is not offered";
    EXPECT_FALSE(Ws().WSAIsBlocking());
    EXPECT_EQ(Ws().WSACleanup(), 0);
    EXPECT_EQ(Ws().socket(2, 1, 0), INVALID_SOCKET);
    EXPECT_EQ(Ws().WSAGetLastError(), 10093);
    EXPECT_EQ(Ws().WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(Ws().WSAGetLastError(), 10093);
    ASSERT_EQ(Ws().WSAStartup(0x0101, &data_), 0);  // for TearDown
}

TEST_F(StandIn, AddressHelpers) {
    EXPECT_EQ(Ws().inet_addr("127.0.0.1"), htonl(INADDR_LOOPBACK));
    EXPECT_EQ(Ws().inet_addr("10.1.2.3"), htonl(0x0A010203));
    EXPECT_EQ(Ws().inet_addr("ftp.example.org"), kInaddrNone);
    EXPECT_EQ(Ws().inet_addr("255.255.255.255"), kInaddrNone);
    EXPECT_EQ((Ws().htons)(21), htons(21));

    unsigned char bytes[16];
    char text[winsock::kInet6AddrStrLen];
    EXPECT_EQ(Ws().inet_pton(winsock::kAfInet6, "0:0::1", bytes), 1);
    EXPECT_STREQ(Ws().inet_ntop(winsock::kAfInet6, bytes, text, sizeof text), "::1");
    EXPECT_EQ(Ws().inet_ntop(winsock::kAfInet6, bytes, text, 3), nullptr);
    EXPECT_EQ(Ws().WSAGetLastError(), 10022) << "no room for the text";
    EXPECT_EQ(Ws().inet_pton(winsock::kAfInet, "127.1", bytes), 0) << "the strict dotted form only";
    EXPECT_EQ(Ws().inet_pton(winsock::kAfInet, "10.1.2.3", bytes), 1);
    EXPECT_STREQ(Ws().inet_ntop(winsock::kAfInet, bytes, text, sizeof text), "10.1.2.3");
    EXPECT_EQ(Ws().inet_pton(AF_INET6, "::1", bytes), -1) << "Linux's number for IPv6 is no family here";
    EXPECT_EQ(Ws().WSAGetLastError(), 10047);
}

// Data and the close arrive while the program processes its messages
// between two reads, not while it waits: the wait that follows must still
// end at once, not sleep until something else happens.
TEST_F(StandIn, ReadinessSeenBetweenWaitsStillEndsTheNextWait) {
    LoopbackListener listener;
    int server = -1;
    SOCKET s = ConnectedClient(listener, server);
    ASSERT_EQ(Ws().WSAAsyncSelect(s, window_, kSocketMsg, FD_CLOSE), 0);  // as a listing's data connection
    char c = 0;
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(Ws().recv(s, &c, 1, 0), SOCKET_ERROR) << round;  // arms the wake-up
        testsupport::SendAll(server, "z");
        ASSERT_TRUE(testsupport::WaitReadable(static_cast<int>(s), 2000)) << round;  // the handle is the descriptor
        platform::ProcessMessages();                                                 // the readiness is seen here
        bool late = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&late] { late = true; });
        guard.start(1000);
        platform::WaitForNextEvent();
        EXPECT_FALSE(late) << "round " << round << ": the wait slept with the data there";
        ASSERT_EQ(Ws().recv(s, &c, 1, 0), 1);
    }
}
