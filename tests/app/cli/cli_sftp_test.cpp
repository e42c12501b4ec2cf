// SPDX-License-Identifier: MIT
#include "app/cli/cli_run.h"
#include "platform/messages.h"
#include "tests/app/cli/cli_ssh_home.h"
#include "tests/fakes/sshd.h"
#include "tests/support/cpu_time.h"
#include "tests/support/loopback.h"
#include "tests/support/tcp_relay.h"
#include "walk/sftp_lane_pool.h"
#include "walk/sftp_site_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

using clitest::CliResult;
using clitest::ReadFile;
using clitest::SshClientHome;

extern char** environ;

namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, std::size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

std::string Url(const testsupport::Sshd& sshd) { return clitest::SftpUrl(sshd); }

constexpr std::int64_t kBigFile = (std::int64_t{1} << 32) + 1;

// A site with what SFTP servers show and FTP servers often hide: names
// with a dot, names with blanks, links to a file and to a directory (never
// followed, never counted, as the FTP walks do), the excluded logs, a
// folder the user may not read, and more directories than the walk keeps
// open at once.
std::int64_t MakeSite(const fs::path& root) {
    WriteFile(root / "index.html", 1000);
    WriteFile(root / ".htaccess", 20);
    WriteFile(root / "my docs" / "read me.txt", 300);
    WriteFile(root / ".git" / "config", 50);
    fs::create_symlink("index.html", root / "link");
    fs::create_symlink("my docs", root / "dirlink");
    WriteFile(root / "logs" / "access.log", 5000);
    WriteFile(root / "private" / "secret", 999);
    fs::permissions(root / "private", fs::perms::owner_all);
    // Names as bytes: Latin-1, and a line break, which SFTP carries whole.
    WriteFile(root / "caf\xe9.txt", 7);
    WriteFile(root / "two\nlines", 3);
    // Past 32 bits, and sparse so that it costs no disk.
    std::ofstream(root / "disk.img").close();
    fs::resize_file(root / "disk.img", kBigFile);
    std::size_t many = 0;
    for (std::size_t i = 1; i <= 70; ++i) {
        // Appended rather than "d" + ...: GCC 12 warns of an overlap that is not there.
        std::string name = "d";
        name += std::to_string(i);
        WriteFile(root / "many" / name / "f", i);
        many += i;
    }
    return 1000 + 20 + 300 + 50 + 7 + 3 + kBigFile + static_cast<std::int64_t>(many);
}

