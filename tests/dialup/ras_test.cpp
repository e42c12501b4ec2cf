// SPDX-License-Identifier: MIT
#include "tests/dialup/ras_fixture.h"

#include <QTimer>

#include <chrono>
#include <filesystem>

using zn::ECanceledError;
using zn::ERASError;
using zn::ETimedOutError;

TEST(RasWithoutLibrary, DialsNothingAndRaisesNothing) {
    platform::SetLibraryDirectoryForTesting(std::filesystem::temp_directory_path().string());
    platform::TComponent owner(nullptr);
    auto* ras = new zn::TznRas(&owner);
    EXPECT_FALSE(ras->RasAvailable());
    EXPECT_TRUE(ras->GetEntries().empty());
    EXPECT_FALSE(ras->FindConnection());
    EXPECT_NO_THROW(ras->Dial());
    EXPECT_FALSE(ras->Dialled());
    EXPECT_NO_THROW(ras->HangUpConnection());
    EXPECT_NO_THROW(ras->HangUp());
    EXPECT_EQ(ERASError(678).Message(), "");
    EXPECT_EQ(ERASError(678).ErrorCode, 678);
    platform::SetLibraryDirectoryForTesting(std::nullopt);
}

// Past the 25 of the first buffer, the list is asked for again with the
// room the library says it needs.
TEST_F(RasTest, EntriesAreListedInOrderHoweverMany) {
    for (int count : {25, 40}) {
        SCOPED_TRACE(count);
        Call<void (*)()>("RasDouble_Reset")();
        for (int i = 0; i < count; ++i) AddEntry(("Entry " + std::to_string(i)).c_str());
        ASSERT_EQ(Ras().GetEntries().size(), static_cast<std::size_t>(count));
        EXPECT_EQ(Ras().GetEntries().back(), "Entry " + std::to_string(count - 1));
        EXPECT_EQ(Ras().LastError(), 0);
    }
}

TEST_F(RasTest, ElevenConnectionsAreTooManyToEnumerate) {
    AddEntry("Office");
    for (int i = 0; i < 11; ++i) AddConnection("Other", 100 + i);
    try {
        Ras().FindConnection();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.ErrorCode, 603);
        EXPECT_EQ(e.Message(), "RAS error no 603");
    }
}

TEST_F(RasTest, EmptyServiceDialsNothingAndCountsAsUp) {
    AddEntry("Office");
    Ras().Dial();
    EXPECT_TRUE(Ras().Connected());
    EXPECT_FALSE(Ras().Dialled());
    EXPECT_EQ(Calls("RasDialA"), 0);
}

TEST_F(RasTest, ConnectionAlreadyUpIsAdoptedAndLeftUp) {
    AddEntry("Office");
    AddConnection("Office", 7);
    Ras().SetService("Office");
    Ras().Dial();
    EXPECT_TRUE(Ras().Connected());
    EXPECT_FALSE(Ras().Dialled());
    EXPECT_EQ(Ras().ConnectionHandle(), 7);
    EXPECT_EQ(Calls("RasDialA"), 0);
    Ras().HangUp();
    EXPECT_EQ(Calls("RasHangUpA"), 0);
    EXPECT_TRUE(events_.empty()) << "no OnDisconnected for a found connection";
    EXPECT_FALSE(Ras().Connected());
}

TEST_F(RasTest, SecondDialDoesNotAdoptItsOwnHandle) {
    AddEntry("Office");
    AddConnection("Office", 7);
    Ras().SetService("Office");
    Ras().Dial();
    ASSERT_EQ(Ras().ConnectionHandle(), 7);
    Ras().Dial();
    EXPECT_EQ(Calls("RasDialA"), 1) << "the held connection is not found again, so the entry is dialled";
    EXPECT_TRUE(Ras().Dialled());
}

TEST_F(RasTest, WithoutForceServiceAnyConnectionWithAnAddressIsAdopted) {
    AddEntry("Office");
    AddConnection("NoAddress", 5, "");
    AddConnection("Internet", 9, "192.0.2.7");
    Ras().SetService("Office");
    Ras().ForceService = false;
    Ras().Dial();
    EXPECT_EQ(Ras().ConnectionHandle(), 9);
    EXPECT_FALSE(Ras().Dialled());
    EXPECT_EQ(Calls("RasDialA"), 0);
}

TEST_F(RasTest, StoredPasswordIsUsedAndPasswordIgnored) {
    AddEntry("Office", /*passwordStored=*/true);
    Ras().SetService("Office");
    Ras().Password = "typed";
    Ras().Dial();
    EXPECT_EQ(Calls("RasSetEntryDialParamsA"), 0);
    EXPECT_STREQ(Call<const char* (*)()>("RasDouble_DialPassword")(), "stored-password");
    EXPECT_TRUE(Ras().Connected());
    EXPECT_TRUE(Ras().Dialled());
}

TEST_F(RasTest, PasswordIsWrittenWithTheRemoveFlagWhenNoneIsStored) {
    AddEntry("Office");
    for (bool remove : {true, false}) {
        Ras().SetService("Office");
        Ras().Password = "typed";
        Ras().RemovePassword = remove;
        Ras().Dial();
        int removeFlag = -1;
        EXPECT_STREQ(Call<const char* (*)(int*)>("RasDouble_SetPassword")(&removeFlag), "typed");
        EXPECT_EQ(removeFlag, remove ? 1 : 0);
        EXPECT_STREQ(Call<const char* (*)()>("RasDouble_DialPassword")(), "typed");
        Ras().HangUp();
    }
}

