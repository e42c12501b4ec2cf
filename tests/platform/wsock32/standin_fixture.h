// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/winsock.h"
#include "platform/messages.h"
#include "tests/support/loopback.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <vector>

// The sockets library loaded as the program loads it, a window that records
// its notifications, and a start-up for the length of a test.
class StandIn : public ::testing::Test {
protected:
    static constexpr platform::UINT kSocketMsg = platform::WM_USER + 150;

    struct Note {
        platform::UINT msg;
        platform::WPARAM wParam;
        int event;
        int error;
    };

    void SetUp() override {
        if (!Ws().IsLoaded()) Ws().Load();
        ASSERT_EQ(Ws().WSAStartup(0x0101, &data_), 0);
        window_ = platform::CreateHiddenWindow([this](platform::UINT msg, platform::WPARAM w, platform::LPARAM l) {
            notes_.push_back({msg, w, zn::SelectEvent(l), zn::SelectError(l)});
            return platform::LRESULT{0};
        });
    }

    void TearDown() override {
        for (winsock::SOCKET s : sockets_) Ws().closesocket(s);
        for (int fd : serverFds_) ::close(fd);
        platform::DestroyWindow(window_);
        Ws().WSACleanup();
    }

    static zn::TznWinsock& Ws() { return zn::WinsockInstance; }

    winsock::sockaddr_in Loopback(std::uint16_t port) {
        winsock::sockaddr_in addr{};
        addr.sin_family = winsock::kAfInet;
        addr.sin_port = (Ws().htons)(port);
        addr.sin_addr = Ws().inet_addr("127.0.0.1");
        return addr;
    }

    winsock::SOCKET NewSocket() {
        winsock::SOCKET s = Ws().socket(winsock::kAfInet, winsock::kSockStream, 0);
        EXPECT_NE(s, winsock::INVALID_SOCKET);
        sockets_.push_back(s);
        return s;
    }

    int Count(int event) const {
        int n = 0;
        for (const Note& note : notes_) n += note.event == event;
        return n;
    }

    const Note* Find(int event) const {
        for (const Note& note : notes_) {
            if (note.event == event) return &note;
        }
        return nullptr;
    }

    bool WaitFor(int event, int count = 1, double seconds = 2) {
        return testsupport::WaitUntil([&] { return Count(event) >= count; }, seconds);
    }

    // A client connected to the listener with read, write, connect and close
    // notifications; `serverFd` is the server's end.
    winsock::SOCKET ConnectedClient(testsupport::LoopbackListener& listener, int& serverFd) {
        winsock::SOCKET s = NewSocket();
        EXPECT_EQ(Ws().WSAAsyncSelect(s, window_, kSocketMsg, 0x33), 0);
        auto addr = Loopback(listener.Port());
        if (Ws().connect(s, reinterpret_cast<winsock::sockaddr*>(&addr), sizeof addr) != 0) {
            EXPECT_EQ(Ws().WSAGetLastError(), 10035);
        }
        EXPECT_TRUE(WaitFor(winsock::FD_CONNECT));
        serverFd = listener.Accept(2);
        serverFds_.push_back(serverFd);
        return s;
    }

    winsock::WSADATA data_{};
    platform::HWND window_ = 0;
    std::vector<Note> notes_;
    std::vector<winsock::SOCKET> sockets_;
    std::vector<int> serverFds_;
};
