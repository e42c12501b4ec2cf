// SPDX-License-Identifier: MIT
// Peak memory of listing and walking one huge directory: a child process
// serves a listing of N lines (default 1,000,000) over active-mode FTP on
// 127.0.0.1, the parent lists and walks it, and prints how far its peak
// resident memory rose above the idle, connected client, per entry.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIRWEIGH_BENCH=ON -DDIRWEIGH_TESTS=OFF
//   cmake --build build/bench && build/bench/bin/listing_memory_bench [lines] [tree]
//
// With "tree", the walk also keeps what it saw, as for the site breakdown:
// the difference between the two runs is what the tree costs per file.
//
//   build/bench/bin/listing_memory_bench cli build/release/bin/dirweigh-cli [lines] [--no-history]
//       [--dirs N] [--stat] [--again]
//
// runs dirweigh-cli --json against the same server, as a user would (the
// history on, in a folder made for the run), once over an empty site and
// once over the big one, and prints the difference of the two peaks
// (VmHWM) per file: what the walk adds to the logged-on client. With
// --dirs, the files are spread over N directories of the root; with
// --stat, the server offers PWD and STAT, so the fast walk lists by STAT
// (else it walks by CWD and LIST); with --again, the walk measured is the
// second of the site, which the history compares with the first.
//
// The listing is generated as it is sent, so the server side holds no copy,
// and it runs in its own process, so none of its memory is counted.

#include "ftp/client/ftp.h"
#include "sitetree/walk_tree.h"
#include "walk/cwd_walker.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

