// SPDX-License-Identifier: MIT
// The walks kept per site and what changed since: written, rotated and
// read back after a walk of a real server, a crashed save left behind,
// --compare after files came, grew and went, and diff of ncdu's exports.

#include "app/cli/cli_options.h"
#include "app/cli/cli_run.h"
#include "sitetree/history_key.h"
#include "sitetree/ncdu_export.h"
#include "sitetree/private_files.h"
#include "sitetree/site_history.h"
#include "sitetree/walk_history.h"
#include "tests/app/cli/cli_ssh_home.h"
#include "tests/fakes/pyftpd.h"
#include "tests/support/site_tree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

using clitest::CliResult;
using clitest::ReadFile;
using clitest::RunCli;

namespace {

bool HaveNcdu() { return std::system("ncdu -v >/dev/null 2>&1") == 0; }

std::int64_t TotalOf(const std::string& file) {
    std::string error;
    const auto tree = zn::LoadNcdu(file, error);
    return tree ? tree->TotalBytes(zn::WalkTree::kRoot) : -1;
}

}  // namespace

TEST(WalkHistory, FolderNamesAreOneSafeNameAndReadBack) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"/", "%2F"},           {"/a b/c", "%2Fa b%2Fc"},         {"..", "%2E."},         {".", "%2E"},     {"", "%"},
        {"50%/x", "50%25%2Fx"}, {"tab\there\n", "tab%09here%0A"}, {"caf\xe9", "caf\xe9"}, {"%2F", "%252F"},
    };
    for (const auto& [text, name] : cases) {
        EXPECT_EQ(zn::EscapeFolderName(text), name);
        EXPECT_EQ(zn::UnescapeFolderName(name), text) << name;
    }
    // One site per user, server (however spelt) and start as the server
    // names it; the key before users and PWDs joined it, for reading back.
    const std::vector<std::pair<zn::SiteKey, std::string>> sites{
        {{"alice", "FTP.Example.org:21", "/"}, "/h/alice@ftp.example.org/%2F"},
        {{"bob", "ftp.example.org", "/"}, "/h/bob@ftp.example.org/%2F"},
        {{"alice", "127.1:2121", "/home/alice/pub"}, "/h/alice@127.0.0.1:2121/%2Fhome%2Falice%2Fpub"},
        {{"a/b", "127.0.0.1:2121", "/../x"}, "/h/a%2Fb@127.0.0.1:2121/%2F..%2Fx"},
        {{"carol", "[::1]", "/"}, "/h/carol@[::1]/%2F"},
        {{"carol", "[0:0::1]:21", "/"}, "/h/carol@[::1]/%2F"},
        {{"carol", "::1", "/"}, "/h/carol@[::1]/%2F"},
        {{"carol", "[0::1]:2121", "/"}, "/h/carol@[::1]:2121/%2F"},
        {{"carol", "[::FFFF:127.0.0.1]:2121", "/"}, "/h/carol@[::ffff:127.0.0.1]:2121/%2F"},
        // The scheme joins the key where it is not plain FTP's, with its own
        // default port left out.
        {{"alice", "FTP.Example.org", "/", zn::UrlScheme::Sftp}, "/h/sftp:alice@ftp.example.org/%2F"},
        {{"alice", "ftp.example.org:22", "/", zn::UrlScheme::Sftp}, "/h/sftp:alice@ftp.example.org/%2F"},
        {{"alice", "ftp.example.org:21", "/", zn::UrlScheme::Sftp}, "/h/sftp:alice@ftp.example.org:21/%2F"},
        {{"alice", "ftp.example.org:990", "/", zn::UrlScheme::Ftps}, "/h/ftps:alice@ftp.example.org/%2F"},
        {{"alice", "ftp.example.org:990", "/"}, "/h/alice@ftp.example.org:990/%2F"},
        {{"carol", "::1", "/home/carol", zn::UrlScheme::Sftp}, "/h/sftp:carol@[::1]/%2Fhome%2Fcarol"},
    };
    for (const auto& [site, folder] : sites) EXPECT_EQ(zn::SiteHistoryFolder("/h", site), folder);
    // What is remembered of a server ("spoke TLS before"): plain FTP's key
    // as it always was, the others after their scheme.
    const std::vector<std::tuple<std::string, zn::UrlScheme, std::string>> servers{
        {"FTP.Example.org:21", zn::UrlScheme::Ftp, "ftp.example.org"},
        {"ftp.example.org:990", zn::UrlScheme::Ftp, "ftp.example.org:990"},
        {"ftp.example.org:990", zn::UrlScheme::Ftps, "ftps://ftp.example.org"},
        {"127.1:0990", zn::UrlScheme::Ftps, "ftps://127.0.0.1"},
        {"[0::1]:2990", zn::UrlScheme::Ftps, "ftps://[::1]:2990"},
        {"ftp.example.org", zn::UrlScheme::Sftp, "sftp://ftp.example.org"},
        {"ftp.example.org:21", zn::UrlScheme::Sftp, "sftp://ftp.example.org:21"},
    };
    for (const auto& [server, scheme, key] : servers) EXPECT_EQ(zn::ServerKey(server, scheme), key) << server;
    // Where a kept walk was measured is a URL: a bare IPv6 server in
    // brackets, anything else as typed.
    const zn::WalkTree pub(zn::SiteTreeRoot("pub"));
    const std::vector<std::pair<zn::SiteKey, std::string>> sources{
        {{"carol", "::1", "/", zn::UrlScheme::Sftp}, "sftp://carol@[::1]/pub"},
        {{"alice", "[::1]:2121", "/"}, "ftp://alice@[::1]:2121/pub"},
        {{"alice", "FTP.Example.org:990", "/", zn::UrlScheme::Ftps}, "ftps://alice@FTP.Example.org:990/pub"},
    };
    for (const auto& [site, source] : sources) EXPECT_EQ(zn::WalkSource(site, pub), source);
    EXPECT_EQ(zn::OldSiteHistoryFolder("/h", "FTP.Example.org:21", "/"), "/h/ftp.example.org/%2F");
    // Two start paths of two 150-byte names: each folder name is short
    // enough for the file system, and they stay two.
    const std::string a(150, 'a'), b(150, 'b');
    const std::string first = zn::FoldedFolderName("/" + a + "/" + b), second = zn::FoldedFolderName("/" + a + "/" + a);
    EXPECT_LE(first.size(), zn::kLongestFolderName);
    EXPECT_NE(first, second);
    EXPECT_EQ(first, zn::FoldedFolderName("/" + a + "/" + b)) << "the same site, the same folder";
    EXPECT_EQ(zn::FoldedFolderName("/short"), "%2Fshort");
}

