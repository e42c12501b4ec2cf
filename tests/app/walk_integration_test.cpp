// SPDX-License-Identifier: MIT
// A full walk against a real FTP server (pyftpdlib) over a generated tree of
// more than 200 directories: the labels must equal the tree's own totals
// under the walk's rules.

#include "tests/app/main_form_fixture.h"

#include "tests/fakes/pyftpd.h"
#include "tests/fakes/test_certificate.h"
#include "tests/support/site_tree.h"

#include "sitetree/history_key.h"
#include "sitetree/walk_history.h"

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
