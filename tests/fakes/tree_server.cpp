// SPDX-License-Identifier: MIT
#include "tests/fakes/tree_server.h"

#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace testsupport {
namespace {

bool Readable(int fd, const std::atomic<bool>& stop) { return WaitReadable(fd, 1 << 30, &stop); }

std::string Join(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

std::string Parent(const std::string& dir) {
    std::size_t slash = dir.rfind('/');
    return slash == std::string::npos ? std::string() : dir.substr(0, slash);
}

}  // namespace

TreeFtpServer::TreeFtpServer() {
    tree_[""];
    listenFd_ = ListenOnLoopback(port_, 4);
}

TreeFtpServer::~TreeFtpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listenFd_);
}

void TreeFtpServer::AddDirectory(const std::string& path) {
    std::string parent = Parent(path);
    if (!tree_.count(parent)) AddDirectory(parent);
    tree_[parent].subdirectories.insert(path.substr(parent.empty() ? 0 : parent.size() + 1));
    tree_[path];
}

void TreeFtpServer::AddFile(const std::string& path, std::int64_t size) {
    std::string parent = Parent(path);
    if (!tree_.count(parent)) AddDirectory(parent);
    tree_[parent].files[path.substr(parent.empty() ? 0 : parent.size() + 1)] = size;
}

void TreeFtpServer::AddRawLine(const std::string& directory, const std::string& line) {
    tree_[directory].rawLines.push_back(line);
}

void TreeFtpServer::RefuseCwd(const std::string& path) { refusedCwd_.insert(path); }

void TreeFtpServer::StallList(const std::string& directory, std::function<void()> onStall) {
    stalls_[directory] = std::move(onStall);
}

void TreeFtpServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

std::vector<std::string> TreeFtpServer::Commands() {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string TreeFtpServer::CurrentDirectory() {
    std::lock_guard lock(mutex_);
    return cwd_;
}

void TreeFtpServer::Run() {
    while (Readable(listenFd_, stop_)) {
        int control = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (control < 0) continue;
        Serve(control);
        ::close(control);
    }
}

void TreeFtpServer::Serve(int control) {
    {
        std::lock_guard lock(mutex_);
        cwd_.clear();
    }
    std::string dataAddress;
    int passiveFd = -1;  // the listener of the last PASV, until its LIST
    Reply(control, "220 Tree server ready");
    std::string line;
    while (ReadLine(control, line)) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(line);
        }
        const std::string verb = line.substr(0, line.find(' '));
        const std::string argument = line.size() > verb.size() ? line.substr(verb.size() + 1) : std::string();
        if (verb == "USER") {
            Reply(control, "331 Password required");
        } else if (verb == "PASS") {
            Reply(control, "230 Logged in");
        } else if (verb == "TYPE") {
            Reply(control, "200 Type set");
        } else if (verb == "PORT") {
            dataAddress = argument;
            Reply(control, "200 PORT command successful");
        } else if (verb == "PASV") {
            std::uint16_t port = 0;
            if (passiveFd >= 0) ::close(passiveFd);
            passiveFd = ListenOnLoopback(port, 1);
            Reply(control, "227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                               std::to_string(port % 256) + ")");
        } else if (verb == "LIST") {
            List(control, dataAddress, std::exchange(passiveFd, -1), argument == "-a");
        } else if (verb == "CWD") {
            std::lock_guard lock(mutex_);
            const std::string target = Join(cwd_, argument);
            if (tree_.count(target) && !refusedCwd_.count(target)) {
                cwd_ = target;
                Reply(control, "250 Directory changed to /" + target);
            } else {
                Reply(control, "550 " + argument + ": No such file or directory");
            }
        } else if (verb == "CDUP") {
            std::lock_guard lock(mutex_);
            cwd_ = Parent(cwd_);
            Reply(control, "250 Directory changed to /" + cwd_);
        } else if (verb == "FEAT" && !availableReply_.empty()) {
            Reply(control, "211-Features:");
            Reply(control, " AVBL");
            Reply(control, "211 End");
        } else if (verb == "AVBL" && !availableReply_.empty()) {
            Reply(control, availableReply_);
        } else if (verb == "QUIT") {
            Reply(control, "221 Goodbye");
            break;
        } else {
            Reply(control, "502 Command not implemented");
        }
    }
    if (passiveFd >= 0) ::close(passiveFd);
}

void TreeFtpServer::List(int control, const std::string& dataAddress, int passiveFd, bool all) {
    std::string dir;
    {
        std::lock_guard lock(mutex_);
        dir = cwd_;
    }
    Reply(control, "150 Opening ASCII mode data connection");
    if (auto stall = stalls_.find(dir); stall != stalls_.end()) {
        stall->second();
        char c;
        // Until the client gives up and closes, or the server stops.
        while (Readable(control, stop_) && ::recv(control, &c, 1, MSG_PEEK) > 0) {
            ::usleep(10000);
        }
        return;
    }
    const int data = OpenDataConnection(dataAddress, passiveFd);
    if (data < 0) {
        Reply(control, "425 Can't open data connection");
        return;
    }
    SendAll(data, Listing(dir, all));
    ::close(data);
    Reply(control, "226 Transfer complete");
}

// The client's connection to the PASV listener, or the connection to its
// PORT address; -1 when none is made.
int TreeFtpServer::OpenDataConnection(const std::string& dataAddress, int passiveFd) {
    if (passiveFd >= 0) {
        const int data =
            WaitReadable(passiveFd, 5000, &stop_) ? ::accept4(passiveFd, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        ::close(passiveFd);
        return data;
    }
    if (dropActiveDelayMs_ >= 0) {
        for (int waited = 0; waited < dropActiveDelayMs_ && !stop_; waited += 50) ::usleep(50000);
        return -1;
    }
    return ConnectToPortArgument(dataAddress);
}

std::string TreeFtpServer::Listing(const std::string& directory, bool all) {
    const Directory& d = tree_[directory];
    const auto shown = [&](const std::string& name) { return all || !hideDotNames_ || name.front() != '.'; };
    std::string out = "total 0\r\n";
    for (const auto& line : d.rawLines) out += line + "\r\n";
    if (all && hideDotNames_) {
        for (const char* name : {".", ".."})
            out += "drwxr-xr-x   2 web      web          4096 Jan  1  2020 " + std::string(name) + "\r\n";
    }
    // Files first, then directories, so a walk counts a level's files
    // before it descends.
    for (const auto& [name, size] : d.files) {
        if (shown(name))
            out += "-rw-r--r--   1 web      web      " + std::to_string(size) + " Jan  1  2020 " + name + "\r\n";
    }
    for (const auto& name : d.subdirectories) {
        if (shown(name)) out += "drwxr-xr-x   2 web      web          4096 Jan  1  2020 " + name + "\r\n";
    }
    return out;
}

bool TreeFtpServer::ReadLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (Readable(fd, stop_)) {
        if (::recv(fd, &c, 1, 0) <= 0) return false;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        line += c;
    }
    return false;
}

void TreeFtpServer::Reply(int fd, const std::string& line) { SendAll(fd, line + "\r\n"); }

}  // namespace testsupport