// What is kept names every file of a site and the user: folders 0700 and
// files 0600 whatever the umask; a link planted under the next temporary
// name is not followed; two programs keeping walks of one site at once
// each keep every one of theirs.
TEST(WalkHistory, KeptWalksArePrivateAndNoneIsLostToAnother) {
    testsupport::SiteTree home;  // a temporary folder
    const std::string folder = (home.Root() / "history" / "site").string();
    zn::WalkTree tree("/");
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, "index.html", 10);
    tree.Listed(zn::WalkTree::kRoot);
    tree.Sum();
    const mode_t mask = umask(0);
    std::string error;
    ASSERT_TRUE(zn::SaveHistory(tree, {"1.03", 1, ""}, folder, 100, error)) << error;
    umask(mask);
    const auto mode = [](const std::filesystem::path& path) {
        struct stat info {};
        lstat(path.c_str(), &info);
        return info.st_mode & 07777;
    };
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(home.Root() / "history"), 0700u);
    for (const std::string& file : zn::HistoryFiles(folder)) EXPECT_EQ(mode(file), 0600u) << file;

    const std::string target = (home.Root() / "target").string();
    std::ofstream(target) << "untouched";
    const std::string planted = folder + "/.planted.json.gz.tmp.1";
    ASSERT_EQ(symlink(target.c_str(), planted.c_str()), 0);
    EXPECT_EQ(zn::CreatePrivateFile(planted), -1);
    EXPECT_EQ(ReadFile(target), "untouched");

    // Children of this process, each with its own pid, so their temporary
    // names differ as two programs' do.
    std::vector<pid_t> writers;
    for (int w = 0; w < 2; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            bool kept = true;
            for (int i = 0; i < 20; ++i) kept = zn::SaveHistory(tree, {"1.03", 1, ""}, folder, 100, error) && kept;
            _exit(kept ? 0 : 1);
        }
        writers.push_back(pid);
    }
    int failures = 0;
    for (const pid_t pid : writers) {
        int status = 0;
        waitpid(pid, &status, 0);
        failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(zn::HistoryFiles(folder).size(), 41u);
}

