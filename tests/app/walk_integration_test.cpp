// SPDX-License-Identifier: MIT
// A full walk against a real FTP server (pyftpdlib) over a generated tree of
// more than 200 directories: the labels must equal the tree's own totals
// under the walk's rules.

#include "tests/app/main_form_fixture.h"

#include "tests/fakes/pyftpd.h"
#include "tests/fakes/sshd.h"
#include "tests/fakes/test_certificate.h"
#include "tests/support/site_tree.h"

#include "sitetree/history_key.h"
#include "sitetree/walk_history.h"

#include <QProgressBar>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <utility>

namespace {

struct Totals {
    std::uint64_t bytes = 0;
    int files = 0;
};

// What the walk should count: every file, except below directories named logs.
Totals Expected(const std::filesystem::path& dir) {
    Totals totals;
    for (const auto& item : std::filesystem::directory_iterator(dir)) {
        if (item.is_directory()) {
            if (item.path().filename() == "logs") continue;
            Totals below = Expected(item.path());
            totals.bytes += below.bytes;
            totals.files += below.files;
        } else {
            totals.bytes += item.file_size();
            ++totals.files;
        }
    }
    return totals;
}

void WriteFile(const std::filesystem::path& path, std::size_t size) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

// The user's side of an SFTP logon for the window: a home whose ~/.ssh
// holds the key that opens the fixture's server, and DirWeigh's own
// state folder for the host keys it trusts; both put back at the end.
class SshHome {
public:
    SshHome(const std::filesystem::path& dir, const testsupport::Sshd& sshd) : home_(dir / "home") {
        std::filesystem::create_directories(home_ / ".ssh");
        std::filesystem::copy_file(sshd.ClientKey(), home_ / ".ssh" / "id_ed25519");
        std::filesystem::permissions(home_ / ".ssh" / "id_ed25519",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
        for (const char* name : {"HOME", "XDG_STATE_HOME"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("HOME", home_.c_str(), 1);
        setenv("XDG_STATE_HOME", (home_ / "state").c_str(), 1);
    }
    ~SshHome() {
        for (const auto& [name, value] : saved_) value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    SshHome(const SshHome&) = delete;
    SshHome& operator=(const SshHome&) = delete;

    std::filesystem::path Key() const { return home_ / ".ssh" / "id_ed25519"; }
    std::filesystem::path UserKnownHosts() const { return home_ / ".ssh" / "known_hosts"; }
    std::filesystem::path OwnKnownHosts() const { return home_ / "state" / "dirweigh" / "known_hosts"; }

private:
    std::filesystem::path home_;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

std::string SftpUrl(const testsupport::Sshd& sshd) {
    return std::string("sftp://") + testsupport::Sshd::kUser + "@127.0.0.1:" + std::to_string(sshd.Port()) + "/";
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(MainFormTest, WalksARealServerAndMatchesTheTreesTotals) {
    testsupport::SiteTree tree;
    int directories = 0;
    for (int top = 0; top < 12; ++top) {
        const std::string a = (top % 3 == 0 ? "section " : "section_") + std::to_string(top);
        tree.AddFile(a + "/index.html", 1000 + top);
        ++directories;
        for (int mid = 0; mid < 8; ++mid) {
            const std::string b = a + "/" + (mid == 5 ? std::string("logs") : "page dir " + std::to_string(mid));
            tree.AddFile(b + "/p.html", 10 * mid + top);
            ++directories;
            for (int leaf = 0; leaf < 2; ++leaf) {
                const std::string c =
                    b + "/" + (leaf == 1 && mid == 2 ? std::string("logs") : "leaf" + std::to_string(leaf));
                tree.AddFile(c + "/data.bin", 777 + leaf);
                tree.AddFile(c + "/logs", 3);  // a file named logs counts
                ++directories;
            }
        }
    }
    tree.AddFile("logs/access.log", 99999);
    tree.AddFile("big.iso", 2147483648ULL);
    ASSERT_GE(directories, 200);
    const Totals expected = Expected(tree.Root());

    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "s3cret");
    ASSERT_TRUE(server.Running()) << server.Error();
    Connect(server.Address());
    ASSERT_TRUE(boxes_.empty()) << boxes_.front().text;
    Form().GetSizeBtn->click();
    EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? "" : boxes_.front().text);
    EXPECT_EQ(Form().BytesLbl->text().toStdString(), std::to_string(expected.bytes));
    EXPECT_EQ(Form().MBLbl->text().toStdString(), std::to_string(expected.bytes / 1024));
    EXPECT_EQ(Form().FilesLbl->text().toStdString(), std::to_string(expected.files));
}

// A complete walk is kept in the history ($XDG_DATA_HOME, a folder of the
// test binary's own), and the next one logs the change since; History=0
// keeps nothing and stays as the user wrote it.
TEST_F(MainFormTest, CompleteWalksAreKeptAndTheChangeIsLogged) {
    testsupport::SiteTree tree;
    tree.AddFile("a.html", 1000);
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "s3cret");
    ASSERT_TRUE(server.Running()) << server.Error();
    const std::string folder = zn::SiteHistoryFolder(zn::HistoryRoot(), {"webmaster", server.Address(), "/"});
    Connect(server.Address());
    Form().GetSizeBtn->click();
    EXPECT_EQ(zn::HistoryFiles(folder).size(), 1u) << Log();
    EXPECT_EQ(Log().find(" since "), std::string::npos);
    tree.AddFile("b.bin", 1536);
    Form().GetSizeBtn->click();
    EXPECT_EQ(zn::HistoryFiles(folder).size(), 2u);
    EXPECT_NE(Log().find("\n+1.5 KB since "), std::string::npos) << Log();

    form_.reset();
    WriteIni("[Setup]\nHistory=0\n");
    Connect(server.Address());
    Form().GetSizeBtn->click();
    EXPECT_EQ(Form().BytesLbl->text(), "2536");
    EXPECT_EQ(zn::HistoryFiles(folder).size(), 2u);
    EXPECT_EQ(Log().find(" since "), std::string::npos) << Log();
    Form().CloseBtn->click();
    EXPECT_NE(ReadIni().find("History=0\n"), std::string::npos);
}

// Passive=1, FastWalk=1 and Connections=N are settings, read at start and
// left as they are on Quit. The fast walk's further connections, opened
// where listings are slow, show in the log with their numbers.
TEST_F(MainFormTest, PassiveAndFastWalkSettingsAreReadAndKept) {
    testsupport::SiteTree tree;
    tree.AddFile("a/b.html", 1234);
    tree.AddFile("c.html", 10);
    for (int d = 0; d < 44; ++d) tree.AddFile("d" + std::to_string(d) + "/s/e.html", 25);
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "s3cret", {}, 0, false, false, false, 10);
    ASSERT_TRUE(server.Running()) << server.Error();
    WriteIni("[Setup]\nServer=x\nPassive=1\nFastWalk=1\nConnections=3\n");
    Connect(server.Address());
    Form().GetSizeBtn->click();
    EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? "" : boxes_.front().text);
    EXPECT_EQ(Form().BytesLbl->text(), "2344");
    EXPECT_NE(Log().find("\nEPSV\n"), std::string::npos) << "pyftpdlib's FEAT lists EPSV";
    EXPECT_EQ(Log().find("PORT "), std::string::npos);
    EXPECT_EQ(Log().find("EPRT "), std::string::npos);
    EXPECT_NE(Log().find("\nSTAT /a\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("\n[2] PASS ********\n"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("\n[4] "), std::string::npos) << Log();
    Form().CloseBtn->click();
    EXPECT_NE(ReadIni().find("Passive=1\nFastWalk=1\nConnections=3\n"), std::string::npos);
}

// TLS is on by default (auto). An untrusted certificate is asked about once:
// no cancels before the user name, yes is kept for the server and the walk
// goes over TLS.
TEST_F(MainFormTest, UntrustedCertificateIsAskedAboutOnceAndKeptForTheServer) {
    testsupport::TestCertificate certificate;
    ASSERT_TRUE(certificate.Made());
    testsupport::SiteTree tree;
    tree.AddFile("a/b.html", 1234);
    tree.AddFile("c.html", 10);
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "s3cret", certificate.KeyAndCertFile());
    ASSERT_TRUE(server.Running()) << server.Error();
    std::vector<std::string> questions;
    bool answer = false;
    const platform::QuestionHook previous = platform::SetQuestionHook([&](const std::string& text, const std::string&) {
        questions.push_back(text);
        return answer;
    });
    plainDialogue_ = false;
    // An empty trust store: the system's would take seconds to load in this
    // build and changes nothing here.
    setenv("SSL_CERT_FILE", "/dev/null", 1);

    Connect(server.Address());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find(certificate.Fingerprint()), std::string::npos) << questions[0];
    EXPECT_FALSE(Form().znFTP->Connected());
    EXPECT_EQ(Log().find("USER"), std::string::npos) << Log();
    EXPECT_EQ(ReadIni().find("TrustedFingerprint"), std::string::npos);

    answer = true;
    Connect(server.Address());
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_TRUE(Form().znFTP->Connected()) << Log();
    EXPECT_NE(Log().find(", certificate pinned\n"), std::string::npos) << Log();
    EXPECT_NE(ReadIni().find("[TLS " + server.Address() + "]\nTrustedFingerprint=" + certificate.Fingerprint()),
              std::string::npos)
        << ReadIni();
    boxes_.clear();
    Form().GetSizeBtn->click();
    EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? "" : boxes_.front().text);
    EXPECT_EQ(Form().BytesLbl->text(), "1244");
    Form().DisconnectBtn->click();

