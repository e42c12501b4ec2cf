// SPDX-License-Identifier: MIT
// What monitoring systems read: the plugin's line and exit status, the
// textfile collector's file, and the space left where the server tells it.

#include "app/cli/cli_check.h"
#include "app/cli/cli_monitor_options.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_prometheus.h"
#include "app/cli/cli_run.h"
#include "sitetree/ncdu_export.h"
#include "tests/app/cli/cli_ssh_home.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/tree_server.h"
#include "tests/support/site_tree.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>

using clitest::CliResult;
using clitest::ReadFile;
using clitest::RunCli;

namespace {

std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t Count(const std::vector<std::string>& commands, const std::string& verb) {
    return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(),
                                                  [&](const std::string& line) { return line.rfind(verb, 0) == 0; }));
}

}  // namespace

TEST(CliCheckOptions, SizesArePowersOf1024AndAnythingElseIsRefused) {
    const std::vector<std::pair<std::string, std::optional<std::int64_t>>> rows{{"800M", 838860800},
                                                                                {"950m", 996147200},
                                                                                {"1.5G", 1610612736},
                                                                                {"2k", 2048},
                                                                                {"1T", 1099511627776},
                                                                                {"12345", 12345},
                                                                                {"0.5K", 512},
                                                                                {"", std::nullopt},
                                                                                {"M", std::nullopt},
                                                                                {"1.2.3", std::nullopt},
                                                                                {"-1", std::nullopt},
                                                                                {"10:20", std::nullopt},
                                                                                {"8MB", std::nullopt},
                                                                                {"9000000T", std::nullopt},
                                                                                {std::string(400, '9'), std::nullopt}};
    for (const auto& [text, bytes] : rows) EXPECT_EQ(cli::ParseSize(text), bytes) << text;
    EXPECT_EQ(cli::ShortSize(892340224), "851 MiB");
    EXPECT_EQ(cli::ShortSize(1073741824), "1 GiB");
    EXPECT_EQ(cli::ShortSize(1277952), "1.22 MiB");
    EXPECT_EQ(cli::ShortSize(12902), "12.6 KiB");
    EXPECT_EQ(cli::ShortSize(1000), "1000 B");
    EXPECT_FALSE(
        cli::ParseCommandLine({"host", "--check", "--quota", "1G", "-w", std::string(400, '9') + "%"}).options);
}

// The site of the plugin's own example, and the same site with its space
// left known: what is used of what the user has, and the space left as
// perfdata of its own.
TEST(CliCheck, LineOfALargeSite) {
    cli::MonitorOptions options;
    options.check = true;
    options.warning = cli::Threshold{cli::Bound{}, cli::Bound{*cli::ParseSize("800M"), std::nullopt}, false};
    options.critical = cli::Threshold{cli::Bound{}, cli::Bound{*cli::ParseSize("950M"), std::nullopt}, false};
    cli::Totals totals{892340224, 35001, 812, 0, 0, 0, true, "", false, "STAT", std::nullopt};
    std::ostringstream out;
    EXPECT_EQ(cli::PrintCheck(options, totals, {true, false}, out), cli::kPluginWarning);
    EXPECT_EQ(out.str(),
              "DIRWEIGH WARNING - 851 MiB in 35,001 files | "
              "size=892340224B;838860800;996147200;0; files=35001;;;0; dirs=812;;;0;\n");
    totals.available = 181401600;
    out.str("");
    EXPECT_EQ(cli::PrintCheck(options, totals, {true, false}, out), cli::kPluginWarning);
    EXPECT_EQ(out.str(),
              "DIRWEIGH WARNING - 851 MiB of 1 GiB, 83%, in 35,001 files | "
              "size=892340224B;838860800;996147200;0;1073741824 files=35001;;;0; dirs=812;;;0; "
              "available=181401600B;;;0;\n");
    totals.available = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(cli::Capacity(totals), std::numeric_limits<std::int64_t>::max()) << "saturates, never wraps";
}