TEST(WalkHistory, ChangeSinceTheLastWalk) {
    const std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> cases{
        {1000, 2536, "+1.5 KB since 2026-12-01"},   {5000, 0, "-4.9 KB since 2026-12-01"},
        {100, 90, "-10 B since 2026-12-01"},        {7, 7, "no change since 2026-12-01"},
        {0, 13002342, "+12.4 MB since 2026-12-01"},
    };
    for (const auto& [before, after, line] : cases) {
        EXPECT_EQ(zn::ChangeSince({before, "2026-12-01"}, after), line);
    }
}

TEST(CliHistory, OptionsThatDoNotGoTogether) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"h", "--keep", "0"}, "--keep needs a whole number, 1 or more"},
        {{"h", "--keep", "2x"}, "--keep needs a whole number, 1 or more"},
        {{"h", "--compare"}, "--compare needs last or an export"},
        {{"h", "--compare", "last", "--bytes"},
         "--compare prints its changes after the totals: leave out --bytes, --check and --ncdu -"},
        {{"--from", "a.json", "--compare", "last"},
         "--compare goes with a walk; two exports: dirweigh-cli diff OLD NEW"},
        {{"h", "--compare", "last", "--json", "--keep", "3", "--no-history"}, ""},
    };
    for (const auto& [args, error] : cases) {
        const cli::Parsed parsed = cli::ParseCommandLine(args);
        EXPECT_EQ(parsed.error, error) << args[1];
    }
}

