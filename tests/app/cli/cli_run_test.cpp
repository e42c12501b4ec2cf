#include "app/cli/cli_report.h"
#include "app/cli/cli_run.h"
#include "platform/modules.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/tree_server.h"
#include "tests/ftp/site_tree.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

extern char** environ;

namespace {

struct CliResult {
    int status;
    std::string out;
    std::string err;
};

CliResult RunCli(const std::vector<std::string>& args) {
    cli::Environment environment;
    environment.passwords.environment = [](const char*) -> std::optional<std::string> { return "secret"; };
    environment.passwords.prompt = [](const std::string&) -> std::optional<std::string> { return std::nullopt; };
    std::ostringstream out, err;
    const int status = cli::RunCli(args, out, err, environment);
    return {status, out.str(), err.str()};
}

}  // namespace

TEST(CliReport, JsonShapeAndSummaryLine) {
    cli::Totals totals{1272954913, 4982, 500, 3, 1, true, ""};
    EXPECT_EQ(cli::SummaryLine(totals), "1272954913 bytes (1.19 GiB), 4982 files, 500 directories");
    EXPECT_EQ(cli::JsonObject(totals),
              "{\"bytes\": 1272954913, \"kilobytes\": 1243120, \"files\": 4982, \"directories\": 500, "
              "\"skipped_directories\": 3, \"unparsed_lines\": 1, \"complete\": true, \"error\": null}");
    totals.complete = false;
    totals.error = "550 \"x\"\tdenied";
    EXPECT_NE(cli::JsonObject(totals).find("\"complete\": false, \"error\": \"550 \\\"x\\\"\\tdenied\"}"),
              std::string::npos);
    EXPECT_EQ(cli::SummaryLine(cli::Totals{512, 1, 1, 0, 0, false, "x"}), "512 bytes (512 B), 1 files, 1 directories (incomplete)");
}

TEST(CliRun, UsageErrorsExitWithTwo) {
    CliResult run = RunCli({"--bogus"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("unknown option --bogus"), std::string::npos);
    EXPECT_NE(run.err.find("usage: dirweigh-cli"), std::string::npos);
    EXPECT_TRUE(run.out.empty());
}

TEST(CliRun, DuListsChildrenBeforeParentsAndHonoursMaxDepth) {
    testsupport::TreeFtpServer server;
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
}

TEST(CliRun, RefusedDirectoryExitsWithOneAndPartialTotals) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/two.html", 20);
    server.RefuseCwd("b");
    server.Start();
    CliResult run = RunCli({server.Address(), "--user", "me", "--json"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"bytes\": 10, "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"complete\": false, \"error\": \"550 b: No such file or directory\""), std::string::npos);
    EXPECT_NE(run.err.find("dirweigh-cli: 550 b: No such file or directory"), std::string::npos);
}

TEST(CliRun, InterruptCancelsAndPrintsThePartialTotals) {
    testsupport::TreeFtpServer server;
    server.AddFile("first/a.html", 7);
    pid_t child = -1;
    server.StallList("second", [&child] { kill(child, SIGINT); });
    server.AddFile("second/b.html", 9);
    server.Start();

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string program = platform::ExecutableDirectory() + "/dirweigh-cli";
    std::vector<std::string> args{program, "--bytes", server.Address()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string printed;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(printed, "7\n");
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
    if (GetParam()) args.push_back("--passive");
    CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"bytes\": " + std::to_string(bytes) + ","), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"files\": " + std::to_string(files) + ","), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(ActiveAndPassive, CliAgainstPyftpdlib, ::testing::Values(false, true),
                         [](const auto& run) { return run.param ? "Passive" : "Active"; });