// Against a real server: the line, its perfdata and the exit status for
// each verdict, and nothing on stderr that a monitoring system would show.
TEST(CliCheck, LinePerfdataAndEveryExitStatus) {
    testsupport::SiteTree tree;
    tree.AddFile("a/one.bin", 1048576);
    tree.AddFile("a/b/two.bin", 1048576);
    tree.AddFile("three.bin", 1048576);
    testsupport::PyFtpd server(tree.Root().string(), "me", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    const std::string url = "ftp://me@" + server.Address();
    const std::string perf = " files=3;;;0; dirs=3;;;0;\n";
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string line;  // the whole line, or its start when it ends in "..."
    };
    const std::vector<Row> rows{
        {{url, "--check"}, 0, "DIRWEIGH OK - 3 MiB in 3 files | size=3145728B;;;0;" + perf},
        {{url, "--check", "-w", "3M", "-c", "4M"},
         0,
         "DIRWEIGH OK - 3 MiB in 3 files | size=3145728B;3145728;4194304;0;" + perf},
        {{url, "--check", "-w", "2M", "-c", "4M"},
         1,
         "DIRWEIGH WARNING - 3 MiB in 3 files | size=3145728B;2097152;4194304;0;" + perf},
        {{url, "--check", "-w", "1M", "-c", "2.5M"},
         2,
         "DIRWEIGH CRITICAL - 3 MiB in 3 files | size=3145728B;1048576;2621440;0;" + perf},
        {{url, "--check", "--quota", "4M", "-w", "50%", "-c", "90%"},
         1,
         "DIRWEIGH WARNING - 3 MiB of 4 MiB, 75%, in 3 files | size=3145728B;2097152;3774873;0;4194304" + perf},
        {{url, "--check", "-w", "80%"}, 3, "DIRWEIGH UNKNOWN - a percentage in -w or -c needs --quota\n"},
        // The plugin guidelines' ranges: below a start, above an end
        // ("~" for none), inside ("@").
        {{url, "--check", "-w", "4M:", "-c", "2M:"},
         1,
         "DIRWEIGH WARNING - 3 MiB in 3 files | size=3145728B;4194304:;2097152:;0;" + perf},
        {{url, "--check", "-c", "~:2M"},
         2,
         "DIRWEIGH CRITICAL - 3 MiB in 3 files | size=3145728B;;~:2097152;0;" + perf},
        {{url, "--check", "-w", "@1M:4M"},
         1,
         "DIRWEIGH WARNING - 3 MiB in 3 files | size=3145728B;@1048576:4194304;;0;" + perf},
        {{url, "--check", "--quota", "4M", "-w", "50%:90%"},
         0,
         "DIRWEIGH OK - 3 MiB of 4 MiB, 75%, in 3 files | size=3145728B;2097152:3774873;;0;4194304" + perf},
        {{url, "--check", "-w", "10:20x"}, 3, "DIRWEIGH UNKNOWN - -w needs a size ..."},
        {{url, "--check", "--json"}, 3, "DIRWEIGH UNKNOWN - --check prints the plugin's line alone..."},
        {{url, "--check", "--ncdu", "-"}, 3, "DIRWEIGH UNKNOWN - --check prints the plugin's line alone..."},
        {{"ftp://nobody@" + server.Address(), "--check"}, 2, "DIRWEIGH CRITICAL - 530 ..."},
        {{"127.0.0.1:1", "--check", "-w", "1M"}, 2, "DIRWEIGH CRITICAL - ..."},
    };
    for (const Row& row : rows) {
        const std::string name = row.args.size() > 2 ? row.args[2] + " " + row.args.back() : row.args[0];
        SCOPED_TRACE(name);
        const CliResult run = RunCli(row.args);
        EXPECT_EQ(run.status, row.status) << run.out;
        if (row.line.size() > 3 && row.line.compare(row.line.size() - 3, 3, "...") == 0) {
            EXPECT_EQ(run.out.rfind(row.line.substr(0, row.line.size() - 3), 0), 0u) << run.out;
            EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
            EXPECT_EQ(run.out.find('|'), std::string::npos) << "no perfdata without a size: " << run.out;
        } else {
            EXPECT_EQ(run.out, row.line);
        }
        EXPECT_EQ(run.err, "") << "the notes of a walk stay out of the plugin's output";
    }
    // An export asked for beside the verdict is written.
    const std::string exported = (tree.Root().parent_path() / (tree.Root().filename().string() + ".json")).string();
    const CliResult run = RunCli({url, "--check", "--ncdu", exported});
    EXPECT_EQ(run.status, 0) << run.out;
    std::string error;
    const auto back = zn::LoadNcdu(exported, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->TotalBytes(zn::WalkTree::kRoot), 3145728);
    std::filesystem::remove(exported);

    // The same site over SFTP gives the same line.
    testsupport::Sshd sshd;
    if (!sshd.Running()) {
        EXPECT_TRUE(sshd.Skipped()) << sshd.Error();
        return;
    }
    testsupport::SiteTree overSftp(sshd.Root());
    for (const char* file : {"a/one.bin", "a/b/two.bin", "three.bin"}) overSftp.AddFile(file, 1048576);
    clitest::SshClientHome home(sshd);
    home.KnowServer(sshd);
    const CliResult sftp = home.Run({clitest::SftpUrl(sshd), "--check", "-w", "2M", "-c", "4M"});
    EXPECT_EQ(sftp.status, 1);
    EXPECT_EQ(sftp.out, "DIRWEIGH WARNING - 3 MiB in 3 files | size=3145728B;2097152;4194304;0;" + perf);
    EXPECT_EQ(sftp.err, "");
}