// Three walks of pyftpdlib with --keep 2, files added, grown and removed
// between the first two, and a save cut short by a crash left in the
// folder before the second.
TEST(CliHistory, KeptRotatedAndComparedAfterWalksOfARealServer) {
    testsupport::SiteTree site;
    site.AddFile("same/page.html", 100);
    site.AddFile("grow/log.txt", 1000);
    site.AddFile("gone/old.bin", 5000);
    site.AddFile("top", 10);
    testsupport::PyFtpd server(site.Root().string(), "me", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    testsupport::SiteTree work;
    const std::string history = (work.Root() / "history").string();
    const std::string url = "ftp://me@" + server.Address();
    const std::string folder = zn::SiteHistoryFolder(history, {"me", server.Address(), "/"});

    CliResult run = RunCli({url, "--keep", "2"}, {}, history);
    ASSERT_EQ(run.status, 0) << run.err;
    auto files = zn::HistoryFiles(folder);
    ASSERT_EQ(files.size(), 1u) << run.err;
    const std::string first = files[0];
    EXPECT_EQ(TotalOf(first), 6110);
    const std::string firstText = ReadFile(first);

    // A save that died before its rename: a half file under the temporary
    // name, named to sort after the real ones, of a process that is gone.
    const std::string crashed = folder + "/.29991231T235959.999Z.json.gz.tmp.999999999";
    std::ofstream(crashed) << "[1,2,{},[{\"name\":\"/\"},";
    site.AddFile("new/fresh.dat", 3000);
    std::filesystem::resize_file(site.Root() / "grow/log.txt", 1500);
    std::filesystem::remove(site.Root() / "gone/old.bin");

    run = RunCli({url, "--json", "--compare", "last", "--keep", "2"}, {}, history);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.out.find(
            "\"compare\": {\"with\": \"" + first +
            "\", \"old_bytes\": 6110, \"new_bytes\": 4610, \"change\": -1500, \"old_files\": 4, \"new_files\": 4, "
            "\"directories\": [{\"path\": \"gone\", \"old_bytes\": 5000, \"new_bytes\": 0, \"change\": -5000}, "
            "{\"path\": \"new\", \"old_bytes\": 0, \"new_bytes\": 3000, \"change\": 3000}, "
            "{\"path\": \"\", \"old_bytes\": 6110, \"new_bytes\": 4610, \"change\": -1500}, "
            "{\"path\": \"grow\", \"old_bytes\": 1000, \"new_bytes\": 1500, \"change\": 500}], "
            "\"added_files\": [{\"path\": \"new/fresh.dat\", \"old_bytes\": 0, \"new_bytes\": 3000, \"change\": 3000}], "
            "\"removed_files\": [{\"path\": \"gone/old.bin\", \"old_bytes\": 5000, \"new_bytes\": 0, \"change\": -5000}], "
            "\"grown_files\": [{\"path\": \"grow/log.txt\", \"old_bytes\": 1000, \"new_bytes\": 1500, \"change\": 500}]}}\n"),
        std::string::npos)
        << run.out;
    EXPECT_FALSE(std::filesystem::exists(crashed));
    files = zn::HistoryFiles(folder);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], first);
    EXPECT_EQ(ReadFile(first), firstText);
    EXPECT_EQ(TotalOf(files[1]), 4610);

    // The oldest goes; --no-history keeps nothing of its walk.
    run = RunCli({url, "--keep", "2"}, {}, history);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto third = zn::HistoryFiles(folder);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[0], files[1]);
    run = RunCli({url, "--no-history", "--compare", "last"}, {}, history);
    EXPECT_NE(run.out.find("Since " + third[1] + ": 0 B (4610 to 4610 bytes, 0 files)\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(zn::HistoryFiles(folder), third);

    // A history that cannot be written is a warning; the walk counts.
    std::ofstream(work.Root() / "plain-file") << "x";
    run = RunCli({url, "--bytes"}, {}, (work.Root() / "plain-file" / "history").string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "4610\n");
    EXPECT_NE(run.err.find("warning: the walk is not kept in the history"), std::string::npos) << run.err;
}

// Walks an earlier version kept under host and start alone: the one whose
// export names this user and start is this site's and compared with; the
// other user's stays where it is, said once.
TEST(CliHistory, WalksKeptUnderTheOldKeyAreThisSitesOnlyWhereTheirExportSaysSo) {
    testsupport::SiteTree site;
    site.AddFile("top", 10);
    testsupport::PyFtpd server(site.Root().string(), "me", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    testsupport::SiteTree work;
    const std::string history = (work.Root() / "history").string();
    const std::string old = zn::OldSiteHistoryFolder(history, server.Address(), "/");
    std::string error;
    for (const auto& [user, bytes] : {std::pair{"me", 7}, std::pair{"bob", 99}}) {
        zn::WalkTree tree("/");
        tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, "top", bytes);
        tree.Listed(zn::WalkTree::kRoot);
        const zn::NcduMetadata metadata{"1.03", 1, "ftp://" + std::string(user) + "@" + server.Address() + "/"};
        ASSERT_TRUE(zn::SaveHistory(tree, metadata, old, 30, error)) << error;
    }
    const std::string url = "ftp://me@" + server.Address();
    const std::string left = "1 walk kept in " + old +
                             " by an earlier version may be another user's or another start directory's: left there";
    CliResult run = RunCli({url, "--json", "--compare", "last"}, {}, history);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"old_bytes\": 7, \"new_bytes\": 10,"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(left), std::string::npos) << run.err;
    EXPECT_EQ(zn::HistoryFiles(zn::SiteHistoryFolder(history, {"me", server.Address(), "/"})).size(), 2u);
    ASSERT_EQ(zn::HistoryFiles(old).size(), 1u);
    EXPECT_EQ(TotalOf(zn::HistoryFiles(old)[0]), 99);
    run = RunCli({url, "--compare", "last"}, {}, history);
    EXPECT_EQ(run.err.find(left), std::string::npos) << run.err;
}

