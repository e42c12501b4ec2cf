// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// An FTP-like server for protocol and fault cases: on its own thread, with
// blocking sockets on 127.0.0.1 and a free port, it takes one connection and
// plays a script step by step. It can answer, read lines, delay, close,
// reset, and open the active-mode data connection to the address of the
// client's last PORT line. The destructor stops it.
class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    ScriptedServer& Send(std::string bytes);         // bytes as they are
    ScriptedServer& Reply(const std::string& line);  // line + CR LF
    ScriptedServer& Receive(int lines = 1);          // read and record lines
    ScriptedServer& Delay(int milliseconds);
    ScriptedServer& Close();                                   // orderly close of the control connection
    ScriptedServer& Reset();                                   // close with a reset
    ScriptedServer& AwaitClientClose();                        // wait until the client closes
    ScriptedServer& ConnectData();                             // to the last PORT address
    ScriptedServer& ConnectDataFrom(const std::string& line);  // a stranger first
    ScriptedServer& SendData(std::string bytes);
    ScriptedServer& CloseData();
    ScriptedServer& Do(std::function<void()> step);
    // Reads lines and sends `answer(line)` for each, until the client
    // closes or `most` lines have come.
    ScriptedServer& AnswerEach(std::function<std::string(const std::string& line)> answer, int most);

    // Starts playing the script; steps added later are not played.
    void Start();
    // Waits until the script has been played (or failed); false on time-out.
    bool Finished(double seconds);

    std::vector<std::string> Received();
    std::vector<std::string> Problems();

private:
    void Run();
    bool ReadLine(std::string& line);
    void Note(const std::string& problem);

    int listenFd_ = -1;
    int controlFd_ = -1;
    int dataFd_ = -1;
    std::uint16_t port_ = 0;
    std::string portAddress_;  // "h1,h2,h3,h4,p1,p2" of the last PORT line
    std::vector<std::function<void()>> steps_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::vector<std::string> problems_;
};

// TYPE A, PORT and LIST answered, then the data connection opened.
inline ScriptedServer& UpToData(ScriptedServer& server) {
    return server.Receive()
        .Reply("200 Type set to A")
        .Receive()
        .Reply("200 PORT ok")
        .Receive()
        .Reply("150 Opening data connection")
        .ConnectData();
}

}  // namespace testsupport