TEST_F(RasTest, ProgressIsReportedAndTheDialledConnectionHungUp) {
    AddEntry("Office");
    ScriptDial({0, 2, 5}, 0, true);
    Ras().SetService("Office");
    Ras().Dial();
    EXPECT_EQ(events_,
              (std::vector<std::string>{"status Initializing...", "status Dialing...",
                                        "status Verifying user name and password", "status Successfully connected"}));
    const ras::HRASCONN handle = Ras().ConnectionHandle();
    Ras().HangUp();
    EXPECT_EQ(HangUps(), std::vector<ras::HRASCONN>{handle});
    EXPECT_EQ(events_.back(), "OnDisconnected");
}

TEST_F(RasTest, HangUpDuringTheWaitCancelsAfterHangingUp) {
    AddEntry("Office");
    ScriptDial({0}, 0, false);  // no answer
    Ras().SetService("Office");
    QTimer::singleShot(100, [this] {
        events_.push_back("HangUp");
        Ras().HangUp();
    });
    EXPECT_THROW(Ras().Dial(), ECanceledError);
    EXPECT_EQ(events_, (std::vector<std::string>{"status Initializing...", "HangUp", "OnDisconnected"}));
    EXPECT_EQ(Calls("RasHangUpA"), 1);
}

TEST_F(RasTest, NoConnectionWithinTheTimeOutTimesOut) {
    AddEntry("Office");
    ScriptDial({}, 0, false);
    Ras().SetService("Office");
    Ras().SetTimeOut(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Ras().Dial(), ETimedOutError);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GT(elapsed, 0.8);
    EXPECT_LT(elapsed, 2.5);
    EXPECT_EQ(Calls("RasHangUpA"), 0) << "the attempt is left for a later HangUp";
    EXPECT_TRUE(Ras().Dialled());
}

TEST_F(RasTest, ErrorInANotificationHangsUpAndRaisesIt) {
    AddEntry("Office");
    ScriptDial({2}, 678, false);
    Ras().SetService("Office");
    try {
        Ras().Dial();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.ErrorCode, 678);
        EXPECT_EQ(e.Message(), "RAS error no 678");
    }
    EXPECT_EQ(Calls("RasHangUpA"), 1);
    Call<void (*)(ras::DWORD, const char*)>("RasDouble_ErrorText")(678, "There was no answer.");
    EXPECT_EQ(ERASError(678).Message(), "There was no answer.");
}

TEST_F(RasTest, FailedDialStartHangsUpAndFailedParametersStillLeaveAHangUp) {
    AddEntry("Office");
    Ras().SetService("Office");
    Fail("RasDialA", 633);
    EXPECT_THROW(Ras().Dial(), ERASError);
    EXPECT_EQ(Calls("RasHangUpA"), 1);

    Fail("RasDialA", 0);
    Fail("RasGetEntryDialParamsA", 623);
    EXPECT_THROW(Ras().Dial(), ERASError);
    Ras().HangUp();
    EXPECT_EQ(HangUps().back(), -1) << "the dialled flag was set before the failure";
}

TEST_F(RasTest, ErrorAfterTheConnectionIsUpReachesWhoeverProcessesMessages) {
    AddEntry("Office");
    ScriptDial({}, 0, true);
    Ras().SetService("Office");
    Ras().Dial();
    ASSERT_TRUE(Ras().Connected());
    // The line drops later, while nothing of the component waits: its
    // owner hears of it first, then whoever processes messages.
    std::vector<std::int32_t> lost;  // the error as the owner sees it
    Ras().OnConnectionLost = [this, &lost](zn::TObject*) { lost.push_back(Ras().LastError()); };
    Call<void (*)(ras::DWORD, ras::DWORD)>("RasDouble_Notify")(8193, 629);
    try {
        platform::ProcessMessages();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.ErrorCode, 629);
    }
    EXPECT_EQ(Ras().LastError(), 629);
    EXPECT_EQ(lost, std::vector<std::int32_t>{629});
}

TEST_F(RasTest, ServiceSetterExplainsRefusalsInBoxes) {
    Ras().SetService("Office");
    EXPECT_EQ(boxes_, std::vector<std::string>{"TznRas component was unable to detect\rRAS on your system."});
    EXPECT_EQ(Ras().Service(), "");
    delete ras_;
    ras_ = nullptr;

    AddEntry("Office");
    Ras().SetService("office");
    EXPECT_EQ(Ras().Service(), "office") << "accepted as written";
    Ras().SetService("Nowhere");
    EXPECT_EQ(boxes_.back(), "Invalid service name");
    EXPECT_EQ(Ras().Service(), "");
    Ras().SetService("Office");
    Ras().Dial();
    Ras().SetService("Office");
    EXPECT_EQ(boxes_.back(), "This property can be set only before\restablishing the connection");
    Ras().SetService("");
    EXPECT_EQ(Ras().Service(), "");
}

TEST_F(RasTest, StateTexts) {
    EXPECT_EQ(zn::TznRas::StatusText(0), "Initializing...");
    EXPECT_EQ(zn::TznRas::StatusText(3), "Dialing...");
    EXPECT_EQ(zn::TznRas::StatusText(19), "Verifying user name and password");
    EXPECT_EQ(zn::TznRas::StatusText(14), "User name and password verified");
    EXPECT_EQ(zn::TznRas::StatusText(21), "Logging on to Network");
    EXPECT_EQ(zn::TznRas::StatusText(8192), "Successfully connected");
    EXPECT_EQ(zn::TznRas::StatusText(1), "");
    EXPECT_EQ(zn::TznRas::StatusText(8193), "");
}
