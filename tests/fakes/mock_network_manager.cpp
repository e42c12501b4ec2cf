// SPDX-License-Identifier: MIT
#include "tests/fakes/mock_network_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace testsupport {
namespace {

const char* kDaemon = "/usr/bin/dbus-daemon";
const char* kPython = "/usr/bin/python3";
const char* kTemplate = "/usr/lib/python3/dist-packages/dbusmock/templates/networkmanager.py";

// Starts a program with stdout on a pipe and reads its first line (10 s at
// most). The pid is -1 when it could not be started.
std::string StartAndReadLine(const std::vector<std::string>& args, pid_t& pid, bool quiet = false) {
    int out[2];
    pid = -1;
    if (pipe(out) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    argv.reserve(copy.size() + 1);
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c;
    pollfd p{out[0], POLLIN, 0};
    while (pid > 0 && poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    return line;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

// A bus that anyone on the machine's loopback of processes may use: the
// test process, the mock and the program under test, all as one user.
const char* kConfig = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=DIR</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

}  // namespace

SystemBusAddress::SystemBusAddress(const std::string& address) {
    if (const char* now = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) previous_ = now;
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
}

SystemBusAddress::~SystemBusAddress() {
    if (previous_) {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_->c_str(), 1);
    } else {
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
}

PrivateBus::PrivateBus() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dirweigh-bus-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        error_ = "mkdtemp failed";
        return;
    }
    directory_ = pattern;
    std::string config = kConfig;
    config.replace(config.find("DIR"), 3, directory_);
    std::ofstream(directory_ + "/bus.conf") << config;
    address_ = StartAndReadLine({kDaemon, "--config-file=" + directory_ + "/bus.conf", "--nofork", "--print-address=1"},
                                pid_, /*quiet=*/true);  // it complains it may not raise its file limit
    if (address_.empty()) {
        error_ = "dbus-daemon did not start";
        Stop(pid_);
        return;
    }
    pointed_.emplace(address_);
}

PrivateBus::~PrivateBus() {
    pointed_.reset();
    Stop(pid_);
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

std::string MockNetworkManager::Unavailable() {
    for (const char* path : {kDaemon, kPython, kTemplate}) {
        if (!std::filesystem::exists(path)) return std::string(path) + " is missing (scripts/setup installs it)";
    }
    return {};
}

MockNetworkManager::MockNetworkManager(const PrivateBus& bus) : address_(bus.Address()) {
    if (!bus.Running()) {
        error_ = "no bus: " + bus.Error();
        return;
    }
    const std::string line = StartAndReadLine({kPython, MOCK_NETWORK_MANAGER_SCRIPT}, pid_);
    if (line != "ready") {
        error_ = "the NetworkManager mock did not start";
        Stop(pid_);
        return;
    }
    static int serial = 0;
    connection_ = "dirweigh-test-control-" + std::to_string(++serial);
    running_ = QDBusConnection::connectToBus(QString::fromStdString(address_), QString::fromStdString(connection_))
                   .isConnected();
    if (!running_) error_ = "cannot reach the private bus";
}

MockNetworkManager::~MockNetworkManager() {
    if (!connection_.empty()) QDBusConnection::disconnectFromBus(QString::fromStdString(connection_));
    Stop(pid_);
}

std::vector<std::string> MockNetworkManager::Control(const char* method, const QList<QVariant>& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("/org/freedesktop/NetworkManager"),
        QStringLiteral("org.freedesktop.DBus.Mock"), QString::fromLatin1(method));
    call.setArguments(args);
    const QDBusMessage reply = QDBusConnection(QString::fromStdString(connection_)).call(call, QDBus::Block, 2000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method << ": " << reply.errorMessage().toStdString();
    std::vector<std::string> out;
    if (!reply.arguments().isEmpty()) {
        for (const QString& text : reply.arguments().first().toStringList()) out.push_back(text.toStdString());
    }
    return out;
}

void MockNetworkManager::AddProfile(const std::string& id, const std::string& type, const std::string& user,
                                    const std::string& interface) {
    Control("AddProfile", {QString::fromStdString(id), QString::fromStdString(type), QString::fromStdString(user),
                           QString::fromStdString(interface)});
}

void MockNetworkManager::AddGeneratedProfile(const std::string& id, const std::string& type, unsigned flags) {
    Control("AddGeneratedProfile",
            {QString::fromStdString(id), QString::fromStdString(type), QVariant::fromValue(flags)});
}

void MockNetworkManager::ScriptActivation(const std::string& id, const std::string& steps, unsigned autoMs,
                                          const std::string& refusal) {
    Control("ScriptActivation", {QString::fromStdString(id), QString::fromStdString(steps), QVariant::fromValue(autoMs),
                                 QString::fromStdString(refusal)});
}

void MockNetworkManager::Advance() { Control("Advance"); }
void MockNetworkManager::BringUp(const std::string& id) { Control("BringUp", {QString::fromStdString(id)}); }
void MockNetworkManager::StrangerAsksFirst() { Control("StrangerAsksFirst"); }
std::vector<std::string> MockNetworkManager::Activations() { return Control("Activations"); }
std::vector<std::string> MockNetworkManager::Deactivations() { return Control("Deactivations"); }
std::vector<std::string> MockNetworkManager::AgentEvents() { return Control("AgentEvents"); }

}  // namespace testsupport