bool SendAll(int fd, const std::string& text) {
    for (std::size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadLine(int fd, std::string& line) {
    line.clear();
    char c;
    while (read(fd, &c, 1) == 1) {
        if (c == '\n') return true;
        if (c != '\r') line += c;
    }
    return false;
}

// Connects to the address of a PORT argument ("h1,h2,h3,h4,p1,p2").
int ConnectBack(const std::string& argument) {
    unsigned h[4], p[2];
    if (std::sscanf(argument.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) != 6) return -1;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(p[0] * 256 + p[1]));
    to.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// What the server serves: `lines` files, all in its root or spread over
// `dirs` directories of the root; with `stat`, PWD and STAT too, so that
// dirweigh-cli's fast walk lists by STAT over the control connection.
struct Site {
    long lines = 0;
    long dirs = 0;
    bool stat = false;
};

// Unix lines with names of 20 characters, sizes 1..1000: the total is known.
// The files of directory `dir` (0 for the root of a flat site), or the
// root's directories.
void SendListing(int fd, const Site& site, long dir, bool root, const char* prefix = "") {
    std::string chunk;
    char line[160];
    const long perDir = site.dirs > 0 ? site.lines / site.dirs : site.lines;
    const long count = root && site.dirs > 0 ? site.dirs : perDir;
    for (long i = 0; i < count; ++i) {
        if (root && site.dirs > 0) {
            std::snprintf(line, sizeof line, "%sdrwxr-xr-x   2 web      web          4096 Mar  7 14:05 dir_%05ld\r\n",
                          prefix, i);
        } else {
            const long n = dir * perDir + i;
            std::snprintf(line, sizeof line,
                          "%s-rw-r--r--   1 web      web      %8ld Mar  7 14:05 page_%010ld.html\r\n", prefix,
                          n % 1000 + 1, n);
        }
        chunk += line;
        if (chunk.size() > 60000 || i + 1 == count) {
            if (!SendAll(fd, chunk)) return;
            chunk.clear();
        }
    }
}

// "dir_00042" or "/dir_00042": 42; the root: -1.
long DirectoryNumber(const std::string& path) {
    const std::size_t at = path.find("dir_");
    return at == std::string::npos ? -1 : std::atol(path.c_str() + at + 4);
}

void Serve(int listener, const Site& site) {
    const int control = accept(listener, nullptr, nullptr);
    if (control < 0) return;
    SendAll(control, "220 Ready\r\n");
    std::string line, port;
    long cwd = -1;
    while (ReadLine(control, line)) {
        const std::string verb = line.substr(0, line.find(' '));
        const std::string argument = line.size() > verb.size() + 1 ? line.substr(verb.size() + 1) : "";
        if (verb == "USER")
            SendAll(control, "331 Password\r\n");
        else if (verb == "PASS")
            SendAll(control, "230 Logged in\r\n");
        else if (verb == "TYPE")
            SendAll(control, "200 Type set\r\n");
        else if (verb == "CWD") {
            cwd = argument == "/" ? -1 : DirectoryNumber(argument);
            SendAll(control, "250 CWD ok\r\n");
        } else if (verb == "CDUP") {
            cwd = -1;
            SendAll(control, "250 CDUP ok\r\n");
        } else if (verb == "PWD" && site.stat) {
            SendAll(control, cwd < 0 ? "257 \"/\"\r\n" : "257 \"/dir_" + std::to_string(cwd) + "\"\r\n");
        } else if (verb == "STAT" && site.stat && !argument.starts_with("-")) {
            const long dir = DirectoryNumber(argument);
            SendAll(control, "213-Status of " + argument + ":\r\n");
            SendListing(control, site, std::max(dir, 0L), dir < 0, " ");
            SendAll(control, "213 End of status\r\n");
        } else if (verb == "PORT") {
            port = argument;
            SendAll(control, "200 PORT ok\r\n");
        } else if (verb == "LIST" && argument.empty()) {
            SendAll(control, "150 Here it comes\r\n");
            const int data = ConnectBack(port);
            if (data >= 0) {
                SendListing(data, site, std::max(cwd, 0L), cwd < 0);
                close(data);
            }
            SendAll(control, "226 Done\r\n");
        } else if (verb == "QUIT") {
            SendAll(control, "221 Bye\r\n");
            break;
        } else {
            SendAll(control, "502 No\r\n");
        }
    }
    close(control);
}

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long value = 0;
    while (status >> name) {
        if (name == key) {
            status >> value;
            return value;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

class Quiet : public zn::WalkObserver {
public:
    void WalkFailed(const std::string& message) override { std::fprintf(stderr, "walk failed: %s\n", message.c_str()); }
};

}  // namespace

// A listening socket on 127.0.0.1 and a free port, in `address`.
int Listen(sockaddr_in& address) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    return listener;
}

// The server of a listing of `lines`, in a process of its own so that
// none of its memory is counted; `address` is where it listens.
pid_t StartServer(const Site& site, sockaddr_in& address) {
    const int listener = Listen(address);
    const pid_t server = fork();
    if (server == 0) {
        Serve(listener, site);
        _exit(0);
    }
    close(listener);
    return server;
}

// The processor time of the last dirweigh-cli run, user and system.
double lastCpuSeconds = 0;

// dirweigh-cli over a listing of `lines`: its peak resident memory in KiB
// (the child's VmHWM, as wait4 reports it); its output in `out`.
long CliPeak(const char* cli, const Site& site, bool history, const std::string& home, std::string& out) {
    sockaddr_in address{};
    const pid_t server = StartServer(site, address);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        setenv("DIRWEIGH_PASSWORD", "bench", 1);
        const std::string url = "ftp://bench@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
        // This server opens no passive listener: the listing comes by PORT.
        if (history) {
            execl(cli, cli, "--json", "--active", url.c_str(), static_cast<char*>(nullptr));
        } else {
            execl(cli, cli, "--json", "--active", "--no-history", url.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    close(pipeFds[1]);
    out.clear();
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    waitpid(server, nullptr, 0);
    lastCpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return usage.ru_maxrss;
}

int RunCliMode(int argc, char** argv) {
    const char* cli = argv[2];
    Site site;
    site.lines = 1000000;
    bool history = true;
    bool again = false;  // measure a second walk, compared with the first
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-history") {
            history = false;
        } else if (arg == "--stat") {
            site.stat = true;
        } else if (arg == "--again") {
            again = true;
        } else if (arg == "--dirs" && i + 1 < argc) {
            site.dirs = std::atol(argv[++i]);
        } else {
            site.lines = std::atol(argv[i]);
        }
    }
    if (site.dirs > 0) site.lines -= site.lines % site.dirs;
    char folder[] = "/tmp/dirweigh-memory-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::string out;
    Site empty = site;
    empty.lines = empty.dirs = 0;
    const long idle = CliPeak(cli, empty, history, folder, out);
    if (again) CliPeak(cli, site, history, folder, out);
    const auto started = std::chrono::steady_clock::now();
    const long peak = CliPeak(cli, site, history, folder, out);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::system((std::string("rm -rf ") + folder).c_str());
    std::int64_t expected = 0;
    for (long i = 0; i < site.lines; ++i) expected += i % 1000 + 1;
    const bool right = out.find("\"bytes\": " + std::to_string(expected) + ",") != std::string::npos;
    std::printf(
        "dirweigh-cli --json%s%s%s, %ld files in %ld directories: %s in %.2f s (%.3f s of processor); logged on "
        "%ld KiB, peak %ld KiB, %.1f bytes per file\n",
        history ? "" : " --no-history", site.stat ? " (STAT offered)" : "", again ? " (second walk)" : "", site.lines,
        std::max(site.dirs, 1L), right ? "right" : ("WRONG: " + out).c_str(), seconds, lastCpuSeconds, idle, peak,
        static_cast<double>(peak - idle) * 1024.0 / static_cast<double>(site.lines));
    return right ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "cli") return RunCliMode(argc, argv);
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    const bool keepTree = argc > 2 && std::string(argv[2]) == "tree";
    sockaddr_in address{};
    Site site;
    site.lines = lines;
    const pid_t server = StartServer(site, address);

    platform::TComponent owner(nullptr);
    auto* ftp = new zn::TznFTP(&owner);
    ftp->SetWinsockLoaded(true);
    ftp->SetServer("127.0.0.1:" + std::to_string(ntohs(address.sin_port)));
    ftp->SetUserName("bench");
    ftp->SetPassword("bench");
    ftp->SetTimeOut(60);
    ftp->Connect();

    // From here on the peak counts only what the listing and the walk add.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long idle = StatusKilobytes("VmRSS:");
    Quiet quiet;
    zn::WalkTree tree;
    zn::WalkRules rules;
    if (keepTree) rules.Tree = &tree;
    zn::CwdWalker walker(*ftp, quiet, rules);
    const auto started = std::chrono::steady_clock::now();
    walker.Walk();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const zn::WalkTotals& walked = walker.Totals();
    const long peak = StatusKilobytes("VmHWM:");
    // What stays once the walk's listings are gone: the tree, if kept.
    const long after = StatusKilobytes("VmRSS:");
    // Freed listings stay in the heap and the tree reuses them, so resident
    // memory hides the tree; the heap's bytes in use show it.
    const double heldPerEntry = static_cast<double>(mallinfo2().uordblks) / static_cast<double>(lines);
    ftp->Disconnect();
    waitpid(server, nullptr, 0);

    // Sizes 1..1000 repeat every 1,000 lines.
    std::int64_t expected = 0;
    for (long i = 0; i < lines; ++i) expected += i % 1000 + 1;
    std::printf(
        "%ld-line listing%s: %lld files, %lld bytes (%s) in %.2f s; idle %ld KiB, peak %ld KiB, %.1f bytes per entry; after the walk %.1f bytes per entry, %.1f in use\n",
        lines, keepTree ? " with tree" : "", static_cast<long long>(walked.TotalFiles),
        static_cast<long long>(walked.TotalBytes),
        walked.TotalBytes == expected && walked.TotalFiles == lines ? "right" : "WRONG", seconds, idle, peak,
        static_cast<double>(peak - idle) * 1024.0 / static_cast<double>(lines),
        static_cast<double>(after - idle) * 1024.0 / static_cast<double>(lines), heldPerEntry);
    return walked.TotalBytes == expected && walked.TotalFiles == lines ? 0 : 1;
}