// An SFTP site is kept apart from the same host's FTP site. Its walks an
// earlier version kept under the key without the scheme, beside the FTP
// site's, are found as its own and compared with; the FTP site's stay.
TEST(CliHistory, SftpWalksAreKeptApartAndThoseKeptWithoutTheSchemeFound) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    testsupport::SiteTree site(sshd.Root());
    site.AddFile("top", 10);
    clitest::SshClientHome home(sshd);
    home.KnowServer(sshd);
    testsupport::SiteTree work;
    const std::string history = (work.Root() / "history").string();
    const std::string server = "127.0.0.1:" + std::to_string(sshd.Port());
    const std::string user = testsupport::Sshd::kUser;
    const std::string schemeless = zn::SiteHistoryFolder(history, {user, server, "/"});
    std::string error;
    for (const auto& [scheme, bytes] : {std::pair{"sftp", 7}, std::pair{"ftp", 99}}) {
        zn::WalkTree tree("/");
        tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, "top", bytes);
        tree.Listed(zn::WalkTree::kRoot);
        const std::string source =
            std::string(scheme).append("://").append(user).append("@").append(server).append("/");
        const zn::NcduMetadata metadata{"1.03", bytes, source};
        ASSERT_TRUE(zn::SaveHistory(tree, metadata, schemeless, 30, error)) << error;
    }
    CliResult run = home.Run({clitest::SftpUrl(sshd), "--json", "--compare", "last"}, history);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"old_bytes\": 7, \"new_bytes\": 10,"), std::string::npos) << run.out;
    const std::string folder = zn::SiteHistoryFolder(history, {user, server, "/", zn::UrlScheme::Sftp});
    const auto kept = zn::HistoryFiles(folder);
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(TotalOf(kept[1]), 10);
    ASSERT_EQ(zn::HistoryFiles(schemeless).size(), 1u);
    EXPECT_EQ(TotalOf(zn::HistoryFiles(schemeless)[0]), 99);
}

// Debian's ncdu exports a local folder before and after a change.
TEST(CliDiff, ComparesTwoExportsOfNcdu) {
    if (!HaveNcdu()) GTEST_SKIP() << "ncdu is not installed (scripts/setup)";
    testsupport::SiteTree site;
    site.AddFile("docs/a.txt", 700);
    site.AddFile("docs/b.txt", 300);
    site.AddFile("img/big.png", 9000);
    testsupport::SiteTree work;
    const auto exportTo = [&](const std::string& name) {
        std::string file = (work.Root() / name).string();
        const std::string command = "timeout 2 ncdu -q -o '" + file + "' '" + site.Root().string() + "' 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return file;
    };
    const std::string before = exportTo("before.json");
    std::filesystem::resize_file(site.Root() / "docs/a.txt", 2748);
    std::filesystem::remove(site.Root() / "img/big.png");
    site.AddFile("img/new.gif", 50);
    const std::string after = exportTo("after.json");

    CliResult run = RunCli({"diff", "--json", before, after});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"added_files\": [{\"path\": \"img/new.gif\", \"old_bytes\": 0, \"new_bytes\": 50, "
                           "\"change\": 50}], \"removed_files\": [{\"path\": \"img/big.png\", \"old_bytes\": 9000, "
                           "\"new_bytes\": 0, \"change\": -9000}], \"grown_files\": [{\"path\": \"docs/a.txt\", "
                           "\"old_bytes\": 700, \"new_bytes\": 2748, \"change\": 2048}]}}\n"),
              std::string::npos)
        << run.out;
    run = RunCli({"diff", before, after});
    EXPECT_NE(run.out.find("Files grown most:\n  +2.00 KiB\t700\t2748\t+2048\tdocs/a.txt\n"), std::string::npos)
        << run.out;
    const std::vector<std::pair<std::vector<std::string>, int>> failures{
        {{"diff", before}, cli::kExitUsage},
        {{"diff", before, after + ".missing"}, cli::kExitFailed},
    };
    for (const auto& [args, status] : failures) EXPECT_EQ(RunCli(args).status, status) << args.back();
}
