// SPDX-License-Identifier: MIT
// Where the space goes, on the command line: the options, the reports of
// the walk's tree, the ncdu export as Debian's ncdu reads and writes it
// again, and ncdu's own exports read back.

#include "app/cli/cli_options.h"
#include "app/cli/cli_run.h"
#include "sitetree/ncdu_export.h"
#include "tests/app/cli/cli_ssh_home.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/tree_server.h"
#include "tests/support/peak_memory.h"
#include "tests/support/site_tree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

using clitest::CliResult;
using clitest::ReadFile;
using clitest::RunCli;

namespace {

// The sum of every "asize" in an export, read without DirWeigh's reader.
std::int64_t SumOfSizes(const std::string& text) {
    static const std::regex kAsize("\"asize\": ?([0-9]+)");
    std::int64_t sum = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), kAsize); it != std::sregex_iterator(); ++it) {
        sum += std::stoll((*it)[1]);
    }
    return sum;
}

bool HaveNcdu() { return std::system("ncdu -v >/dev/null 2>&1") == 0; }

// A JSON number member of dirweigh-cli's output.
std::int64_t Member(const std::string& json, const std::string& name) {
    const std::size_t at = json.find("\"" + name + "\": ");
    return at == std::string::npos ? -1 : std::stoll(json.substr(at + name.size() + 4));
}

// Names with blanks, quotes, a backslash, Latin-1 and a tab, a 4 GiB
// file, a link, logs and an empty folder; a newline in a name where the
// server is sshd; and where `closed`, a folder the server will not open.
void MakeOddSite(testsupport::SiteTree& site, bool sftp, bool closed) {
    site.AddFile("sp ace/\"quoted\" name.html", 1234);
    site.AddFile("back\\slash/caf\xe9 \xfc.txt", 2222);
    site.AddFile("back\\slash/deeper/tab\there", 3);
    site.AddFile("logs/access.log", 999);
    site.AddDirectory("empty");
    std::filesystem::create_symlink("sp ace", site.Root() / "link");
    site.AddFile("huge.iso", 4294967296ULL);
    // pyftpdlib's listing has no room for a newline in a name.
    if (sftp) site.AddFile("new\nline", 10);
    if (closed) site.AddFile("closed-d/secret", 5);
    // pyftpdlib's fixture refuses it by its name, sshd by its rights.
    if (closed && sftp) std::filesystem::permissions(site.Root() / "closed-d", std::filesystem::perms::owner_all);
}

// The odd site on `sshd`, or on pyftpdlib where there is none, its export
// read and written again by ncdu, and ncdu's file read back.
void ExportAndReadWithNcdu(testsupport::SiteTree& site, testsupport::Sshd* sshd, bool closed) {
    MakeOddSite(site, sshd != nullptr, closed);
    std::optional<testsupport::PyFtpd> server;
    std::optional<clitest::SshClientHome> home;
    if (sshd) {
        home.emplace(*sshd);
        home->KnowServer(*sshd);
    } else {
        server.emplace(site.Root().string(), "me", "secret");
        ASSERT_TRUE(server->Running()) << server->Error();
    }
    const auto run = [&home](const std::vector<std::string>& args) { return home ? home->Run(args) : RunCli(args); };
    testsupport::SiteTree work;  // a folder for the files
    const std::string exported = (work.Root() / "site.json.gz").string();
    const std::string again = (work.Root() / "again.json").string();
    CliResult walked =
        run({sshd ? clitest::SftpUrl(*sshd) : "ftp://me@" + server->Address(), "--json", "--ncdu", exported});
    EXPECT_EQ(walked.status, closed ? 1 : 0) << walked.err;
    const std::int64_t bytes = Member(walked.out, "bytes"), files = Member(walked.out, "files");
    if (!closed) {
        EXPECT_EQ(bytes, 4294967296LL + 1234 + 2222 + 3 + (sshd ? 10 : 0)) << walked.out;
        EXPECT_EQ(files, sshd ? 5 : 4);
    }
    // ncdu reads no gzip itself; its manual pipes it through zcat.
    std::string command = "gzip -dc '" + exported + "' | timeout 2 ncdu -f - -o '";
    command += again;
    command += "' 2>'";
    command += again;
    command += ".err'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    // ncdu ends with 0 even after an error, which it writes on stderr
    // (where it otherwise ends its progress line with a newline).
    const std::string complaint = ReadFile(again + ".err");
    EXPECT_EQ(complaint.find_first_not_of(" \r\n"), std::string::npos) << complaint;
    const std::string text = ReadFile(again);
    EXPECT_EQ(SumOfSizes(text), bytes);
    // After the refusal, what was listed before it depends on the order
    // of the walk; the whole site is there when nothing is refused.
    if (!closed) {
        EXPECT_NE(text.find("caf\xe9 \xfc.txt"), std::string::npos) << text;
        if (sshd) EXPECT_NE(text.find("\"new\\nline\""), std::string::npos) << text;
    }
    EXPECT_NE(text.find("\"name\":\"logs\",\"excluded\":\"pattern\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"name\":\"link\",\"notreg\":true"), std::string::npos) << text;
    EXPECT_EQ(text.find("\"read_error\":true") != std::string::npos, closed) << text;
    EXPECT_EQ(text.find("secret\""), std::string::npos);
    walked = RunCli({"--from", again, "--json"});
    EXPECT_EQ(Member(walked.out, "bytes"), bytes) << walked.out << walked.err;
    EXPECT_EQ(Member(walked.out, "files"), files) << walked.out;
    EXPECT_EQ(Member(walked.out, "skipped_directories"), 1) << walked.out;
}

}  // namespace

