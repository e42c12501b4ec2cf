// SPDX-License-Identifier: MIT
// A socket linked to a real dial-up component over the test library.

#include "tests/dialup/ras_fixture.h"

#include "net/socket.h"
#include "tests/fakes/scripted_server.h"

namespace {

class LinkedSocket : public zn::TznSocket {
public:
    using zn::TznSocket::TznSocket;
    using zn::TznSocket::OnClosed;
    using zn::TznSocket::OnOpen;
    using zn::TznSocket::ResetState;
    using zn::TznSocket::SetServer;
    using zn::TznSocket::StartupCount;
};

}  // namespace

class RasLinkTest : public RasTest {
protected:
    void SetUp() override {
        RasTest::SetUp();
        AddEntry("Office");
        socket_ = new LinkedSocket(&owner_);
        socket_->SetWinsockLoaded(true);
        socket_->OnOpen = [this](zn::TObject*) { events_.push_back("OnOpen"); };
        socket_->OnClosed = [this](zn::TObject*) { events_.push_back("OnClosed"); };
        Ras().SetService("Office");
        socket_->SetRAS(&Ras());
    }
    LinkedSocket* socket_ = nullptr;
};

TEST_F(RasLinkTest, DialComesBeforeOpenAndCloseHangsUpTheDialledLine) {
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    server.Start();
    socket_->SetServer(server.Address());
    socket_->ResetState();
    socket_->Open();
    socket_->ConnectSocket();
    ASSERT_GE(events_.size(), 2u);
    EXPECT_EQ(events_[0], "status Successfully connected");
    EXPECT_EQ(events_[1], "OnOpen");
    const ras::HRASCONN handle = Ras().ConnectionHandle();
    socket_->Close();
    EXPECT_EQ(events_.back(), "OnDisconnected");
    EXPECT_EQ(events_[events_.size() - 2], "OnClosed");
    EXPECT_EQ(HangUps(), std::vector<ras::HRASCONN>{handle});
}

TEST_F(RasLinkTest, FailedDialStopsOpenBeforeItsEventAndTheStartUp) {
    Fail("RasDialA", 633);
    socket_->SetServer("127.0.0.1:21");
    socket_->ResetState();
    EXPECT_THROW(socket_->Open(), zn::ERASError);
    EXPECT_TRUE(std::find(events_.begin(), events_.end(), "OnOpen") == events_.end());
    EXPECT_EQ(socket_->StartupCount(), 0);
}

TEST_F(RasLinkTest, CloseWithoutASocketStillHangsUpOnce) {
    Ras().Dial();
    ASSERT_TRUE(Ras().Dialled());
    socket_->Close();
    EXPECT_EQ(Calls("RasHangUpA"), 1);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "OnDisconnected"), 1);
    EXPECT_EQ(std::count(events_.begin(), events_.end(), "OnClosed"), 0);
}

TEST_F(RasLinkTest, DestroyingTheDialUpComponentEmptiesTheLink) {
    delete ras_;
    ras_ = nullptr;
    EXPECT_EQ(socket_->RAS(), nullptr);
    testsupport::ScriptedServer server;
    server.AwaitClientClose();
    server.Start();
    socket_->SetServer(server.Address());
    socket_->ResetState();
    socket_->Open();
    EXPECT_EQ(Calls("RasDialA"), 0);
    socket_->Close();

    // Owned elsewhere: the link asked to be told, so it empties all the same.
    auto* stranger = new zn::TznRas(nullptr);
    socket_->SetRAS(stranger);
    delete stranger;
    EXPECT_EQ(socket_->RAS(), nullptr);
    socket_->Close();
}
