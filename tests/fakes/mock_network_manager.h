// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QVariant>

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Points DBUS_SYSTEM_BUS_ADDRESS somewhere for as long as it lives, and puts
// back what was there.
class SystemBusAddress {
public:
    explicit SystemBusAddress(const std::string& address);
    ~SystemBusAddress();
    SystemBusAddress(const SystemBusAddress&) = delete;
    SystemBusAddress& operator=(const SystemBusAddress&) = delete;

private:
    std::optional<std::string> previous_;
};

// A D-Bus daemon of the test's own, in a temporary directory, standing in
// for the system bus while it lives. Stopped by the destructor.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return !address_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string directory_;
    std::string address_;
    std::string error_;
    std::optional<SystemBusAddress> pointed_;
};

// NetworkManager as python-dbusmock's template plays it, with scripted
// activations (tests/fakes/mock_network_manager.py), on a private bus.
// Stopped by the destructor.
class MockNetworkManager {
public:
    // Why the mock cannot run on this machine (the packages are missing);
    // empty when it can.
    static std::string Unavailable();

    explicit MockNetworkManager(const PrivateBus& bus);
    ~MockNetworkManager();
    MockNetworkManager(const MockNetworkManager&) = delete;
    MockNetworkManager& operator=(const MockNetworkManager&) = delete;

    bool Running() const { return running_; }
    const std::string& Error() const { return error_; }

    // Type "vpn:PLUGIN" names the VPN's plugin; an interface binds the
    // profile to that device.
    void AddProfile(const std::string& id, const std::string& type = "vpn", const std::string& user = "",
                    const std::string& interface = "");
    // A profile NetworkManager made itself, with these Settings.Connection
    // flags (0x2 generated, 0x8 external).
    void AddGeneratedProfile(const std::string& id, const std::string& type, unsigned flags);
    // Steps "state:flags:reason[:vpnstate],..."; a refusal "error.Name|message".
    void ScriptActivation(const std::string& id, const std::string& steps, unsigned autoMs = 0,
                          const std::string& refusal = "");
    void Advance();
    void BringUp(const std::string& id);
    // Another bus client asks the secret agents before each activation does.
    void StrangerAsksFirst();
    std::vector<std::string> Activations();
    std::vector<std::string> Deactivations();
    // Secret agents registered and unregistered, and what they answered.
    std::vector<std::string> AgentEvents();

private:
    // Calls a control method of the mock; its string-list answer, if any.
    std::vector<std::string> Control(const char* method, const QList<QVariant>& args = {});

    pid_t pid_ = -1;
    bool running_ = false;
    std::string error_;
    std::string connection_;
    std::string address_;
};

}  // namespace testsupport