    Connect(server.Address());
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_TRUE(Form().znFTP->Connected());
    EXPECT_NE(ReadIni().find("\nSpokeTls=1"), std::string::npos) << ReadIni();
    Form().DisconnectBtn->click();

    // A server without TLS: the log says the password goes in clear; once
    // marked as having spoken TLS, it is refused, with the way to accept it.
    testsupport::PyFtpd plain(tree.Root().string(), "webmaster", "s3cret");
    ASSERT_TRUE(plain.Running()) << plain.Error();
    Connect(plain.Address());
    EXPECT_TRUE(Form().znFTP->Connected());
    EXPECT_NE(Log().find("The server does not offer TLS; going on without it: the password travels in clear.\n"),
              std::string::npos)
        << Log();
    Form().DisconnectBtn->click();
    std::ofstream(dir_ / "dirweigh.ini", std::ios::app) << "[TLS " << plain.Address() << "]\nSpokeTls=1\n";
    boxes_.clear();
    Connect(plain.Address());
    EXPECT_FALSE(Form().znFTP->Connected());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("This server spoke TLS before, and now it does not offer TLS."), std::string::npos)
        << boxes_[0].text;
    EXPECT_NE(boxes_[0].text.find("remove SpokeTls=1 from its [TLS " + plain.Address() + "] section"),
              std::string::npos)
        << boxes_[0].text;
    // Another spelling of the same server is held to it too.
    boxes_.clear();
    Connect("127.1" + plain.Address().substr(plain.Address().find(':')));
    EXPECT_FALSE(Form().znFTP->Connected());
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].text.find("This server spoke TLS before"), std::string::npos) << boxes_[0].text;
    platform::SetQuestionHook(previous);
    unsetenv("SSL_CERT_FILE");
}

