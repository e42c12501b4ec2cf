// SPDX-License-Identifier: MIT
// The dial-up component over the real dial-up library, against a mock
// NetworkManager on a private bus.

#include "dialup/ras.h"
#include "dialup/ras_error.h"
#include "net/core/errors.h"
#include "platform/message_box.h"
#include "platform/modules.h"
#include "tests/fakes/mock_network_manager.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTimer>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

using zn::ECanceledError;
using zn::ERASError;
using zn::ETimedOutError;
using Strings = std::vector<std::string>;

namespace {

const std::string kVpn = "Office VPN";

class RasOverNetworkManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testsupport::MockNetworkManager::Unavailable(); !why.empty()) {
            GTEST_SKIP() << "no mock NetworkManager: " << why;
        }
        bus_.emplace();
        ASSERT_TRUE(bus_->Running()) << bus_->Error();
        nm_.emplace(*bus_);
        ASSERT_TRUE(nm_->Running()) << nm_->Error();
        library_ = platform::LoadLibrary("rasapi32.dll");
        ASSERT_NE(library_, 0u) << "librasapi32.so is not beside the test";
        previousHook_ = platform::SetMessageBoxHook(
            [this](const std::string& text, const std::string&, platform::MessageBoxKind) { boxes_.push_back(text); });
    }

    void TearDown() override {
        delete ras_;
        platform::SetMessageBoxHook(previousHook_);
        if (library_) platform::FreeLibrary(library_);
        nm_.reset();
        bus_.reset();
    }

    // Made after the profiles are added, as the component reads them when
    // it is created.
    zn::TznRas& Ras() {
        if (!ras_) {
            ras_ = new zn::TznRas(&owner_);
            ras_->SetTimeOut(2);
            ras_->OnStatusChange = [this](zn::TObject*, const std::string& text) {
                events_.push_back("status " + text);
            };
            ras_->OnDisconnected = [this](zn::TObject*) { events_.push_back("OnDisconnected"); };
        }
        return *ras_;
    }

    // The mock takes its next step only once the one before has been seen,
    // so no state can be missed or merged however slow the machine is.
    void AdvanceOnEachStatus() {
        Ras().OnStatusChange = [this](zn::TObject*, const std::string& text) {
            events_.push_back("status " + text);
            QTimer::singleShot(0, &context_, [this] { nm_->Advance(); });
        };
    }

    template <typename Fn>
    Fn Library(const char* name) {
        return reinterpret_cast<Fn>(platform::GetProcAddress(library_, name));
    }

    std::optional<testsupport::PrivateBus> bus_;
    std::optional<testsupport::MockNetworkManager> nm_;
    platform::HMODULE library_ = 0;
    platform::TComponent owner_{nullptr};
    zn::TznRas* ras_ = nullptr;
    QObject context_;
    Strings events_;
    Strings boxes_;
    platform::MessageBoxHook previousHook_;
};

// Profiles NetworkManager made itself (the loopback's, a VPN's own tun
// device) are nobody's to dial: no entries.
TEST_F(RasOverNetworkManager, ProfilesAreTheEntriesAndALinkAlreadyUpIsLeftUp) {
    nm_->AddGeneratedProfile("lo", "loopback", 0x3);  // unsaved, generated
    nm_->AddProfile(kVpn, "vpn", "alice");
    nm_->AddGeneratedProfile("tun0", "tun", 0x9);  // unsaved, external
    nm_->AddProfile("Mobile", "gsm");
    nm_->BringUp("Mobile");
    EXPECT_EQ(Ras().GetEntries(), (Strings{kVpn, "Mobile"}));
    Ras().SetService("Mobile");
    Ras().Dial();
    EXPECT_TRUE(Ras().Connected());
    EXPECT_FALSE(Ras().Dialled());
    Ras().HangUp();
    // Nor does the library take down what it did not bring up, whoever asks.
    std::vector<ras::RASCONNA> connections(ras::kConnectionCapacity);
    connections[0].dwSize = sizeof(ras::RASCONNA);
    ras::DWORD bytes = static_cast<ras::DWORD>(connections.size() * sizeof(ras::RASCONNA));
    ras::DWORD count = 0;
    ASSERT_EQ(Library<ras::RasEnumConnectionsA_fn>("RasEnumConnectionsA")(connections.data(), &bytes, &count), 0u);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(connections[0].szEntryName, "Mobile");
    EXPECT_STREQ(connections[0].szDeviceType, "modem");
    EXPECT_EQ(Library<ras::RasHangUpA_fn>("RasHangUpA")(connections[0].hrasconn), 0u);
    EXPECT_TRUE(nm_->Activations().empty());
    EXPECT_TRUE(nm_->Deactivations().empty()) << "a link that was up before stays up";
    EXPECT_TRUE(boxes_.empty());
}

