// SPDX-License-Identifier: MIT
#include "tests/app/cli/cli_fixture.h"
#include "app/cli/cli_run.h"
#include "app/cli/cli_report.h"
#include "app/cli/cli_terminal_text.h"
#include "platform/modules.h"
#include "tests/app/cli/cli_ssh_home.h"
#include "tests/fakes/mock_network_manager.h"
#include "tests/fakes/proftpd.h"
#include "tests/fakes/pure_ftpd.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/sshd.h"
#include "tests/fakes/test_certificate.h"
#include "tests/fakes/tree_server.h"
#include "tests/fakes/vsftpd.h"
#include "tests/support/loopback.h"
#include "tests/support/site_tree.h"
#include "tests/support/tcp_relay.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>

extern char** environ;

using clitest::CliResult;
using clitest::ReadFile;
using clitest::RunCli;

namespace {}  // namespace

TEST(CliReport, JsonShapeAndSummaryLine) {
    cli::Totals totals{1272954913, 4982, 500, 3, 2, 1, true, "", false, "LIST -a", std::nullopt};
    EXPECT_EQ(cli::SummaryLine(totals),
              "1272954913 bytes (1.19 GiB), 4982 files, 500 directories, 2 not entered (names with \"/\" or empty), "
              "1 listing line not read (their sizes are not in the total)");
    EXPECT_EQ(cli::JsonObject(totals),
              "{\"bytes\": 1272954913, \"kilobytes\": 1243120, \"files\": 4982, \"directories\": 500, "
              "\"skipped_directories\": 3, \"refused_directories\": 2, \"unreadable_directories\": 0, "
              "\"cut_directories\": 0, \"unparsed_lines\": 1, \"available_bytes\": null, "
              "\"tls\": false, "
              "\"listing\": \"LIST -a\", \"complete\": true, "
              "\"error\": null}");
    totals.complete = false;
    totals.error = "550 \"x\"\tdenied";
    EXPECT_NE(cli::JsonObject(totals).find("\"complete\": false, \"error\": \"550 \\\"x\\\"\\tdenied\"}"),
              std::string::npos);
    // A server's Latin-1 byte, a cut sequence and DEL must not make the JSON invalid; real UTF-8 passes.
    totals.error = "caf\xE9 \xC3 \x7F na\xC3\xAFve";
    EXPECT_NE(cli::JsonObject(totals).find("\"caf\\ufffd \\ufffd \\u007f na\xC3\xAFve\""), std::string::npos);
    EXPECT_EQ(cli::SummaryLine(cli::Totals{1, 1, 1, 0, 0, 0, false, "x", false, "", std::nullopt}),
              "1 byte (1 B), 1 file, 1 directory (incomplete)");
}