TEST(CliBreakdownOptions, WhatGoesTogether) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"h", "--top", "0"}, "--top needs a whole number, 1 or more"},
        {{"h", "--top", "3x"}, "--top needs a whole number, 1 or more"},
        {{"h", "--du", "--sort", "name"}, "--sort needs size"},
        {{"h", "--sort", "size"}, "--sort goes with --du"},
        {{"h", "--ncdu"}, "--ncdu needs a file"},
        {{"h", "--ncdu", "-", "--json"}, "--ncdu - writes to standard output; it goes with no other output"},
        {{"h", "--from", "x.json"}, "--from reads a saved export: give no server"},
        {{"--from", "x.json", "--du", "--sort", "size", "--top", "2", "--by-extension"}, ""},
        {{"h", "--ncdu", "out.json.gz", "--top", "5", "--json"}, ""},
    };
    for (const auto& [args, error] : cases) {
        const cli::Parsed parsed = cli::ParseCommandLine(args);
        EXPECT_EQ(parsed.error, error) << args.back();
        EXPECT_EQ(parsed.options.has_value(), error.empty()) << args.back();
    }
}

// Sizes chosen so that every order is decided by size alone.
TEST(CliBreakdown, TopByExtensionAndDuBySize) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/big.ISO", 5000);
    server.AddFile("a/b/page.html", 300);
    server.AddFile("a/b/.htaccess", 7);
    server.AddFile("c/x.html", 1000);
    server.AddFile("c/y.tar.gz", 20);
    server.AddFile("top", 2);
    server.AddFile("logs/skip.log", 99999);
    server.Start();
    const std::string url = "ftp://me@" + server.Address();
    CliResult run = RunCli({url, "--json", "--top", "2", "--by-extension"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"bytes\": 6329, "), std::string::npos) << run.out;
    EXPECT_NE(
        run.out.find("\"top_directories\": [{\"path\": \"a\", \"bytes\": 5307, \"files\": 3}, "
                     "{\"path\": \"c\", \"bytes\": 1020, \"files\": 2}], "
                     "\"top_files\": [{\"path\": \"a/big.ISO\", \"bytes\": 5000}, "
                     "{\"path\": \"c/x.html\", \"bytes\": 1000}], "
                     "\"by_extension\": [{\"extension\": \"iso\", \"bytes\": 5000, \"files\": 1, \"share\": 0.7900}, "
                     "{\"extension\": \"html\", \"bytes\": 1300, \"files\": 2, \"share\": 0.2054}, "
                     "{\"extension\": \"gz\", \"bytes\": 20, \"files\": 1, \"share\": 0.0032}, "
                     "{\"extension\": \"\", \"bytes\": 9, \"files\": 2, \"share\": 0.0014}]}\n"),
        std::string::npos)
        << run.out;
    run = RunCli({url, "--du", "--sort", "size"});
    EXPECT_EQ(run.out, "6329\t.\n5307\t./a\n1020\t./c\n307\t./a/b\n");
    // The export on standard output, in place of the summary; where it was
    // measured, but never the password.
    run = RunCli({url + "/", "--ncdu", "-"});
    EXPECT_EQ(run.out.rfind("[1,2,{\"progname\":\"dirweigh\",\"progver\":\"1.03\",\"timestamp\":", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(",\"source\":\"" + url + "/\"},\n[{\"name\":\"/\"},\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("secret"), std::string::npos);
    EXPECT_EQ(run.out.find("bytes ("), std::string::npos);
    run = RunCli({url, "--top", "1"});
    EXPECT_NE(run.out.find("Largest directories:\n  5.18 KiB\t5307\ta\nLargest files:\n  4.88 KiB\t5000\ta/big.ISO\n"),
              std::string::npos)
        << run.out;
}

// Odd names, a file of 4 GiB, an excluded directory, a link and, in the
// second run, a directory the server will not open: Debian's ncdu reads
// the export and writes it again without an error, with DirWeigh's totals;
// and DirWeigh reads ncdu's file back to the same totals. The same over
// SFTP, where a name may hold a newline too.
TEST(CliBreakdownNcdu, NcduReadsTheExportOfARealServersTree) {
    if (!HaveNcdu()) GTEST_SKIP() << "ncdu is not installed (scripts/setup)";
    for (const bool sftp : {false, true}) {
        for (const bool closed : {false, true}) {
            SCOPED_TRACE(std::string(sftp ? "sftp" : "ftp") + (closed ? ", closed" : ""));
            std::optional<testsupport::Sshd> sshd;
            if (sftp && (sshd.emplace(), !sshd->Running())) {
                EXPECT_TRUE(sshd->Skipped()) << sshd->Error();
                continue;
            }
            testsupport::SiteTree site = sftp ? testsupport::SiteTree(sshd->Root()) : testsupport::SiteTree();
            ExportAndReadWithNcdu(site, sshd ? &*sshd : nullptr, closed);
        }
    }
}

// An export 100,000 levels deep (3 KiB compressed): its reports, its
// export written again and its comparison with itself cost what the file
// does. A path held per level would take gigabytes; a step that recursed
// per level would overflow the stack.
TEST(CliBreakdown, ADeepExportCostsWhatItsFileDoes) {
    constexpr int kLevels = 100'000;
    std::string text = "[1,2,{},[{\"name\":\"/\"}";
    for (int level = 1; level < kLevels; ++level) text += ",[{\"name\":\"d\"}";
    text += ",{\"name\":\"f.txt\",\"asize\":5}" + std::string(kLevels + 1, ']');
    testsupport::SiteTree work;  // a temporary folder
    const std::string deep = (work.Root() / "deep.json").string();
    std::ofstream(deep) << text;
    const std::string again = (work.Root() / "again.json.gz").string();
    // What a run adds at its highest, in KiB.
    const auto run = [](const std::vector<std::string>& args, CliResult& result) {
        return testsupport::PeakGrowthKilobytes([&] { result = RunCli(args); });
    };
    CliResult bytes, du, diff;
    const long costs[] = {
        run({"--from", deep, "--bytes"}, bytes),
        run({"--from", deep, "--du", "--max-depth", "1", "--top", "1", "--by-extension", "--ncdu", again}, du),
        run({"diff", deep, again}, diff),
    };
    EXPECT_EQ(bytes.out, "5\n") << bytes.err;
    EXPECT_TRUE(du.out.starts_with("5\t./d\n5\t.\nLargest directories:\n")) << du.out.substr(0, 80) << du.err;
    EXPECT_EQ(diff.out, "Since " + deep + ": 0 B (5 to 5 bytes, 0 files)\n") << diff.err;
    if (costs[0] < 0) GTEST_SKIP() << "the kernel does not let the peak memory be reset";
    // About 50 MiB at most under the sanitizers; a path per level, gigabytes.
    for (const long cost : costs) EXPECT_LT(cost, 128 * 1024);
}

// ncdu's own export of a local folder: DirWeigh gives ncdu's totals, the
// apparent sizes of the files and of the directories themselves, a file
// with hard links in two directories counted once.
TEST(CliBreakdownNcdu, ReadsNcdusOwnExport) {
    if (!HaveNcdu()) GTEST_SKIP() << "ncdu is not installed (scripts/setup)";
    testsupport::SiteTree site;
    site.AddWebSite();
    site.AddFile("odd \"names\"/caf\xe9\\x", 77);
    site.AddFile("linked/once", 100000);
    std::filesystem::create_hard_link(site.Root() / "linked/once", site.Root() / "linked/twice");
    std::filesystem::create_hard_link(site.Root() / "linked/once", site.Root() / "odd \"names\"/thrice");
    std::int64_t bytes = 0, files = 0;
    std::set<ino_t> seen;
    const auto add = [&](const std::filesystem::path& path) {
        struct stat info {};
        ASSERT_EQ(lstat(path.c_str(), &info), 0);
        if (!seen.insert(info.st_ino).second) return;
        bytes += info.st_size;
        files += S_ISREG(info.st_mode);
    };
    add(site.Root());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(site.Root())) add(entry.path());
    testsupport::SiteTree work;
    const std::string exported = (work.Root() / "ncdu.json").string();
    const std::string command = "timeout 2 ncdu -q -o '" + exported + "' '" + site.Root().string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const CliResult run = RunCli({"--from", exported, "--json", "--top", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Member(run.out, "bytes"), bytes) << run.out;
    EXPECT_EQ(Member(run.out, "files"), files) << run.out;
    // The export gives the size of each link.
    EXPECT_EQ(SumOfSizes(ReadFile(exported)), bytes + std::int64_t{2} * 100000);
}
