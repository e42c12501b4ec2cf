// SPDX-License-Identifier: MIT
#include "tests/fakes/scripted_server.h"

#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <utility>

namespace testsupport {
namespace {

constexpr int kStepTimeoutMs = 5000;

}  // namespace

ScriptedServer::ScriptedServer() { listenFd_ = ListenOnLoopback(port_, 4); }

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : {listenFd_, controlFd_, dataFd_}) {
        if (fd >= 0) ::close(fd);
    }
}

ScriptedServer& ScriptedServer::Do(std::function<void()> step) {
    steps_.push_back(std::move(step));
    return *this;
}

ScriptedServer& ScriptedServer::AnswerEach(std::function<std::string(const std::string& line)> answer, int most) {
    return Do([this, answer = std::move(answer), most] {
        std::string line;
        for (int i = 0; i < most && ReadLine(line); ++i) {
            {
                std::lock_guard lock(mutex_);
                received_.push_back(line);
            }
            if (!SendAll(controlFd_, answer(line))) return;
        }
    });
}

ScriptedServer& ScriptedServer::Send(std::string bytes) {
    return Do([this, bytes = std::move(bytes)] {
        if (!SendAll(controlFd_, bytes)) Note("send failed");
    });
}

ScriptedServer& ScriptedServer::Reply(const std::string& line) { return Send(line + "\r\n"); }

ScriptedServer& ScriptedServer::Receive(int lines) {
    return Do([this, lines] {
        for (int i = 0; i < lines; ++i) {
            std::string line;
            if (!ReadLine(line)) {
                Note("no line from the client");
                return;
            }
            std::lock_guard lock(mutex_);
            received_.push_back(line);
            if (line.rfind("PORT ", 0) == 0) portAddress_ = line.substr(5);
        }
    });
}

ScriptedServer& ScriptedServer::Delay(int milliseconds) {
    return Do([this, milliseconds] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!stop_ && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

ScriptedServer& ScriptedServer::Close() {
    return Do([this] {
        ::close(controlFd_);
        controlFd_ = -1;
    });
}

ScriptedServer& ScriptedServer::Reset() {
    return Do([this] {
        linger l{1, 0};
        ::setsockopt(controlFd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(controlFd_);
        controlFd_ = -1;
    });
}

ScriptedServer& ScriptedServer::AwaitClientClose() {
    return Do([this] {
        char c;
        while (WaitReadable(controlFd_, kStepTimeoutMs, &stop_)) {
            if (::recv(controlFd_, &c, 1, 0) <= 0) return;
        }
        Note("the client did not close");
    });
}

ScriptedServer& ScriptedServer::ConnectData() {
    return Do([this] {
        dataFd_ = ConnectToPortArgument(portAddress_);
        if (dataFd_ < 0) Note("data connection to " + portAddress_ + " failed");
    });
}

ScriptedServer& ScriptedServer::ConnectDataFrom(const std::string& line) {
    return Do([this, line] {
        // A stranger from another local address connects to the data port
        // first; the client must turn it away.
        int fd = ConnectToPortArgument(portAddress_, "127.0.0.2");
        if (fd >= 0) SendAll(fd, line);
        char c;
        bool closedByClient = WaitReadable(fd, kStepTimeoutMs, &stop_) && ::recv(fd, &c, 1, 0) <= 0;
        if (!closedByClient) Note("the stranger's connection was not closed");
        ::close(fd);
    });
}

ScriptedServer& ScriptedServer::SendData(std::string bytes) {
    return Do([this, bytes = std::move(bytes)] {
        if (!SendAll(dataFd_, bytes)) Note("data send failed");
    });
}

ScriptedServer& ScriptedServer::CloseData() {
    return Do([this] {
        ::close(dataFd_);
        dataFd_ = -1;
    });
}

void ScriptedServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

void ScriptedServer::Run() {
    if (!WaitReadable(listenFd_, kStepTimeoutMs, &stop_)) {
        Note("no client connected");
    } else {
        controlFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        for (auto& step : steps_) {
            if (stop_) break;
            step();
        }
    }
    finished_ = true;
}

bool ScriptedServer::Finished(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!finished_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return finished_;
}

bool ScriptedServer::ReadLine(std::string& line) {
    line.clear();
    char c;
    while (!stop_) {
        if (!WaitReadable(controlFd_, kStepTimeoutMs, &stop_)) return false;
        if (::recv(controlFd_, &c, 1, 0) <= 0) return false;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        line += c;
    }
    return false;
}

void ScriptedServer::Note(const std::string& problem) {
    std::lock_guard lock(mutex_);
    problems_.push_back(problem);
}

std::vector<std::string> ScriptedServer::Received() {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedServer::Problems() {
    std::lock_guard lock(mutex_);
    return problems_;
}

}  // namespace testsupport