// A VPN tells its steps in states of its own: preparing, asking for the
// password, connecting, getting its address.
TEST_F(RasOverNetworkManager, DialGoesThroughActivatingAndAddressingToConnectedAndHangUpEndsIt) {
    nm_->AddProfile("Mobile", "gsm");
    nm_->AddProfile(kVpn, "vpn", "alice");
    nm_->ScriptActivation(kVpn, "1:0:0:1,1:0:0:2,1:0:0:3,1:0:0:4,2:12:0:5");
    Ras().SetService(kVpn);
    AdvanceOnEachStatus();
    Ras().Dial();
    EXPECT_EQ(events_, (Strings{"status Dialing...", "status Verifying user name and password", "status Dialing...",
                                "status Logging on to Network", "status Successfully connected"}));
    EXPECT_TRUE(Ras().Dialled());
    EXPECT_EQ(nm_->Activations(), Strings{kVpn});

    ras::RASPPPIPA ip{};
    ip.dwSize = sizeof ip;
    ras::DWORD size = sizeof ip;
    auto projection = Library<ras::RasGetProjectionInfoA_fn>("RasGetProjectionInfoA");
    EXPECT_EQ(projection(Ras().ConnectionHandle(), ras::kProjectionPppIp, &ip, &size), 0u);
    EXPECT_STREQ(ip.szIpAddress, "10.8.0.1");

    ras::RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    std::strcpy(params.szEntryName, kVpn.c_str());
    ras::BOOL stored = 1;
    EXPECT_EQ(Library<ras::RasGetEntryDialParamsA_fn>("RasGetEntryDialParamsA")(nullptr, &params, &stored), 0u);
    EXPECT_STREQ(params.szUserName, "alice");
    EXPECT_EQ(stored, 0) << "the password is never read back";

    Ras().HangUp();
    EXPECT_EQ(nm_->Deactivations(), Strings{kVpn});
    EXPECT_EQ(events_.back(), "OnDisconnected");
}

// NetworkManager asks its secret agents while it activates: the password
// goes to that activation, under the key the VPN's plugin reads, and to no
// later one; it is never stored. Another client on the bus that asks
// first is refused and takes nothing from NetworkManager.
TEST_F(RasOverNetworkManager, PasswordIsGivenToItsActivationOnly) {
    const struct {
        const char* type;
        const char* given;
    } kPlugins[] = {
        {"vpn", "vpn password=s3cret"},
        {"vpn:vpnc", "vpn Xauth password=s3cret"},
        {"vpn:openconnect", "vpn form:main:password=s3cret"},
    };
    nm_->StrangerAsksFirst();
    Strings expected;
    for (const auto& plugin : kPlugins) {
        nm_->AddProfile(plugin.type, plugin.type, "alice");
        nm_->ScriptActivation(plugin.type, "1:0:0,2:0:0");
        expected.insert(expected.end(),
                        {"register org.dirweigh.rasapi32",
                         "stranger: refused org.freedesktop.NetworkManager.SecretAgent.PermissionDenied", plugin.given,
                         "unregister"});
    }
    AdvanceOnEachStatus();
    for (const auto& plugin : kPlugins) {
        Ras().SetService(plugin.type);
        Ras().Password = "s3cret";
        Ras().Dial();
        Ras().HangUp();
    }
    Ras().SetService("vpn");
    Ras().Password.clear();
    Ras().Dial();
    Ras().HangUp();
    EXPECT_EQ(nm_->Activations(), (Strings{"vpn", "vpn:vpnc", "vpn:openconnect", "vpn"}));
    EXPECT_EQ(nm_->AgentEvents(), expected);
}