TEST(CliAgainstSshd, WalksEveryDirectoryByItsAttributesAsTheFtpWalksCount) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    const std::int64_t bytes = MakeSite(sshd.Root());
    SshClientHome home(sshd);
    // Hashed, as Debian's ssh writes its known_hosts.
    home.KnowHosts(sshd.KnownHostsLine(sshd.HostKey()) + "\n");
    ASSERT_EQ(
        std::system(("ssh-keygen -q -H -f '" + (home.SshDir() / "known_hosts").string() + "' >/dev/null 2>&1").c_str()),
        0);
    ASSERT_EQ(ReadFile(home.SshDir() / "known_hosts").rfind("|1|", 0), 0u);

    const CliResult whole = home.Run({"--json", "--exclude", "private", Url(sshd)});
    EXPECT_EQ(whole.status, cli::kExitComplete) << whole.err << sshd.Log();
    // The start, "my docs", .git, many and its 70.
    EXPECT_NE(whole.out.find("{\"bytes\": " + std::to_string(bytes) + ", "), std::string::npos) << whole.out;
    EXPECT_NE(whole.out.find("\"files\": 77, \"directories\": 74, \"skipped_directories\": 2,"), std::string::npos)
        << whole.out;
    EXPECT_NE(whole.out.find("\"listing\": \"READDIR\", \"complete\": true"), std::string::npos) << whole.out;

    // Over two connections sharing the frontier, the second logged on with
    // the first one's answers, the totals are the same.
    setenv("DIRWEIGH_SFTP_FURTHER_AT_ONCE", "1", 1);
    const CliResult lanes = home.Run({"--bytes", "-v", "--connections", "2", "--exclude", "private", Url(sshd)});
    unsetenv("DIRWEIGH_SFTP_FURTHER_AT_ONCE");
    EXPECT_EQ(lanes.out, std::to_string(bytes) + "\n") << lanes.err;
    EXPECT_NE(lanes.err.find("SSH: one more connection logged on"), std::string::npos) << lanes.err;

    // The per-directory totals and the site tree come from the same walk.
    const CliResult top = home.Run({"--top", "2", "--du", "--max-depth", "1", "--exclude", "private", Url(sshd)});
    EXPECT_NE(top.out.find("\n2485\t./many\n"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("\n" + std::to_string(bytes) + "\t.\n"), std::string::npos) << top.out;
    EXPECT_NE(top.out.find("Largest files:\n  4.00 GiB\t4294967297\tdisk.img\n  1000 B\t1000\tindex.html\n"),
              std::string::npos)
        << top.out;

    const CliResult refused = home.Run({"--bytes", "-v", Url(sshd)});
    EXPECT_EQ(refused.status, cli::kExitFailed) << refused.err;
    EXPECT_EQ(refused.out, std::to_string(bytes) + "\n");
    EXPECT_NE(refused.err.find("cannot read /private: Permission denied; its size is not in the total"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("OPENDIR /my docs\n"), std::string::npos) << refused.err;
    // The server has an ECDSA key too, which the user does not know.
    EXPECT_NE(refused.err.find("SSH: ssh-ed25519 host key SHA256:"), std::string::npos) << refused.err;
}

// A further connection that cannot log on is let go, and the walk goes on
// over the first to the whole total; one still logging on when nothing is
// left to list is let go too, the walk having listed beside its logon
// rather than waiting for it; one lost after its logon hands back the
// directories it had on the way.
TEST(CliAgainstSshd, FurtherConnectionThatCannotLogOnLeavesTheWalkWhole) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    const std::int64_t bytes = MakeSite(sshd.Root());
    SshClientHome home(sshd);
    home.KnowServer(sshd);
    platform::EnsureApplication();
    zn::SshAnswers answers;
    answers.Vouch = [](const zn::SshHostKey&, bool known) { return known; };
    zn::WalkRules rules;
    rules.GoOnPastUnreadable = true;
    struct Quiet : zn::WalkSessionObserver {
        void WalkFailed(const std::string&) override {}
    } observer;
    const auto target = [&home](std::uint16_t port) {
        return zn::SshTarget{"127.0.0.1:" + std::to_string(port), testsupport::Sshd::kUser, home.SshDir().string(), ""};
    };
    struct Walked {
        zn::WalkTotals totals;
        int further = 0;
        std::string steps;
    };
    const auto walkWithFurtherAt = [&](std::uint16_t port, bool waitForEach, int timeOut = 10,
                                       const std::function<void()>& loggedOn = {}) {
        zn::SftpConnection first;
        first.Open(target(sshd.Port()), answers, 10);
        Walked walked;
        zn::SshAnswers again = answers;
        // Through a relay, on a port the known hosts do not name.
        again.Vouch = [](const zn::SshHostKey&, bool) { return true; };
        again.Step = [&walked, loggedOn](const std::string& step) {
            walked.steps += step + "\n";
            if (loggedOn && step.find("logged on") != std::string::npos) loggedOn();
        };
        zn::SftpLanePool pool(first, target(port), again, timeOut);
        if (waitForEach) pool.WaitForEachLogon();
        zn::SftpWalker walker(first.Channel(), observer, rules, "");
        walker.SetFurtherLanes(&pool, 2, true);
        walker.Walk();
        walked.totals = walker.Totals();
        walked.further = pool.Opened();
        return walked;
    };

    const Walked refused = walkWithFurtherAt(testsupport::ClosedPort(), true);
    EXPECT_EQ(refused.totals.TotalBytes, bytes);
    EXPECT_FALSE(refused.totals.Aborted);
    EXPECT_EQ(refused.further, 0);
    EXPECT_NE(refused.steps.find("one more connection did not log on"), std::string::npos) << refused.steps;

    testsupport::TcpRelay silent(sshd.Port());
    silent.Hold();
    const Walked beside = walkWithFurtherAt(silent.Port(), false);
    EXPECT_EQ(beside.totals.TotalBytes, bytes);
    EXPECT_FALSE(beside.totals.Aborted);
    EXPECT_EQ(beside.further, 0);
    EXPECT_EQ(beside.steps, "");

    testsupport::TcpRelay stalls(sshd.Port());
    const Walked lost = walkWithFurtherAt(stalls.Port(), true, 1, [&stalls] { stalls.Hold(); });
    EXPECT_EQ(lost.totals.TotalBytes, bytes);
    EXPECT_FALSE(lost.totals.Aborted);
    EXPECT_EQ(lost.further, 1);
}

