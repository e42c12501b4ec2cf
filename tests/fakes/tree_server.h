// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// An FTP server over a tree held in memory, for walks: it answers USER,
// PASS, TYPE, PORT, PASV, LIST (Unix listings), CWD, CDUP and QUIT,
// one client at a time, on 127.0.0.1 and a free port. Faults are set per
// directory before Start: a refused CWD, extra raw listing lines, a LIST that
// stalls. The destructor stops it.
class TreeFtpServer {
public:
    TreeFtpServer();
    ~TreeFtpServer();
    TreeFtpServer(const TreeFtpServer&) = delete;
    TreeFtpServer& operator=(const TreeFtpServer&) = delete;

    // Paths are relative to the root, "/"-separated, without a leading "/".
    void AddFile(const std::string& path, std::int64_t size);
    void AddDirectory(const std::string& path);
    void AddRawLine(const std::string& directory, const std::string& line);
    void RefuseCwd(const std::string& path);
    // LIST of the directory waits until the server stops; `onStall` runs on
    // the server's thread when it starts waiting.
    void StallList(const std::string& directory, std::function<void()> onStall);
    // As vsftpd, proftpd and pure-ftpd ship: a bare LIST leaves out names
    // that begin with a dot; "LIST -a" shows them, "." and ".." too.
    void HideDotNames() { hideDotNames_ = true; }
    // FEAT lists AVBL, and AVBL is answered with `reply` ("213 1048576").
    void OfferAvailableSpace(const std::string& reply) { availableReply_ = reply; }
    // As a server that cannot reach the client (a router between them): an
    // active-mode LIST is answered "150", and `delayMs` later "425" without
    // any connection.
    void DropActiveConnections(int delayMs) { dropActiveDelayMs_ = delayMs; }

    void Start();
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Commands();
    std::string CurrentDirectory();

private:
    struct Directory {
        std::map<std::string, std::int64_t> files;
        std::set<std::string> subdirectories;
        std::vector<std::string> rawLines;
    };

    void Run();
    void Serve(int control);
    bool ReadLine(int fd, std::string& line);
    void Reply(int fd, const std::string& line);
    void List(int control, const std::string& dataAddress, int passiveFd, bool all);
    int OpenDataConnection(const std::string& dataAddress, int passiveFd);
    std::string Listing(const std::string& directory, bool all);

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::map<std::string, Directory> tree_;
    std::set<std::string> refusedCwd_;
    std::map<std::string, std::function<void()>> stalls_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> commands_;
    std::string cwd_;
    bool hideDotNames_ = false;
    std::string availableReply_;  // empty: FEAT and AVBL are not known
    int dropActiveDelayMs_ = -1;  // below 0: active connections are made
};

}  // namespace testsupport