TEST_F(RasOverNetworkManager, FailuresCarryNetworkManagersReasonOrItsOwnMessage) {
    nm_->AddProfile(kVpn);
    nm_->AddProfile("Locked");
    nm_->AddProfile("Refused at once");
    nm_->AddProfile("Twice");
    nm_->AddProfile("Twice", "gsm");
    nm_->ScriptActivation(kVpn, "1:0:0,4:0:10");  // the login is refused
    nm_->ScriptActivation("Locked", "", 0,
                          "org.freedesktop.NetworkManager.PermissionDenied|Not authorized to control networking.");
    // It fails before NetworkManager has answered the activation.
    nm_->ScriptActivation("Refused at once", "4:0:10");
    AdvanceOnEachStatus();
    Ras().SetService(kVpn);
    try {
        Ras().Dial();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.Message(), "The login was refused");
    }
    // The failure comes with the state it ended in; what was dialled is hung up.
    EXPECT_EQ(events_, (Strings{"status Dialing...", "status Dialing...", "OnDisconnected"}));

    Ras().SetService("Locked");
    try {
        Ras().Dial();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.Message(), "NetworkManager: Not authorized to control networking.");
    }
    EXPECT_TRUE(nm_->Deactivations().empty()) << "nothing came up, so nothing is deactivated";

    Ras().SetService("Refused at once");
    try {
        Ras().Dial();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.Message(), "The login was refused");
    }

    // Either profile could be the one meant, and its password would go there.
    Ras().SetService("Twice");
    try {
        Ras().Dial();
        FAIL() << "nothing raised";
    } catch (const ERASError& e) {
        EXPECT_EQ(e.Message(), "NetworkManager has more than one connection of that name");
    }
    EXPECT_EQ(nm_->Activations(), (Strings{kVpn, "Locked", "Refused at once"}));
}

// A profile for the same device takes the place of the one that was up;
// that one comes back after the hang-up, and a link elsewhere is left alone.
TEST_F(RasOverNetworkManager, ProfileReplacedOnItsDeviceComesBackAfterTheHangUp) {
    nm_->AddProfile("Home", "802-11-wireless", "", "wlan0");
    nm_->AddProfile("Office", "802-11-wireless", "", "wlan0");
    nm_->AddProfile("Wired", "802-3-ethernet", "", "eth0");
    nm_->BringUp("Home");
    nm_->BringUp("Wired");
    Ras().SetService("Office");
    Ras().Dial();
    EXPECT_TRUE(Ras().Dialled());
    Ras().HangUp();
    EXPECT_EQ(nm_->Deactivations(), Strings{"Office"});
    EXPECT_EQ(nm_->Activations(), (Strings{"Office", "Home"}));
}

TEST_F(RasOverNetworkManager, TimeOutLeavesTheAttemptForHangUpAndCancelEndsIt) {
    nm_->AddProfile(kVpn);
    nm_->ScriptActivation(kVpn, "1:0:0");  // activates for ever
    Ras().SetService(kVpn);
    Ras().SetTimeOut(1);
    EXPECT_THROW(Ras().Dial(), ETimedOutError);
    EXPECT_TRUE(nm_->Deactivations().empty());
    Ras().HangUp();
    EXPECT_EQ(nm_->Deactivations(), Strings{kVpn});

    // Cancelled as soon as the attempt is under way.
    events_.clear();
    Ras().OnStatusChange = [this](zn::TObject*, const std::string& text) {
        events_.push_back("status " + text);
        Ras().HangUp();
    };
    EXPECT_THROW(Ras().Dial(), ECanceledError);
    EXPECT_EQ(events_, (Strings{"status Dialing...", "OnDisconnected"}));
    EXPECT_EQ(nm_->Deactivations(), (Strings{kVpn, kVpn}));
}

// No NetworkManager is like no dial-up library: nothing is dialled and
// nothing raised, so a connection goes on over whatever network is there.
TEST(RasWithoutNetworkManager, NothingIsDialledOnABusWithoutItOrWithoutABus) {
    if (const std::string why = testsupport::MockNetworkManager::Unavailable(); !why.empty()) {
        GTEST_SKIP() << "no private bus: " << why;
    }
    Strings boxes;
    auto previous = platform::SetMessageBoxHook(
        [&boxes](const std::string& text, const std::string&, platform::MessageBoxKind) { boxes.push_back(text); });
    for (bool withBus : {true, false}) {
        SCOPED_TRACE(withBus ? "a bus without NetworkManager" : "no bus at all");
        std::optional<testsupport::PrivateBus> bus;
        std::optional<testsupport::SystemBusAddress> nowhere;
        if (withBus) {
            bus.emplace();
            ASSERT_TRUE(bus->Running()) << bus->Error();
        } else {
            nowhere.emplace("unix:path=/nonexistent/dirweigh-test-bus");
        }
        platform::TComponent owner(nullptr);
        auto* ras = new zn::TznRas(&owner);
        EXPECT_FALSE(ras->RasAvailable());
        EXPECT_EQ(ERASError(ras->LastError()).Message(), "NetworkManager is not running on the system bus");
        ras->SetService(kVpn);
        EXPECT_NO_THROW(ras->Dial());
        EXPECT_FALSE(ras->Dialled());
        EXPECT_TRUE(ras->Connected());
        EXPECT_NO_THROW(ras->HangUp());
    }
    EXPECT_EQ(boxes.size(), 2u);
    platform::SetMessageBoxHook(previous);
}

}  // namespace