// An sftp:// URL in the Server field, its user before the User field's. An
// unknown host key is asked about with its fingerprint: no ends the connect
// before any logon; yes keeps it in DirWeigh's own known-hosts file, never
// the user's, and is not asked again. The walk over SFTP counts hidden
// files, names with blanks or in any bytes and sizes past 32 bits, not
// links, passes over the folder it may not read with one box, and is kept
// in the history under the sftp site.
TEST_F(MainFormTest, SftpSiteIsWalkedExactlyOnceItsHostKeyIsTrusted) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    const std::filesystem::path& root = sshd.Root();
    WriteFile(root / "index.html", 1000);
    WriteFile(root / ".htaccess", 20);
    WriteFile(root / "my docs" / "read me.txt", 3000);
    WriteFile(root / "logs" / "access.log", 5000);
    WriteFile(root / "private" / "secret", 999);
    std::filesystem::permissions(root / "private", std::filesystem::perms::owner_all);
    std::filesystem::create_symlink("index.html", root / "link");
    // Names as bytes (Latin-1, a line break) and a size past 32 bits, sparse.
    WriteFile(root / "caf\xe9.txt", 7);
    WriteFile(root / "two\nlines", 3);
    std::ofstream(root / "disk.img").close();
    std::filesystem::resize_file(root / "disk.img", (std::int64_t{1} << 32) + 1);
    const SshHome home(dir_, sshd);
    std::vector<std::string> questions;
    bool answer = false;
    const platform::QuestionHook previous = platform::SetQuestionHook([&](const std::string& text, const std::string&) {
        questions.push_back(text);
        return answer;
    });

    Connect(SftpUrl(sshd));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(std::regex_search(questions[0], std::regex("\nSHA256:[A-Za-z0-9+/]{43}\n"))) << questions[0];
    EXPECT_EQ(Buttons(), "C---");
    EXPECT_EQ(sshd.Log().find("userauth-request"), std::string::npos) << sshd.Log();

    answer = true;
    Connect(SftpUrl(sshd));
    EXPECT_EQ(questions.size(), 2u);
    ASSERT_EQ(Buttons(), "-D-G") << Log() << sshd.Log();
    EXPECT_EQ(Status(), "Connected.");
    EXPECT_NE(ReadText(home.OwnKnownHosts()).find("[127.0.0.1]:" + std::to_string(sshd.Port()) + " "),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home.UserKnownHosts()));
    boxes_.clear();
    Form().GetSizeBtn->click();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: The server would not let 1 directory be read: the total "
                                                   "leaves out what is in them (see the log)"});
    EXPECT_EQ(Form().BytesLbl->text(), "4294971327");
    EXPECT_EQ(Form().MBLbl->text(), "4194307");
    EXPECT_EQ(Form().FilesLbl->text(), "6");
    EXPECT_EQ(Status(), "Size retrieved.");
    EXPECT_NE(Log().find("\nOPENDIR /my docs\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("\nNot read: private: Permission denied\n"), std::string::npos) << Log();
    const zn::SiteKey site{testsupport::Sshd::kUser, "127.0.0.1:" + std::to_string(sshd.Port()), "/",
                           zn::UrlScheme::Sftp};
    EXPECT_EQ(zn::HistoryFiles(zn::SiteHistoryFolder(zn::HistoryRoot(), site)).size(), 1u) << Log();
    Form().DisconnectBtn->click();
    EXPECT_EQ(Buttons(), "C---");

    // A start path below the login directory, %-escaped as links carry it.
    Connect(SftpUrl(sshd) + "my%20docs");
    EXPECT_EQ(questions.size(), 2u);
    ASSERT_EQ(Buttons(), "-D-G") << Log();
    Form().GetSizeBtn->click();
    EXPECT_EQ(Form().BytesLbl->text(), "3000") << Log();
    Form().DisconnectBtn->click();
    Form().ServerEdt->setText(QString::fromStdString(SftpUrl(sshd)));

    // Without a key, the Password field's password.
    std::filesystem::remove(home.Key());
    if (sshd.TakesPassword()) {
        Form().PasswordEdt->setText(testsupport::Sshd::kPassword);
        Form().ConnectBtn->click();
        EXPECT_EQ(Buttons(), "-D-G") << Log();
        EXPECT_NE(sshd.Log().find("Accepted password for dirweigh-sftp"), std::string::npos) << sshd.Log();
    }
    platform::SetQuestionHook(previous);
    Form().CloseBtn->click();
    EXPECT_NE(ReadIni().find("Server=" + SftpUrl(sshd) + "\n"), std::string::npos) << ReadIni();
}

// Cancel during the SFTP walk: one box, the partial totals, the connection
// closed, as after a Cancel of an FTP walk.
TEST_F(MainFormTest, CancelDuringTheSftpWalkEndsItAndCloses) {
    testsupport::Sshd sshd;
    if (sshd.Skipped()) GTEST_SKIP() << sshd.Error();
    ASSERT_TRUE(sshd.Running()) << sshd.Error();
    // Each level is asked for only once its parent is read: the walk goes
    // on for a while after the click.
    std::filesystem::path deep = sshd.Root();
    for (int level = 0; level < 20; ++level) {
        deep /= "d";
        WriteFile(deep / "f", 1);
    }
    const SshHome home(dir_, sshd);
    std::filesystem::create_directories(home.OwnKnownHosts().parent_path());
    std::ofstream(home.OwnKnownHosts()) << sshd.KnownHostsLine(sshd.HostKey()) << "\n"
                                        << sshd.KnownHostsLine(sshd.EcdsaHostKey()) << "\n";
    Connect(SftpUrl(sshd));
    ASSERT_EQ(Buttons(), "-D-G") << Log();
    // Clicked once, through the event queue as a click comes, when the
    // first directory is listed.
    bool clicked = false;
    QObject::connect(Form().ProgressBar, &QProgressBar::valueChanged, Form().ProgressBar, [this, &clicked](int) {
        if (std::exchange(clicked, true)) return;
        platform::PostCallback([this] { Form().CancelBtn->click(); });
    });
    Form().GetSizeBtn->click();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"ERROR: Operation has been canceled"});
    EXPECT_LT(Form().FilesLbl->text().toInt(), 20);
    EXPECT_EQ(Status(), "Size retrieved.");
    EXPECT_EQ(Buttons(), "C---");
}