TEST(CliAgainstSshd, UnknownOrChangedHostKeyIsRefusedBeforeTheLogon) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    WriteFile(sshd.Root() / "a", 7);
    SshClientHome home(sshd);
    const auto loggedOnOrTried = [&sshd] { return sshd.Log().find("userauth-request") != std::string::npos; };

    home.KnowHosts(sshd.KnownHostsLine(sshd.OtherHostKey()) + "\n");
    const CliResult changed = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(changed.status, cli::kExitFailed);
    EXPECT_NE(changed.err.find("host key of 127.0.0.1:" + std::to_string(sshd.Port()) + " has changed"),
              std::string::npos)
        << changed.err;
    EXPECT_FALSE(loggedOnOrTried()) << sshd.Log();

    home.KnowHosts("");
    const CliResult unknown = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(unknown.status, cli::kExitFailed);
    std::smatch fingerprint;
    ASSERT_TRUE(std::regex_search(unknown.err, fingerprint, std::regex("--ssh-host-key (SHA256:[A-Za-z0-9+/]{43})")))
        << unknown.err;
    EXPECT_FALSE(loggedOnOrTried()) << sshd.Log();
    EXPECT_FALSE(fs::exists(home.OwnKnownHosts()));

    // Trusted once, remembered in DirWeigh's own file, never the user's;
    // what that file held, a line libssh2 cannot read included, stays.
    const std::string before = "not a known-hosts line\nkept.example " + sshd.HostKey() + "\n";
    fs::create_directories(home.OwnKnownHosts().parent_path());
    std::ofstream(home.OwnKnownHosts()) << before;
    EXPECT_EQ(home.Run({"--bytes", "--ssh-host-key", fingerprint[1], Url(sshd)}).out, "7\n");
    EXPECT_EQ(ReadFile(home.OwnKnownHosts()).rfind(before, 0), 0u) << ReadFile(home.OwnKnownHosts());
    EXPECT_EQ(ReadFile(home.SshDir() / "known_hosts"), "");
    // Knowing none of its keys, the client takes the type libssh2 likes best.
    const std::string kept = ReadFile(home.OwnKnownHosts());
    EXPECT_TRUE(kept.find(sshd.KnownHostsLine(sshd.HostKey())) != std::string::npos ||
                kept.find(sshd.KnownHostsLine(sshd.EcdsaHostKey())) != std::string::npos)
        << kept;
    EXPECT_EQ(home.Run({"--bytes", Url(sshd)}).out, "7\n");

    // Without a key, the password, asked for only now.
    fs::remove(home.SshDir() / "id_ed25519");
    const CliResult password = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(password.status, cli::kExitFailed);
    EXPECT_NE(password.err.find("the server refused the password of dirweigh-sftp"), std::string::npos) << password.err;
    EXPECT_NE(sshd.Log().find("Failed password for dirweigh-sftp"), std::string::npos) << sshd.Log();
    if (!sshd.TakesPassword()) return;
    home.password = testsupport::Sshd::kPassword;
    const CliResult right = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(right.status, cli::kExitComplete) << right.err << sshd.Log();
    EXPECT_EQ(right.out, "7\n");
    EXPECT_NE(sshd.Log().find("Accepted password for dirweigh-sftp"), std::string::npos) << sshd.Log();
}

// Servers that take the user another way: the password asked for by
// keyboard-interactive (PAM's prompt, with no password method beside it),
// answered once, so that a wrong one is refused rather than sent again and
// again; and a server on ::1, whose host key is known under "[::1]:port".
TEST(CliAgainstSshd, KeyboardInteractiveAndIpv6ServersLogOn) {
    std::uint16_t free6 = 0;
    const int probe = testsupport::ListenOnLoopback6(free6);
    if (probe >= 0) close(probe);
    struct Row {
        const char* name;
        testsupport::SshdOptions options;
        const char* accepted;
    };
    std::vector<std::string> skipped;
    for (const Row& row : {Row{"keyboard-interactive", {.keyboardInteractive = true}, "keyboard-interactive/pam"},
                           Row{"on ::1", {.ipv6 = true}, "publickey"}}) {
        SCOPED_TRACE(row.name);
        if (row.options.ipv6 && probe < 0) {
            skipped.push_back("no ::1 on this machine");
            continue;
        }
        testsupport::Sshd sshd(row.options);
        if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
        ASSERT_TRUE(sshd.Running()) << sshd.Error();
        if (row.options.keyboardInteractive && !sshd.TakesPassword()) {
            skipped.push_back("sshd cannot be given a password here");
            continue;
        }
        WriteFile(sshd.Root() / "a", 7);
        SshClientHome home(sshd);
        home.KnowServer(sshd);
        if (row.options.keyboardInteractive) {
            fs::remove(home.SshDir() / "id_ed25519");
            const CliResult wrong = home.Run({"--bytes", Url(sshd)});
            EXPECT_EQ(wrong.status, cli::kExitFailed);
            EXPECT_NE(wrong.err.find("the server refused the password of dirweigh-sftp"), std::string::npos)
                << wrong.err;
            home.password = testsupport::Sshd::kPassword;
        }
        const CliResult run = home.Run({"--bytes", Url(sshd)});
        EXPECT_EQ(run.status, cli::kExitComplete) << run.err << sshd.Log();
        EXPECT_EQ(run.out, "7\n");
        EXPECT_NE(sshd.Log().find("Accepted " + std::string(row.accepted) + " for dirweigh-sftp"), std::string::npos)
            << sshd.Log();
    }
    if (!skipped.empty()) GTEST_SKIP() << skipped.front();
}

