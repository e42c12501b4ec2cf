// SPDX-License-Identifier: MIT
#include "tests/platform/wsock32/standin_fixture.h"

#include <cstring>

using winsock::HANDLE;
using winsock::MAXGETHOSTSTRUCT;
using winsock::SOCKET_ERROR;

namespace {
constexpr platform::UINT kHostMsg = platform::WM_USER + 148;
constexpr platform::UINT kServMsg = platform::WM_USER + 149;
}  // namespace

TEST_F(StandIn, HostLookupOfLocalhostFillsTheCallersBuffer) {
    alignas(8) char buffer[MAXGETHOSTSTRUCT];
    HANDLE request = Ws().WSAAsyncGetHostByName(window_, kHostMsg, "localhost", buffer, sizeof buffer);
    ASSERT_NE(request, 0u);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !notes_.empty(); }, 5));
    EXPECT_EQ(notes_[0].msg, kHostMsg);
    EXPECT_EQ(notes_[0].wParam, request);
    EXPECT_EQ(notes_[0].error, 0);
    auto* host = reinterpret_cast<winsock::hostent*>(buffer);
    ASSERT_NE(host->h_addr_list[0], nullptr);
    EXPECT_EQ(host->h_length, 4);
    const auto* bytes = reinterpret_cast<unsigned char*>(host->h_addr_list[0]);
    EXPECT_EQ(bytes[0], 127);
    EXPECT_GE(host->h_addr_list[0], buffer);
    EXPECT_LT(host->h_addr_list[0], buffer + sizeof buffer);
}

TEST_F(StandIn, UnknownHostGives11001) {
    alignas(8) char buffer[MAXGETHOSTSTRUCT];
    ASSERT_NE(Ws().WSAAsyncGetHostByName(window_, kHostMsg, "no-such-host.invalid", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !notes_.empty(); }, 10));
    EXPECT_EQ(notes_[0].error, 11001);
}

TEST_F(StandIn, CancelledLookupPostsNothingAndWritesNothing) {
    alignas(8) char buffer[MAXGETHOSTSTRUCT];
    std::memset(buffer, 0x5A, sizeof buffer);
    HANDLE request = Ws().WSAAsyncGetHostByName(window_, kHostMsg, "localhost", buffer, sizeof buffer);
    ASSERT_NE(request, 0u);
    EXPECT_EQ(Ws().WSACancelAsyncRequest(request), 0);
    testsupport::RunEventLoopFor(0.3);
    EXPECT_TRUE(notes_.empty());
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_EQ(Ws().WSACancelAsyncRequest(request), SOCKET_ERROR) << "nothing left to cancel";
}

TEST_F(StandIn, ServiceLookupGivesThePortInNetworkOrder) {
    alignas(8) char buffer[MAXGETHOSTSTRUCT];
    ASSERT_NE(Ws().WSAAsyncGetServByName(window_, kServMsg, "ftp", "tcp", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !notes_.empty(); }, 5));
    EXPECT_EQ(notes_[0].error, 0);
    auto* service = reinterpret_cast<winsock::servent*>(buffer);
    EXPECT_EQ(static_cast<std::uint16_t>(service->s_port), (Ws().htons)(21));
    EXPECT_STREQ(service->s_proto, "tcp");

    notes_.clear();
    ASSERT_NE(Ws().WSAAsyncGetServByName(window_, kServMsg, "no-such-service", "tcp", buffer, sizeof buffer), 0u);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !notes_.empty(); }, 5));
    EXPECT_NE(notes_[0].error, 0);
}

TEST_F(StandIn, TooSmallABufferIsReportedNotOverrun) {
    alignas(8) char buffer[64];
    std::memset(buffer, 0, sizeof buffer);
    alignas(8) char guard[16];
    std::memset(guard, 0x77, sizeof guard);
    ASSERT_NE(Ws().WSAAsyncGetHostByName(window_, kHostMsg, "localhost", buffer, 8), 0u);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !notes_.empty(); }, 5));
    EXPECT_EQ(notes_[0].error, 10055);
    EXPECT_EQ(guard[0], 0x77);
}

// getaddrinfo without blocking: the chain laid out in the caller's buffer,
// each address in the platform's layout with the service's port.
TEST_F(StandIn, AddressLookupLaysItsChainOutInTheCallersBuffer) {
    alignas(8) char buffer[MAXGETHOSTSTRUCT];
    winsock::addrinfo hints{};
    hints.ai_socktype = winsock::kSockStream;
    HANDLE request = Ws().WSAAsyncGetAddrInfo(window_, kHostMsg, "::1", "2121", &hints, buffer, sizeof buffer);
    ASSERT_NE(request, 0u);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !notes_.empty(); }, 5));
    EXPECT_EQ(notes_[0].wParam, request);
    EXPECT_EQ(notes_[0].error, 0);
    const auto* first = reinterpret_cast<const winsock::addrinfo*>(buffer);
    EXPECT_EQ(first->ai_family, winsock::kAfInet6);
    ASSERT_EQ(first->ai_addrlen, 28u);
    EXPECT_EQ(first->ai_next, nullptr);
    EXPECT_GE(reinterpret_cast<char*>(first->ai_addr), buffer);
    EXPECT_LE(reinterpret_cast<char*>(first->ai_addr) + 28, buffer + notes_[0].event) << "within the bytes used";
    const auto* address = reinterpret_cast<const winsock::sockaddr_in6*>(first->ai_addr);
    EXPECT_EQ(address->sin6_family, winsock::kAfInet6);
    EXPECT_EQ(address->sin6_port, (Ws().htons)(2121));

    // The blocking form, freed whole; its errors are returned.
    winsock::addrinfo* list = nullptr;
    ASSERT_EQ(Ws().getaddrinfo("localhost", nullptr, &hints, &list), 0);
    bool inet = false;
    for (const winsock::addrinfo* ai = list; ai; ai = ai->ai_next) {
        EXPECT_TRUE(ai->ai_family == winsock::kAfInet || ai->ai_family == winsock::kAfInet6) << ai->ai_family;
        inet = inet || (ai->ai_family == winsock::kAfInet && ai->ai_addrlen == 16u);
    }
    EXPECT_TRUE(inet) << "localhost has its IPv4 address";
    Ws().freeaddrinfo(list);
    EXPECT_EQ(Ws().getaddrinfo("no-such-host.invalid", nullptr, &hints, &list), 11001);
    EXPECT_EQ(list, nullptr);
}