TEST(CliRun, UsageErrorsExitWithTwoHelpAndVersionWithZero) {
    CliResult run = RunCli({"--bogus"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("unknown option --bogus"), std::string::npos);
    EXPECT_NE(run.err.find("usage: dirweigh-cli"), std::string::npos);
    EXPECT_TRUE(run.out.empty());
    // Neither connects, whatever else is asked.
    run = RunCli({"ftp://nowhere.invalid/", "--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: dirweigh-cli", 0), 0u) << run.out;
    run = RunCli({"ftp://nowhere.invalid/", "--version"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("dirweigh-cli 1.", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

// The server here cannot connect back, as behind a router: the default
// passive mode walks it, and --active says what to do.
TEST(CliRun, DuListsChildrenBeforeParentsAndHonoursMaxDepth) {
    testsupport::TreeFtpServer server;
    server.DropActiveConnections(0);
    server.AddFile("top.html", 1);
    server.AddFile("a/b/deep.html", 10);
    server.AddFile("a/mid.html", 100);
    server.AddFile("z/last.html", 1000);
    server.AddFile("logs/skip.log", 5);
    server.Start();
    CliResult run = RunCli({"ftp://me@" + server.Address(), "--du"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "10\t./a/b\n110\t./a\n1000\t./z\n1111\t.\n");
    run = RunCli({"ftp://me@" + server.Address(), "--du", "--max-depth", "0"});
    EXPECT_EQ(run.out, "1111\t.\n");
    run = RunCli({"ftp://me@" + server.Address(), "--json", "--no-default-excludes"});
    EXPECT_NE(run.out.find("\"bytes\": 1116"), std::string::npos) << run.out;
    run = RunCli({"ftp://me@" + server.Address(), "--du", "--active"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("425 Can't open data connection (the server could not connect back; behind a router, "
                           "leave out --active)"),
              std::string::npos)
        << run.err;
}

// Names and replies from the server reach a terminal with their control
// characters escaped: progress line, messages, -v dialogue, --du paths.
TEST(CliRun, ServerTextReachesTheTerminalEscaped) {
    testsupport::TreeFtpServer server;
    server.AddFile("t\x1b]2;owned\x07t/a.html", 7);
    server.AddFile("t\x1b]2;owned\x07t/c.\x1b[2J", 2);
    server.AddFile("x\x1b[2Jx/b.html", 1);
    server.RefuseCwd("x\x1b[2Jx");
    server.Start();
    cli::Environment environment;
    environment.passwords.environment = [](const char*) -> std::optional<std::string> { return "secret"; };
    environment.progressOnTerminal = true;
    environment.outputOnTerminal = true;
    testsupport::SiteTree folder;  // for an export read back
    const std::string exported = (folder.Root() / "site.json").string();
    // Every text report, of a walk and of an export.
    const std::vector<std::vector<std::string>> reports{{"--du"},
                                                        {"--du", "-v"},
                                                        {"--top", "2"},
                                                        {"--by-extension"},
                                                        {"--du", "--sort", "size", "--ncdu", exported},
                                                        {"--from", exported, "--du", "--top", "2"}};
    for (const std::vector<std::string>& report : reports) {
        SCOPED_TRACE(report.front() + " " + report.back());
        std::ostringstream out, err;
        std::vector<std::string> args{"ftp://me@" + server.Address()};
        if (report.front() == "--from") args.clear();
        args.insert(args.end(), report.begin(), report.end());
        EXPECT_EQ(cli::RunCli(args, out, err, environment), 1);
        const std::string shown = out.str() + err.str();
        EXPECT_EQ(shown.find_first_of('\x07'), std::string::npos) << shown;
        // The progress line's own ESC [ K is the only escape sequence left.
        std::string rest = shown;
        for (std::size_t at; (at = rest.find("\x1b[K")) != std::string::npos;) rest.erase(at, 3);
        EXPECT_EQ(rest.find('\x1b'), std::string::npos) << shown;
        EXPECT_NE(shown.find("t\\x1b]2;owned\\x07t"), std::string::npos) << shown;
        if (report.front() == "--from") continue;
        EXPECT_NE(err.str().find(": 550 x\\x1b[2Jx: No such file or directory; its size"), std::string::npos)
            << err.str();
    }
    EXPECT_EQ(cli::TerminalSafe("caf\xC3\xA9 \xC4\x81 \xC2\x9B"
                                "1m \x9B \xE9\t"),
              "caf\xC3\xA9 \xC4\x81 \\xc2\\x9b1m \\x9b \\xe9\\x09");
}

// Sizes a server claims may add up past 64 bits: the total stops at the
// largest value, never wraps to a negative one, in both walks, and is
// never called exact.
TEST(CliRun, SumsSaturateRatherThanWrapAndAreNotCalledExact) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.iso", INT64_MAX);
    server.AddFile("a/two.iso", INT64_MAX);
    server.AddFile("b/three.html", 5);
    server.Start();
    for (const char* walk : {"fast", "design"}) {
        CliResult run = RunCli({"ftp://me@" + server.Address(), "--du", "--walk", walk});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out, "9223372036854775807\t./a\n5\t./b\n9223372036854775807\t.\n") << walk;
        run = RunCli({"ftp://me@" + server.Address(), "--json", "--walk", walk});
        EXPECT_NE(run.out.find("\"complete\": false, \"error\": \"the total passes 9223372036854775807 bytes and is "
                               "not exact\""),
                  std::string::npos)
            << run.out;
    }
}

// As du: the walk goes on past a directory the server refuses, names it,
// prints the sums of the rest and exits with 1.
TEST(CliRun, RefusedDirectoryIsPassedOverAndExitsWithOne) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/two.html", 20);
    server.AddFile("c/three.html", 30);
    server.RefuseCwd("b");
    server.Start();
    CliResult run = RunCli({server.Address(), "--user", "me", "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"bytes\": 40, "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"unreadable_directories\": 1, "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"complete\": false, \"error\": \"1 directory could not be read\""), std::string::npos);
    EXPECT_NE(run.err.find("dirweigh-cli: " + server.Address() +
                           ": cannot read /b: 550 b: No such file or directory; its size is not in the total\n"),
              std::string::npos)
        << run.err;
    // Under auto, a logon without TLS is said on stderr, not only in JSON.
    EXPECT_NE(run.err.find("dirweigh-cli: " + server.Address() +
                           ": the server does not offer TLS; going on without it: the password travels in clear\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("\"tls\": false"), std::string::npos) << run.out;
}

// dirweigh-cli as its own process, with stdin, stdout and stderr on the
// given descriptors; `env` replaces the environment.
pid_t SpawnCli(const std::vector<std::string>& cliArgs, int in, int out, int err, std::vector<std::string> env) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    const std::string program = platform::ExecutableDirectory() + "/dirweigh-cli";
    std::vector<std::string> args{program};
    args.insert(args.end(), cliArgs.begin(), cliArgs.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t child = -1;
    if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(CliProcess, InterruptThreeLevelsDownReportsTheCancelOnceAndThePartialTotals) {
    testsupport::TreeFtpServer server;
    server.AddFile("first/a.html", 7);
    pid_t child = -1;
    server.StallList("second/x/y", [&child] { kill(child, SIGINT); });
    server.AddFile("second/x/y/b.html", 9);
    server.Start();

    int out[2], err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    child = SpawnCli({"--bytes", server.Address()}, STDIN_FILENO, out[1], err[1], {});
    ASSERT_GT(child, 0);
    close(out[1]);
    close(err[1]);
    const std::string printed = ReadAll(out[0]);
    const std::string errors = ReadAll(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(printed, "7\n");
    EXPECT_EQ(Occurrences(errors, "Operation has been canceled"), 1u) << errors;
    EXPECT_EQ(Occurrences(errors, "You have to connect"), 0u) << errors;
}

// Over SFTP too, Ctrl-C ends the wait on the server, here the SSH
// handshake with one that never answers, long before the time-out.
TEST(CliProcess, InterruptDuringTheSshHandshakeCancelsAtOnce) {
    testsupport::LoopbackListener silent;
    int err[2];
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = SpawnCli({"--timeout", "30", "sftp://127.0.0.1:" + std::to_string(silent.Port()) + "/"},
                                 STDIN_FILENO, STDOUT_FILENO, err[1], {});
    ASSERT_GT(child, 0);
    close(err[1]);
    const int connection = silent.Accept(5);
    kill(child, SIGINT);
    const std::string errors = ReadAll(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (connection >= 0) close(connection);
    EXPECT_GE(connection, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(Occurrences(errors, "Operation has been canceled"), 1u) << errors;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// Reads `fd` into `text` until `ready` holds, at most 10 s; false when it
// never did.
bool ReadUntil(int fd, std::string& text, const std::function<bool()>& ready) {
    char buffer[256];
    for (int waited = 0; waited < 10000 && !ready(); waited += 50) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 50) <= 0) continue;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return ready();
}

struct InterruptedRun {
    bool interrupted = false;  // the signal went at the moment asked for
    int status = 0;
    std::string out, err;
    std::chrono::steady_clock::duration took{};
};

// dirweigh-cli -v over sftp:// through `relay`, with `home`'s keys, sent
// Ctrl-C once `held` says the relay holds what the run waits on; it reads
// what the run prints meanwhile.
InterruptedRun InterruptSftpRun(const clitest::SshClientHome& home, const testsupport::TcpRelay& relay,
                                const std::function<bool(const std::string& printed)>& held) {
    InterruptedRun run;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
    const auto started = std::chrono::steady_clock::now();
    const std::string url = "sftp://dirweigh-sftp@127.0.0.1:" + std::to_string(relay.Port()) + "/";
    const pid_t child = SpawnCli({"--timeout", "30", "-v", "--bytes", url}, STDIN_FILENO, out[1], err[1],
                                 {"HOME=" + home.Dir().string(), "XDG_STATE_HOME=" + home.Dir().string()});
    close(out[1]);
    close(err[1]);
    if (child <= 0) return run;
    run.interrupted = ReadUntil(err[0], run.err, [&] { return held(run.err); });
    kill(child, SIGINT);
    run.out = ReadAll(out[0]);
    run.err += ReadAll(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.took = std::chrono::steady_clock::now() - started;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Against sshd, through a relay that stops forwarding: Ctrl-C in the
// logon, the key exchange done, and in the walk, with its requests out,
// ends the run at once, with the partial total of the walk.
TEST(CliProcess, InterruptDuringTheSftpLogonAndWalkCancelsAtOnce) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    // Each level is asked for once its parent is read: the walk is far
    // from its end when the fifth is asked for.
    std::filesystem::path deep = sshd.Root();
    for (int level = 0; level < 200; ++level) {
        deep /= "d";
        std::filesystem::create_directory(deep);
        std::ofstream(deep / "f") << 'x';
    }
    const clitest::SshClientHome home(sshd);
    for (const bool inTheWalk : {false, true}) {
        SCOPED_TRACE(inTheWalk ? "in the walk" : "in the logon");
        testsupport::TcpRelay relay(sshd.Port());
        // The client knows the server under the relay's port.
        std::string known;
        for (const std::string& key : {sshd.HostKey(), sshd.EcdsaHostKey()}) {
            known += "[127.0.0.1]:" + std::to_string(relay.Port()) + " ";
            known += key + "\n";
        }
        home.KnowHosts(known);
        if (!inTheWalk) relay.HoldAfterKeyExchange();
        const InterruptedRun run = InterruptSftpRun(home, relay, [&](const std::string& printed) {
            if (inTheWalk && printed.find("OPENDIR /d/d/d/d/d\n") != std::string::npos) relay.Hold();
            return relay.Held();
        });
        EXPECT_TRUE(run.interrupted) << run.err;
        EXPECT_LT(run.took, std::chrono::seconds(10));
        EXPECT_EQ(run.status, 130) << run.err;
        EXPECT_EQ(Occurrences(run.err, "Operation has been canceled"), 1u) << run.err;
        if (inTheWalk) {
            EXPECT_TRUE(std::regex_match(run.out, std::regex("[0-9]+\n"))) << run.out;
            EXPECT_LT(std::atoi(run.out.c_str()), 200) << run.out;
        } else {
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err.find("SSH: "), std::string::npos) << "the host key is not yet in" << run.err;
        }
    }
}

// Ctrl-C while the password prompt hides what is typed must give the
// terminal its echo back, or the shell is left typing blind.
TEST(CliProcess, InterruptAtThePasswordPromptRestoresEcho) {
    int master = -1, terminal = -1;
    if (openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal on this machine";
    const std::string home = testing::TempDir() + "/dirweigh-empty-home-" + std::to_string(getpid());
    mkdir(home.c_str(), 0700);
    const pid_t child = SpawnCli({"--user", "me", "127.0.0.1:9"}, terminal, terminal, terminal, {"HOME=" + home});
    ASSERT_GT(child, 0);
    std::string shown;
    char buffer[256];
    pollfd wait{master, POLLIN, 0};
    while (shown.find("Password for me@") == std::string::npos && poll(&wait, 1, 10000) > 0) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    ASSERT_NE(shown.find("Password for me@"), std::string::npos) << shown;
    termios settings{};
    bool echoOff = false;
    for (int i = 0; i < 200 && !echoOff; ++i) {  // the prompt is written just before the echo goes
        tcgetattr(terminal, &settings);
        echoOff = (settings.c_lflag & ECHO) == 0;
        if (!echoOff) usleep(10000);
    }
    ASSERT_TRUE(echoOff) << "the prompt hides what is typed";
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "ends as Ctrl-C ends a program";
    tcgetattr(terminal, &settings);
    EXPECT_NE(settings.c_lflag & ECHO, 0u) << "echo is back";
    close(master);
    close(terminal);
    rmdir(home.c_str());
}

TEST(CliRun, FailuresBeforeAnyListingPrintNoSizeAndUnreadableFilesExitWithTwo) {
    const std::string dir = testing::TempDir();
    CliResult unreadable = RunCli({"127.0.0.1:9", "--user", "me", "--password-file", dir});
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_NE(unreadable.err.find("cannot read " + dir), std::string::npos) << unreadable.err;

    const std::string refused = "127.0.0.1:1";
    CliResult bytes = RunCli({refused, "--bytes"});
    EXPECT_EQ(bytes.status, 1);
    EXPECT_EQ(bytes.out, "") << "no number that could pass for a size";
    EXPECT_NE(bytes.err.find("dirweigh-cli: 127.0.0.1:1: "), std::string::npos) << bytes.err;
    CliResult json = RunCli({refused, "--json"});
    EXPECT_NE(json.out.find("\"complete\": false, \"error\": \""), std::string::npos) << json.out;

    // An IPv6 server is reached: the failure is the connection's.
    CliResult ipv6 = RunCli({"ftp://[::1]:1/", "--bytes"});
    EXPECT_EQ(ipv6.status, 1);
    EXPECT_NE(ipv6.err.find("[10061] Connection refused"), std::string::npos) << ipv6.err;
}

// The servers people run, as they ship (dot names hidden from a bare LIST;
// pure-ftpd offering TLS and then refusing it) and tuned to show dot names,
// over a web site with hidden entries: both walks, default options, give
// the site's exact totals on every one, and say how they listed.
TEST(CliOnRealServers, EveryServerAsShippedAndTunedGivesTheWholeSite) {
    testsupport::SiteTree tree;
    tree.AddWebSite();
    // Latin-1 names, which none of these servers turns into UTF-8: the
    // bytes a listing gave go back in CWD and STAT as they came.
    tree.AddFile("caf\xE9 menu/r\xE9sum\xE9.html", 777);
    const testsupport::TreeTotals truth = tree.Totals();
    const std::string passwordFile = (tree.Root().parent_path() / (tree.Root().filename().string() + ".pw")).string();
    struct Row {
        const char* name;
        std::unique_ptr<testsupport::RealFtpServer> server;
        std::string user, password;
        const char* fastListing;
        const char* designedListing;
    };
    std::vector<Row> rows;
    rows.push_back(
        {"vsftpd", std::make_unique<testsupport::Vsftpd>(tree.Root()), "anonymous", "guest", "STAT", "LIST -a"});
    rows.push_back(
        {"vsftpd force_dot_files",
         std::make_unique<testsupport::Vsftpd>(tree.Root(), testsupport::VsftpdOptions{.forceDotFiles = true}),
         "anonymous", "guest", "STAT", "LIST"});
    rows.push_back(
        {"proftpd", std::make_unique<testsupport::Proftpd>(tree.Root()), "anonymous", "guest", "STAT", "LIST -a"});
    rows.push_back(
        {"proftpd ListOptions -a",
         std::make_unique<testsupport::Proftpd>(tree.Root(), testsupport::ProftpdOptions{.listDotFiles = true}),
         "anonymous", "guest", "STAT", "LIST"});
    rows.push_back(
        {"pure-ftpd", std::make_unique<testsupport::PureFtpd>(tree.Root()), "web", "site-pass", "STAT -a", "LIST -a"});
    rows.push_back({"vsftpd on ::1",
                    std::make_unique<testsupport::Vsftpd>(tree.Root(), testsupport::VsftpdOptions{.ipv6 = true}),
                    "anonymous", "guest", "STAT", "LIST -a"});
    rows.push_back({"proftpd on ::1",
                    std::make_unique<testsupport::Proftpd>(tree.Root(), testsupport::ProftpdOptions{.ipv6 = true}),
                    "anonymous", "guest", "STAT", "LIST -a"});
    rows.push_back({"pure-ftpd on ::1",
                    std::make_unique<testsupport::PureFtpd>(tree.Root(), testsupport::PureFtpdOptions{.ipv6 = true}),
                    "web", "site-pass", "STAT -a", "LIST -a"});
    rows.push_back(
        {"pure-ftpd -D",
         std::make_unique<testsupport::PureFtpd>(tree.Root(), testsupport::PureFtpdOptions{.displayDotFiles = true}),
         "web", "site-pass", "STAT", "LIST"});
    std::vector<std::string> skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.server->Skipped()) {
            skipped.push_back(std::string(row.name) + ": " + row.server->Error());
            continue;
        }
        ASSERT_TRUE(row.server->Running()) << row.server->Error();
        std::ofstream(passwordFile) << row.password << '\n';
        // Both walks, and each in both modes: the fast one opens a data
        // connection only to choose how to list.
        for (const auto& [fast, active] : {std::pair{true, false}, {true, true}, {false, false}, {false, true}}) {
            SCOPED_TRACE(std::string(fast ? "fast" : "design") + (active ? " active" : " passive"));
            std::vector<std::string> args{"ftp://" + row.user + "@" + row.server->Address(), "--json",
                                          "--password-file", passwordFile};
            if (!fast) args.insert(args.end(), {"--walk", "design"});
            if (active) args.push_back("--active");
            const CliResult run = RunCli(args);
            EXPECT_EQ(run.status, 0) << run.err << row.server->Log();
            EXPECT_NE(run.out.find("\"bytes\": " + std::to_string(truth.bytes) + ","), std::string::npos) << run.out;
            EXPECT_NE(run.out.find("\"files\": " + std::to_string(truth.files) + ","), std::string::npos) << run.out;
            EXPECT_NE(run.out.find("\"directories\": " + std::to_string(truth.directories) + ","), std::string::npos)
                << run.out;
            EXPECT_NE(
                run.out.find("\"listing\": \"" + std::string(fast ? row.fastListing : row.designedListing) + "\""),
                std::string::npos)
                << run.out;
        }
    }
    std::filesystem::remove(passwordFile);
    // pyftpdlib reads commands as UTF-8 only, and once it has refused a CWD
    // to a Latin-1 name it is lost in its own tree (even its PWD fails).
    std::filesystem::remove_all(tree.Root() / "caf\xE9 menu");
    const testsupport::TreeTotals utf8Truth = tree.Totals();
    for (const char* host : {"127.0.0.1", "::1"}) {
        testsupport::PyFtpd pyftpd(tree.Root().string(), "me", "secret", {}, 0, false, false, false, 0, false, host);
        ASSERT_TRUE(pyftpd.Running()) << pyftpd.Error();
        for (const char* walk : {"fast", "design"}) {
            for (const char* mode : {"--passive", "--active"}) {
                SCOPED_TRACE(std::string("pyftpdlib on ") + host + ", " + walk + " " + mode);
                const CliResult run = RunCli({"ftp://me@" + pyftpd.Address(), "--json", "--walk", walk, mode});
                EXPECT_EQ(run.status, 0) << run.err;
                EXPECT_NE(run.out.find("\"bytes\": " + std::to_string(utf8Truth.bytes) + ","), std::string::npos)
                    << run.out;
                EXPECT_NE(run.out.find("\"files\": " + std::to_string(utf8Truth.files) + ","), std::string::npos)
                    << run.out;
            }
        }
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped.front();
}

// pure-ftpd as it ships lists at most 10,000 entries of a directory, and
// pyftpdlib refuses a folder the account may not read: both walks count
// what the server gave, name what it did not, walk the rest of the site
// and exit with 1, and the export flags only the folders not read whole.
// Listed from both ends, a directory of up to twice the cap is read whole,
// the start directory too.
TEST(CliOnRealServers, CappedListingsAndRefusedFoldersAreToldAndTheRestWalked) {
    testsupport::SiteTree tree;
    // At the start: its listing is the one that chooses how to list.
    for (int i = 0; i < 10500; ++i) tree.AddFile("file" + std::to_string(100000 + i), 10);
    for (int i = 0; i < 10; ++i) tree.AddFile("small/page" + std::to_string(i) + ".html", 10);
    tree.AddFile("photos/a.jpg", 10);
    tree.AddDirectory("new folder");
    tree.AddFile("photos 2021/b.jpg", 10);
    testsupport::SiteTree huge;
    for (int i = 0; i < 20100; ++i) huge.AddFile("huge/f" + std::to_string(100000 + i), 1);
    huge.AddFile("small/page.html", 10);
    tree.AddFile("closed-x/secret.html", 1000);
    testsupport::SiteTree work;
    const std::string exported = (work.Root() / "site.json").string();
    const std::string passwordFile = (work.Root() / "pw").string();
    std::ofstream(passwordFile) << "site-pass\n";
    testsupport::PureFtpd pure(tree.Root());
    testsupport::PureFtpd pureHuge(huge.Root());
    testsupport::PyFtpd pyftpd(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(pyftpd.Running()) << pyftpd.Error();
    testsupport::PyFtpd pyftpdHuge(huge.Root().string(), "me", "secret");
    ASSERT_TRUE(pyftpdHuge.Running()) << pyftpdHuge.Error();
    for (const char* walk : {"fast", "design"}) {
        SCOPED_TRACE(walk);
        // Too long to hold, huge/ is counted as it arrives, and kept once.
        CliResult run = RunCli({"ftp://me@" + pyftpdHuge.Address(), "--json", "--walk", walk, "--ncdu", exported});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("\"bytes\": 20110, \"kilobytes\": 19, \"files\": 20101, "), std::string::npos)
            << run.out;
        std::string text = ReadFile(exported);
        std::size_t kept = 0;
        for (std::size_t at = text.find("\"name\":\"f1"); at != std::string::npos;
             at = text.find("\"name\":\"f1", at + 1))
            ++kept;
        EXPECT_EQ(kept, 20100u);
        run = RunCli({"ftp://me@" + pyftpd.Address(), "--json", "--walk", walk, "--ncdu", exported});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.out.find("\"bytes\": 105120, \"kilobytes\": 102, \"files\": 10512, "), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("\"unreadable_directories\": 1, \"cut_directories\": 0"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(": cannot read /closed-x: 550 "), std::string::npos) << run.err;
        text = ReadFile(exported);
        const std::size_t flagged = text.find("\"read_error\":true");
        EXPECT_EQ(text.find("\"read_error\":true", flagged + 1), std::string::npos) << "only one folder flagged";
        EXPECT_NE(text.rfind("\"name\":\"closed-x\"", flagged), std::string::npos) << text.substr(0, 300);
        if (pure.Skipped()) continue;
        ASSERT_TRUE(pure.Running()) << pure.Error();
        ASSERT_TRUE(pureHuge.Running()) << pureHuge.Error();
        // As root, pure-ftpd reads closed-x too.
        run = RunCli({"ftp://web@" + pure.Address(), "--json", "--walk", walk, "--password-file", passwordFile});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("\"bytes\": 106120, \"kilobytes\": 103, \"files\": 10513, "), std::string::npos)
            << run.out;
        run = RunCli({"ftp://web@" + pureHuge.Address(), "--json", "--walk", walk, "--password-file", passwordFile});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.out.find("\"cut_directories\": 1, "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\"complete\": false, \"error\": \"1 directory listed only in part\""),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.err.find(": huge: the server listed only part of it (226 Output truncated to 10000 matches);"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("(pure-ftpd: its -L option)"), std::string::npos) << run.err;
    }
    if (pure.Skipped()) GTEST_SKIP() << pure.Error();
}

class CliAgainstPyftpdlib : public ::testing::TestWithParam<bool> {};

TEST_P(CliAgainstPyftpdlib, WalkGivesTheTreesTotals) {
    testsupport::SiteTree tree;
    std::uint64_t bytes = 0;
    int files = 0;
    for (int d = 0; d < 30; ++d) {
        const std::string dir = (d % 4 ? "dir " : "dir_") + std::to_string(d) + (d % 5 ? "" : "/logs");
        tree.AddFile(dir + "/page.html", 100 + d);
        if (d % 5) {
            bytes += 100 + d;
            ++files;
        }
    }
    tree.AddFile("huge.iso", 4294967296ULL);
    bytes += 4294967296ULL;
    ++files;
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    std::vector<std::string> args{"ftp://me@" + server.Address(), "--json"};
    if (!GetParam()) args.push_back("--active");
    CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"bytes\": " + std::to_string(bytes) + ","), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"files\": " + std::to_string(files) + ","), std::string::npos) << run.out;
}

// Over TLS with the certificate pinned: the same totals, and the JSON and
// -v say it went encrypted.
TEST(CliAgainstPyftpdlibTls, PinnedWalkReportsTlsAndTheTotals) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    tree.AddFile("a/b.html", 1234);
    tree.AddFile("c.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret", certificate.KeyAndCertFile());
    ASSERT_TRUE(server.Running()) << server.Error();
    CliResult run =
        RunCli({"ftp://me@" + server.Address(), "--json", "-v", "--tls-fingerprint", certificate.Fingerprint()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"bytes\": 1244,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"tls\": true,"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("\nTLS: TLS 1."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(", certificate pinned\n"), std::string::npos) << run.err;

    // Without the pin, nothing is measured and the message shows the
    // fingerprint to pin.
    run = RunCli({"ftp://me@" + server.Address(), "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("(to trust it: --tls-fingerprint " + certificate.Fingerprint() + ")"), std::string::npos)
        << run.err;
}

// A server that spoke TLS is remembered after the logon, and under auto it
// must speak TLS again, as ssh holds a host to its key.
TEST(CliAgainstPyftpdlibTls, ServerThatSpokeTlsBeforeIsRefusedWithoutIt) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    tree.AddFile("c.html", 10);
    testsupport::SiteTree state;  // a temporary folder for the state file
    const std::string file = (state.Root() / "dirweigh" / "tls-servers").string();
    {
        testsupport::PyFtpd tls(tree.Root().string(), "me", "secret", certificate.KeyAndCertFile());
        ASSERT_TRUE(tls.Running()) << tls.Error();
        CliResult run = RunCli({"ftp://me@" + tls.Address(), "--tls-fingerprint", certificate.Fingerprint()}, file);
        EXPECT_EQ(run.status, 0) << run.err;
        std::ifstream kept(file);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), tls.Address() + "\n");
    }
    testsupport::PyFtpd plain(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(plain.Running()) << plain.Error();
    std::ofstream(file, std::ios::app) << plain.Address() << "\n";
    CliResult run = RunCli({"ftp://me@" + plain.Address()}, file);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(plain.Address() + ": This server spoke TLS before, and now it does not offer TLS. "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("run with --tls off, or remove the line \"" + plain.Address() + "\" from " + file + "\n"),
              std::string::npos)
        << run.err;
    // Every spelling of the same server is the same server.
    const std::string port = plain.Address().substr(plain.Address().find(':') + 1);
    char hex[16];
    std::snprintf(hex, sizeof hex, "$%X", static_cast<unsigned>(std::stoi(port)));
    for (const std::string& spelling : {"127.0.0.1:0" + port, "127.0.0.1:+" + port, "127.0.0.1:" + std::string(hex),
                                        "127.1:" + port, "2130706433:" + port}) {
        SCOPED_TRACE(spelling);
        run = RunCli({"ftp://me@" + spelling}, file);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("This server spoke TLS before, and now it does not offer TLS. "), std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("PASS"), std::string::npos) << run.err;
    }
    run = RunCli({"ftp://me@" + plain.Address(), "--tls", "off", "--bytes"}, file);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "10\n");
}

// A server that offers TLS on the first connection only: the further ones
// must not log on in clear; the walk goes on with the secured one.
TEST(CliAgainstPyftpdlibTls, FurtherConnectionsAreSecuredOrNotUsed) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    for (int d = 0; d < 80; ++d) tree.AddFile("d" + std::to_string(d) + "/p.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret", certificate.KeyAndCertFile(), 0, false, true,
                               false, 25);
    ASSERT_TRUE(server.Running()) << server.Error();
    CliResult run =
        RunCli({"ftp://me@" + server.Address(), "--json", "-v", "--tls-fingerprint", certificate.Fingerprint()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"bytes\": 800,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"tls\": true,"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("[2] TLS is required, but the server refused it: 500 "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("[2] PASS"), std::string::npos) << run.err;
}

// An ftps:// URL: TLS from the first byte on every connection of the walk,
// the further ones logged on beside the busy first. Untrusted, nothing is
// sent; pinned, the total is exact.
TEST(CliAgainstPyftpdlibTls, ImplicitTlsIsRefusedUntrustedAndWalkedPinned) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    for (int d = 0; d < 80; ++d) tree.AddFile("d" + std::to_string(d) + "/p.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret", certificate.KeyAndCertFile(), 0, false, false,
                               false, 25, true);
    ASSERT_TRUE(server.Running()) << server.Error();
    const std::string url = "ftps://me@" + server.Address();
    CliResult run = RunCli({url, "-v"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("(to trust it: --tls-fingerprint " + certificate.Fingerprint() + ")"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("USER"), std::string::npos) << run.err;

    run = RunCli({url, "--json", "-v", "--tls-fingerprint", certificate.Fingerprint()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"bytes\": 800,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"tls\": true,"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("\n[2] PROT P\n"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("\nAUTH TLS"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("] AUTH TLS"), std::string::npos) << run.err;

    // A plain server at an ftps:// address: the handshake fails, and says what may be wrong.
    testsupport::PyFtpd plain(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(plain.Running()) << plain.Error();
    run = RunCli({"ftps://me@" + plain.Address()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("; a server that does not speak TLS from its first byte (implicit FTPS) wants ftp:// "
                           "instead"),
              std::string::npos)
        << run.err;
}

// The fast walk may use four connections, and its slow listings pay for
// more; a server that takes one only ("421 Too many connections") is walked
// on that one, with the same totals.
TEST(CliAgainstPyftpdlibLimited, FastWalkGoesOnWithTheConnectionsTheServerTakes) {
    testsupport::SiteTree tree;
    for (int d = 0; d < 20; ++d) tree.AddFile("d" + std::to_string(d) + "/sub/p.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret", {}, 1, false, false, false, 20);  // one client
    ASSERT_TRUE(server.Running()) << server.Error();
    CliResult run = RunCli({"ftp://me@" + server.Address(), "--bytes", "-v", "--connections", "4"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "200\n");
    EXPECT_NE(run.err.find("[2]  421 "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nSTAT /d19/sub\n"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(ActiveAndPassive, CliAgainstPyftpdlib, ::testing::Values(false, true),
                         [](const auto& run) { return run.param ? "Passive" : "Active"; });

// --dial against a mock NetworkManager on a private bus.
class CliDial : public ::testing::Test {
protected:
    // The environment of a dirweigh-cli of its own. Qt's D-Bus thread may
    // still be ending when a sanitized process runs its leak check at exit;
    // the check then misses the thread's own data and calls it a leak, which
    // turns the exit status into 1. The dial-up code's own leaks are checked
    // by the tests that dial within the test process.
    std::vector<std::string> CliEnvironment(std::vector<std::string> more) const {
        more.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + bus_->Address());
        more.push_back("ASAN_OPTIONS=detect_leaks=0");
        return more;
    }
    void SetUp() override {
        if (const std::string why = testsupport::MockNetworkManager::Unavailable(); !why.empty()) {
            GTEST_SKIP() << "no mock NetworkManager: " << why;
        }
        bus_.emplace();
        ASSERT_TRUE(bus_->Running()) << bus_->Error();
    }
    void StartNetworkManager() {
        nm_.emplace(*bus_);
        ASSERT_TRUE(nm_->Running()) << nm_->Error();
        nm_->AddProfile("Office VPN");
        nm_->AddProfile("Mobile", "gsm");
    }
    void TearDown() override {
        nm_.reset();
        bus_.reset();
    }

    std::optional<testsupport::PrivateBus> bus_;
    std::optional<testsupport::MockNetworkManager> nm_;
};

// The program itself: the link comes up before the FTP dialogue starts and
// goes down after it ends.
TEST_F(CliDial, DialsBeforeTheWalkAndHangsUpAfterIt) {
    StartNetworkManager();
    nm_->ScriptActivation("Office VPN", "1:0:0,1:4:0,2:12:0", 50);
    testsupport::SiteTree tree;
    tree.AddFile("a/b.html", 1234);
    tree.AddFile("c.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();

    int out[2], err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    const pid_t child =
        SpawnCli({"ftp://me@" + server.Address(), "--bytes", "-v", "--dial", "Office VPN", "--dial-timeout", "2"},
                 STDIN_FILENO, out[1], err[1], CliEnvironment({"DIRWEIGH_PASSWORD=secret"}));
    ASSERT_GT(child, 0);
    close(out[1]);
    close(err[1]);
    const std::string printed = ReadAll(out[0]);
    const std::string errors = ReadAll(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << errors;
    EXPECT_EQ(printed, "1244\n");
    const std::size_t connected = errors.find("dial-up: Successfully connected\n");
    const std::size_t logon = errors.find("USER me");
    const std::size_t hungUp = errors.find("dial-up: hung up Office VPN\n");
    ASSERT_NE(connected, std::string::npos) << errors;
    ASSERT_NE(hungUp, std::string::npos) << errors;
    EXPECT_LT(connected, logon) << errors;
    EXPECT_LT(errors.find("QUIT"), hungUp) << errors;
    EXPECT_EQ(nm_->Activations(), std::vector<std::string>{"Office VPN"});
    EXPECT_EQ(nm_->Deactivations(), std::vector<std::string>{"Office VPN"});
}

// NetworkManager's own profiles (the loopback's) are no entries. An entry
// that is not there fails the run (FTP or SFTP) before any connection, whether
// NetworkManager has other entries or none: walking without the link
// could reach another host of that name.
TEST_F(CliDial, EntriesAreListedAndAnUnknownOneFailsBeforeConnecting) {
    nm_.emplace(*bus_);
    ASSERT_TRUE(nm_->Running()) << nm_->Error();
    nm_->AddGeneratedProfile("lo", "loopback", 0x3);
    const struct {
        const char* listed;
        const char* refusal;
    } kCases[] = {
        {"", "--dial Home: there are no dial-up entries (see --list-dial-entries)"},
        {"Office VPN\nMobile\n", "--dial Home: Invalid service name (see --list-dial-entries)"},
    };
    for (const auto& entries : kCases) {
        SCOPED_TRACE(entries.listed);
        CliResult list = RunCli({"--list-dial-entries"});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_EQ(list.out, entries.listed);
        for (const char* server : {"127.0.0.1:1", "sftp://127.0.0.1:1/"}) {
            CliResult run = RunCli({server, "--dial", "Home"});
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(entries.refusal), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("Connection refused"), std::string::npos) << "no connection was tried: " << run.err;
        }
        if (list.out.empty()) {
            nm_->AddProfile("Office VPN");
            nm_->AddProfile("Mobile", "gsm");
        }
    }
    EXPECT_TRUE(nm_->Activations().empty());
}

// The link drops while the walk waits on the server: the walk ends at once
// and says so, rather than after --timeout; nothing is hung up, and the
// drop does not read as connected.
TEST_F(CliDial, LinkThatGoesDownEndsTheWalkAtOnce) {
    StartNetworkManager();
    nm_->ScriptActivation("Office VPN", "2:0:0,4:0:3");  // up at once; down (device gone) on Advance
    testsupport::TreeFtpServer server;
    server.AddFile("first/a.html", 7);
    server.StallList("second", [this] { nm_->Advance(); });
    server.AddFile("second/b.html", 9);
    server.Start();

    int out[2], err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = SpawnCli({server.Address(), "--bytes", "-v", "--dial", "Office VPN", "--timeout", "20"},
                                 STDIN_FILENO, out[1], err[1], CliEnvironment({}));
    ASSERT_GT(child, 0);
    close(out[1]);
    close(err[1]);
    ReadAll(out[0]);
    const std::string errors = ReadAll(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(WIFEXITED(status)) << errors;
    EXPECT_EQ(WEXITSTATUS(status), 1) << errors;
    EXPECT_LT(took, std::chrono::seconds(10)) << errors;
    EXPECT_NE(errors.find(": the dial-up link Office VPN went down: The device of the connection was disconnected\n"),
              std::string::npos)
        << errors;
    EXPECT_EQ(Occurrences(errors, "dial-up: Successfully connected"), 1u) << errors;
    EXPECT_EQ(Occurrences(errors, "hung up"), 0u) << errors;
    EXPECT_TRUE(nm_->Deactivations().empty());
}

// No NetworkManager, as on a server: nothing is dialled and the walk goes on.
TEST_F(CliDial, WithoutNetworkManagerNothingIsDialledAndTheWalkGoesOn) {
    testsupport::SiteTree tree;
    tree.AddFile("c.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    CliResult run = RunCli({"ftp://me@" + server.Address(), "--bytes", "--dial", "Office VPN"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "10\n");
    EXPECT_NE(run.err.find("--dial Office VPN: nothing dialled: NetworkManager is not running on the system bus"),
              std::string::npos)
        << run.err;

    CliResult list = RunCli({"--list-dial-entries"});
    EXPECT_EQ(list.status, 1);
    EXPECT_NE(list.err.find("no dial-up entries: NetworkManager is not running"), std::string::npos) << list.err;
}

// Ctrl-C while the link is still coming up: the attempt is taken down and
// nothing is connected.
TEST_F(CliDial, InterruptDuringTheDialTakesTheAttemptDown) {
    StartNetworkManager();
    nm_->ScriptActivation("Office VPN", "1:0:0");  // activates for ever
    int out[2], err[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(err, O_CLOEXEC), 0);
    const pid_t child = SpawnCli({"127.0.0.1:1", "-v", "--dial", "Office VPN", "--dial-timeout", "2"}, STDIN_FILENO,
                                 out[1], err[1], CliEnvironment({}));
    ASSERT_GT(child, 0);
    close(out[1]);
    close(err[1]);
    std::string errors;
    char buffer[256];
    pollfd readable{err[0], POLLIN, 0};
    for (int round = 0; round < 40 && errors.find("dial-up: Dialing...") == std::string::npos; ++round) {
        if (poll(&readable, 1, 50) <= 0) continue;
        const ssize_t n = read(err[0], buffer, sizeof buffer);
        if (n <= 0) break;
        errors.append(buffer, static_cast<std::size_t>(n));
    }
    kill(child, SIGINT);
    errors += ReadAll(err[0]);
    ReadAll(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << errors;
    EXPECT_EQ(WEXITSTATUS(status), 130) << errors;
    EXPECT_NE(errors.find("dialling Office VPN: Operation has been canceled"), std::string::npos) << errors;
    EXPECT_EQ(Occurrences(errors, "dial-up: hung up Office VPN\n"), 1u) << errors;
    EXPECT_EQ(nm_->Deactivations(), std::vector<std::string>{"Office VPN"});
}