// ssh-agent on a socket of its own, holding `key`, named by SSH_AUTH_SOCK
// while it lives; stopped by the destructor.
class Agent {
public:
    Agent(const fs::path& dir, const fs::path& key) : socket_(dir / "agent.sock") {
        const std::string socket = socket_.string();
        char* argv[] = {const_cast<char*>("/usr/bin/ssh-agent"), const_cast<char*>("-D"), const_cast<char*>("-a"),
                        const_cast<char*>(socket.c_str()), nullptr};
        // It prints the shell lines that would set SSH_AUTH_SOCK: not wanted here.
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &quiet, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&quiet);
        // At most 5 s for the socket to appear.
        for (int attempt = 0; attempt < 100 && !fs::exists(socket_); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
        added_ = std::system(("ssh-add -q '" + key.string() + "' >/dev/null 2>&1").c_str()) == 0;
    }
    ~Agent() {
        unsetenv("SSH_AUTH_SOCK");
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    bool Holds() const { return pid_ > 0 && added_; }

private:
    fs::path socket_;
    pid_t pid_ = -1;
    bool added_ = false;
};

// The key in the agent alone, none in ~/.ssh: the agent signs the logon.
TEST(CliAgainstSshd, KeyInTheAgentLogsOn) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    WriteFile(sshd.Root() / "a", 7);
    SshClientHome home(sshd);
    home.KnowHosts(sshd.KnownHostsLine(sshd.HostKey()) + "\n");
    fs::remove(home.SshDir() / "id_ed25519");
    const Agent agent(home.SshDir(), sshd.ClientKey());
    ASSERT_TRUE(agent.Holds());

    const CliResult run = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(run.status, cli::kExitComplete) << run.err << sshd.Log();
    EXPECT_EQ(run.out, "7\n");
    EXPECT_EQ(sshd.Log().find("Failed password"), std::string::npos);
}

// A key kept under a passphrase is opened with the one typed at the
// prompt; none typed, or a wrong one, passes the key over. Without a user
// in the URL, a ~/.netrc entry for the machine names the user.
TEST(CliAgainstSshd, KeyUnderAPassphraseAndTheUserOfNetrc) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    WriteFile(sshd.Root() / "a", 7);
    SshClientHome home(sshd);
    home.KnowServer(sshd);
    const std::string key = (home.SshDir() / "id_ed25519").string();
    ASSERT_EQ(std::system(("ssh-keygen -q -p -P '' -N 'open sesame' -f '" + key + "' >/dev/null 2>&1").c_str()), 0);

    CliResult run = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(run.status, cli::kExitFailed);
    EXPECT_EQ(home.prompts, std::vector<std::string>{"Enter passphrase for key '" + key + "': "});
    EXPECT_NE(run.err.find("the server refused the password of dirweigh-sftp"), std::string::npos) << run.err;
    home.typed = "wrong";
    run = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(run.status, cli::kExitFailed);
    EXPECT_NE(run.err.find("the key " + key + " was not taken: "), std::string::npos) << run.err;
    home.typed = "open sesame";
    run = home.Run({"--bytes", Url(sshd)});
    EXPECT_EQ(run.status, cli::kExitComplete) << run.err << sshd.Log();
    EXPECT_EQ(run.out, "7\n");

    std::ofstream(home.Dir() / ".netrc") << "machine 127.0.0.1 login " << testsupport::Sshd::kUser
                                         << " password secret\n";
    home.netrcHome = home.Dir().string();
    run = home.Run({"--bytes", "sftp://127.0.0.1:" + std::to_string(sshd.Port()) + "/"});
    EXPECT_EQ(run.status, cli::kExitComplete) << run.err;
    EXPECT_EQ(run.out, "7\n");
}

// A server that takes the connection and never says a word: the handshake
// waits in the event loop, not on the processor, and ends at the time-out.
TEST(CliSftpWaits, SilentServerTimesOutWithoutSpinning) {
    const testsupport::LoopbackListener silent;
    const double cpuBefore = testsupport::ProcessCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    const CliResult result =
        clitest::RunCli({"--timeout", "1", "--bytes", "sftp://127.0.0.1:" + std::to_string(silent.Port()) + "/"});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(result.status, cli::kExitFailed);
    EXPECT_NE(result.err.find("timed out"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_LT(seconds, 4.0);
    EXPECT_LT(testsupport::ProcessCpuSeconds() - cpuBefore, 0.5);
}

}  // namespace
