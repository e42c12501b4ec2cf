// SPDX-License-Identifier: MIT
#pragma once

#include "dialup/ras.h"
#include "net/core/errors.h"
#include "net/socket.h"
#include "tests/fakes/scripted_server.h"
#include "tests/support/errors.h"
#include "tests/support/wait.h"

using testsupport::MessageOf;

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A socket component with its protected parts in reach of the tests.
class TestSocket : public zn::TznSocket {
public:
    using zn::TznSocket::TznSocket;
    using zn::TznSocket::AsyncError;
    using zn::TznSocket::Canceled;
    using zn::TznSocket::HostAddress;
    using zn::TznSocket::NoteAsyncError;
    using zn::TznSocket::Notified;
    using zn::TznSocket::OnCancel;
    using zn::TznSocket::OnClosed;
    using zn::TznSocket::OnClosing;
    using zn::TznSocket::OnConnected;
    using zn::TznSocket::OnError;
    using zn::TznSocket::OnLineReceived;
    using zn::TznSocket::OnLineSent;
    using zn::TznSocket::OnOpen;
    using zn::TznSocket::Port;
    using zn::TznSocket::ResetState;
    using zn::TznSocket::SetServiceName;
    using zn::TznSocket::SetDefaultPort;
    using zn::TznSocket::SetServer;
    using zn::TznSocket::SetTimeOut;
    using zn::TznSocket::TimeCounter;
};

class SocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        socket_ = new TestSocket(&owner_);
        socket_->SetWinsockLoaded(true);
        socket_->SetTimeOut(2);
        socket_->SetServiceName("ftp");
        socket_->OnOpen = [this](zn::TObject*) { events_.push_back("OnOpen"); };
        socket_->OnConnected = [this](zn::TObject*) { events_.push_back("OnConnected"); };
        socket_->OnClosing = [this](zn::TObject*) { events_.push_back("OnClosing"); };
        socket_->OnClosed = [this](zn::TObject*) { events_.push_back("OnClosed"); };
        socket_->OnCancel = [this](zn::TObject*) { events_.push_back("OnCancel"); };
        socket_->OnError = [this](zn::TObject*, std::string& msg) { events_.push_back("OnError " + msg); };
        socket_->OnLineReceived = [this](zn::TObject*, const std::string& line) {
            events_.push_back("Received " + line);
        };
        socket_->OnLineSent = [this](zn::TObject*, const std::string& line) { events_.push_back("Sent " + line); };
    }

    void TearDown() override {
        if (socket_->Connected()) socket_->Close();
    }

    // Opens and connects to the scripted server, starting its script.
    void ConnectTo(testsupport::ScriptedServer& server) {
        server.Start();
        socket_->SetServer(server.Address());
        socket_->ResetState();
        socket_->Open();
        socket_->ConnectSocket();
        events_.clear();
    }

    platform::TComponent owner_{nullptr};
    TestSocket* socket_ = nullptr;
    std::vector<std::string> events_;
};

using Events = std::vector<std::string>;