// A walk past a directory the server refused gives a lower bound: at
// least WARNING, CRITICAL where even that bound passes the threshold. A
// walk that could not finish gives no size to judge: UNKNOWN, not OK.
TEST(CliCheck, UnreadableDirectoryWarnsAndAnUnfinishedWalkIsUnknown) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/two.html", 20);
    server.AddFile("c/three.html", 30);
    server.RefuseCwd("b");
    server.StallList("c", [] {});
    server.Start();
    const std::string url = "ftp://me@" + server.Address();
    CliResult run = RunCli({url, "--check", "-c", "1G", "--walk", "design", "--exclude", "c"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "DIRWEIGH WARNING - 1 directory could not be read, at least 10 B in 1 file | "
              "size=10B;;1073741824;0; files=1;;;0; dirs=2;;;0;\n");
    run = RunCli({url, "--check", "-c", "5", "--exclude", "c"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out.rfind("DIRWEIGH CRITICAL - 1 directory could not be read, at least 10 B", 0), 0u) << run.out;
    run = RunCli({url, "--check", "-c", "1G", "--timeout", "1"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out.rfind("DIRWEIGH UNKNOWN - walk incomplete, the size is not known: Operation timed out", 0), 0u)
        << run.out;
}

// AVBL is asked only where FEAT lists it, after the walk; a refused or
// garbled answer leaves the space unknown and the walk whole.
TEST(CliAvailableSpace, AskedWhereFeatOffersItAndShownBesideTheTotal) {
    struct Row {
        const char* name;
        std::string reply;  // empty: not offered
        std::string json;
        std::string note;  // on stderr
    };
    const std::vector<Row> rows{
        {"not offered", "", "\"available_bytes\": null,", ""},
        {"offered", "213 3221225472", "\"available_bytes\": 3221225472,", ""},
        {"refused", "550 Cannot tell", "\"available_bytes\": null,", ""},
        {"garbled", "213 plenty", "\"available_bytes\": null,", ": the space left is not known: 213 plenty\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::TreeFtpServer server;
        server.AddFile("a/one.bin", 1073741824);
        if (!row.reply.empty()) server.OfferAvailableSpace(row.reply);
        server.Start();
        const CliResult run = RunCli({"ftp://me@" + server.Address(), "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(row.json), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\"complete\": true"), std::string::npos) << run.out;
        if (!row.note.empty()) {
            EXPECT_NE(run.err.find(row.note), std::string::npos) << run.err;
        }
        EXPECT_EQ(Count(server.Commands(), "AVBL"), row.reply.empty() ? 0u : 1u);
    }
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.bin", 1073741824);
    server.OfferAvailableSpace("213 3221225472");
    server.Start();
    EXPECT_EQ(RunCli({"ftp://me@" + server.Address()}).out,
              "1073741824 bytes (1.00 GiB of 4.00 GiB, 25%), 1 file, 2 directories\n");
    EXPECT_EQ(RunCli({"ftp://me@" + server.Address(), "--check", "-w", "3G"}).out,
              "DIRWEIGH OK - 1 GiB of 4 GiB, 25%, in 1 file | size=1073741824B;3221225472;;0;4294967296 files=1;;;0; "
              "dirs=2;;;0; available=3221225472B;;;0;\n");
}

namespace {

// The text exposition format as a collector reads it, strictly: every
// sample's family has one HELP and one TYPE gauge line before it, label
// values are quoted with \\, \" and \n escapes, a sample has a value and no
// timestamp, the text ends with a newline. Samples by name and labels
// ("dirweigh_bytes{host=h,path=/}", values unescaped).
struct Exposition {
    std::map<std::string, double> samples;
    std::vector<std::string> problems;
};

Exposition ParseExposition(const std::string& text) {
    Exposition result;
    auto problem = [&](const std::string& line, const char* what) { result.problems.push_back(what + (": " + line)); };
    if (text.empty() || text.back() != '\n') result.problems.push_back("no final newline");
    std::map<std::string, int> described;  // name -> HELP and TYPE lines seen, as bits
    std::set<std::string> sampled;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) {
            std::istringstream words(line.substr(7));
            std::string name, rest;
            words >> name;
            std::getline(words, rest);
            const int bit = line[2] == 'H' ? 1 : 2;
            if (sampled.count(name) || (described[name] & bit)) problem(line, "repeated or late description");
            if (bit == 2 && rest != " gauge") problem(line, "not a gauge");
            described[name] |= bit;
            continue;
        }
        std::size_t at = line.find_first_of("{ ");
        const std::string name = line.substr(0, at);
        if (name.empty() || name.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") != std::string::npos) {
            problem(line, "bad metric name");
            continue;
        }
        if (described[name] != 3) problem(line, "sample without HELP and TYPE");
        sampled.insert(name);
        std::string key = name + "{";
        if (at != std::string::npos && line[at] == '{') {
            for (++at; at < line.size() && line[at] != '}';) {
                const std::size_t equals = line.find("=\"", at);
                if (equals == std::string::npos) break;
                key += line.substr(at, equals - at) + "=";
                for (at = equals + 2; at < line.size() && line[at] != '"'; ++at) {
                    if (line[at] == '\\' && at + 1 < line.size()) {
                        const char c = line[++at];
                        if (c != '\\' && c != '"' && c != 'n') problem(line, "bad escape");
                        key += c == 'n' ? '\n' : c;
                    } else {
                        key += line[at];
                    }
                }
                ++at;  // the closing quote
                if (at < line.size() && line[at] == ',') ++at, key += ',';
            }
            if (at >= line.size() || line[at] != '}') problem(line, "labels not closed");
            ++at;
        }
        key += "}";
        const std::string value = at < line.size() && line[at] == ' ' ? line.substr(at + 1) : std::string();
        std::size_t used = 0;
        double number = 0;
        try {
            number = std::stod(value, &used);
        } catch (const std::exception&) {
        }
        if (value.empty() || used != value.size()) problem(line, "not one value (a timestamp, or none)");
        if (!result.samples.emplace(key, number).second) problem(line, "repeated sample");
    }
    return result;
}

}  // namespace

// Names that are not UTF-8 stay apart, each its own series: a byte that
// is not UTF-8, and "%", become %XX, which a reader turns back.
TEST(CliPrometheus, LabelValuesAreEscapedAndMadeUtf8) {
    EXPECT_EQ(cli::PrometheusLabel("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
    EXPECT_EQ(cli::PrometheusLabel("caf\xE9"), "caf%E9");
    EXPECT_EQ(cli::PrometheusLabel("caf\xE8"), "caf%E8");
    EXPECT_EQ(cli::PrometheusLabel("caf%E9"), "caf%25E9");
    EXPECT_EQ(cli::PrometheusLabel("\xEF\xBF\xBD \xED\xA0\x80"), "\xEF\xBF\xBD %ED%A0%80");
    EXPECT_EQ(cli::PrometheusLabel("na\xC3\xAFve"), "na\xC3\xAFve");
}

// The file as the collector reads it, after a whole walk and after one
// that failed; the old file stays whole until the new one is renamed over
// it, and a write that fails halfway leaves it as it was.
TEST(CliPrometheus, FileReadsAsTheTextFormatAndIsReplacedWhole) {
    testsupport::TreeFtpServer server;
    server.AddFile("top.html", 1);
    server.AddFile("say \"hi\"/a.html", 10);
    server.AddFile("back\\slash/deep/b.html", 100);
    server.AddFile("refused/c.html", 1000);
    server.RefuseCwd("refused");
    server.Start();
    testsupport::SiteTree folder;  // a temporary folder for the files
    const std::string file = (folder.Root() / "site.prom").string();
    const std::string host = server.Address();

    // The first file comes from a walk that leaves the refused directory
    // out by name: complete.
    CliResult run = RunCli({"ftp://me@" + host, "--prometheus", file, "--exclude", "refused"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string first = Slurp(file);
    Exposition parsed = ParseExposition(first);
    EXPECT_EQ(parsed.problems, std::vector<std::string>{}) << first;
    const std::string site = "{host=" + host + ",path=/}";
    const std::map<std::string, double> expected{
        {"dirweigh_bytes" + site, 111},
        {"dirweigh_files" + site, 3},
        {"dirweigh_directories" + site, 4},
        {"dirweigh_unreadable_directories" + site, 0},
        {"dirweigh_cut_directories" + site, 0},
        {"dirweigh_walk_complete" + site, 1},
        {"dirweigh_directory_bytes" + site, 111},
        {"dirweigh_directory_bytes{host=" + host + ",path=/say \"hi\"}", 10},
        {"dirweigh_directory_bytes{host=" + host + ",path=/back\\slash}", 100},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_TRUE(parsed.samples.count(key) && parsed.samples[key] == value) << key << "\n" << first;
    }
    EXPECT_EQ(parsed.samples.count("dirweigh_directory_bytes{host=" + host + ",path=/back\\slash/deep}"), 0u)
        << "deeper than --max-depth 1";
    EXPECT_EQ(parsed.samples.size(), expected.size() + 2) << "and the duration and the last success:\n" << first;
    const double lastSuccess = parsed.samples["dirweigh_last_success_timestamp_seconds" + site];
    EXPECT_GT(lastSuccess, 0);

    // A walk past the refused directory: the sizes as a lower bound and
    // the gauge of what was not read, the last success kept, the old file
    // never touched in place (a second name for it still reads the old
    // text). A walk that fails before it lists anything: no sizes.
    const std::string link = file + ".before";
    ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
    run = RunCli({"ftp://me@" + host, "--prometheus", file, "--walk", "design"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Slurp(link), first);
    const std::string second = Slurp(file);
    parsed = ParseExposition(second);
    EXPECT_EQ(parsed.problems, std::vector<std::string>{}) << second;
    EXPECT_EQ(parsed.samples["dirweigh_walk_complete" + site], 0) << second;
    EXPECT_EQ(parsed.samples["dirweigh_bytes" + site], 111) << second;
    EXPECT_EQ(parsed.samples["dirweigh_unreadable_directories" + site], 1) << second;
    EXPECT_EQ(parsed.samples["dirweigh_last_success_timestamp_seconds" + site], lastSuccess) << second;
    std::filesystem::remove(link);

    // "-" is standard output, and nothing else is printed there.
    run = RunCli({"ftp://me@" + host, "--prometheus", "-", "--exclude", "refused"});
    EXPECT_EQ(run.status, 0) << run.err;
    parsed = ParseExposition(run.out);
    EXPECT_EQ(parsed.problems, std::vector<std::string>{}) << run.out;
    EXPECT_EQ(parsed.samples["dirweigh_bytes" + site], 111) << run.out;
    EXPECT_FALSE(std::filesystem::exists("-"));

    // A write that fails halfway (the file size limit) leaves the old file
    // whole and no temporary file behind.
    cli::PrometheusWalk big{host, "/", cli::Totals{}, {}, 1, 1, 1};
    for (int d = 0; d < 200; ++d) big.directories.push_back({"directory-" + std::to_string(d), 1, d});
    const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limit{}, previousLimit{};
    getrlimit(RLIMIT_FSIZE, &previousLimit);
    limit = previousLimit;
    limit.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string error;
    const bool written = cli::WritePrometheusFile(file, big, error);
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(Slurp(file), second);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Root()))
        left.push_back(entry.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"site.prom"});
}
