// SPDX-License-Identifier: MIT
// The FTP servers people run, started as they ship and as tuned to show dot
// files, over a web site with hidden entries: each serves the tree, and a
// bare LIST leaves names that begin with a dot out unless it is tuned.

#include "tests/ftp/client/ftp_fixture.h"
#include "tests/fakes/proftpd.h"
#include "tests/fakes/pure_ftpd.h"
#include "tests/fakes/vsftpd.h"

using testsupport::Hidden;

class RealServerTest : public FtpTest {
protected:
    void SetUp() override {
        FtpTest::SetUp();
        tree_.AddWebSite();
    }

    // The parsed LIST of the start directory.
    std::map<std::string, testsupport::TreeEntry> RootListing(const testsupport::RealFtpServer& server,
                                                              const std::string& userName = "anonymous",
                                                              const std::string& password = "guest@") {
        ftp_->SetServer(server.Address());
        ftp_->SetUserName(userName);
        ftp_->SetPassword(password);
        ftp_->Connect();
        ftp_->List();
        auto entries = testsupport::Listed(ftp_->DirList());
        ftp_->Disconnect();
        // proftpd's "-a" and pure-ftpd's -D list them too; the walks pass
        // over them.
        entries.erase(".");
        entries.erase("..");
        return entries;
    }

    testsupport::SiteTree tree_;
};

#define ASSERT_SERVES(server)                                 \
    if ((server).Skipped()) GTEST_SKIP() << (server).Error(); \
    ASSERT_TRUE((server).Running()) << (server).Error()

TEST_F(RealServerTest, VsftpdListsDotFilesOnlyWithForceDotFiles) {
    testsupport::Vsftpd shipped(tree_.Root());
    testsupport::Vsftpd tuned(tree_.Root(), {.forceDotFiles = true});
    ASSERT_SERVES(shipped);
    ASSERT_SERVES(tuned);
    EXPECT_EQ(RootListing(shipped), tree_.Entries("", Hidden::LeftOut)) << shipped.Log();
    EXPECT_EQ(RootListing(tuned), tree_.Entries("")) << tuned.Log();
}

TEST_F(RealServerTest, ProftpdListsDotFilesOnlyWithListOptionsA) {
    testsupport::Proftpd shipped(tree_.Root());
    testsupport::Proftpd tuned(tree_.Root(), {.listDotFiles = true});
    ASSERT_SERVES(shipped);
    ASSERT_SERVES(tuned);
    EXPECT_EQ(RootListing(shipped), tree_.Entries("", Hidden::LeftOut)) << shipped.Log();
    EXPECT_EQ(RootListing(tuned), tree_.Entries("")) << tuned.Log();
}

TEST_F(RealServerTest, PureFtpdListsDotFilesOnlyWithDisplayDotFiles) {
    testsupport::PureFtpd shipped(tree_.Root());
    testsupport::PureFtpd tuned(tree_.Root(), {.displayDotFiles = true});
    ASSERT_SERVES(shipped);
    ASSERT_SERVES(tuned);
    EXPECT_EQ(RootListing(shipped, shipped.UserName(), shipped.Password()), tree_.Entries("", Hidden::LeftOut))
        << shipped.Log();
    EXPECT_EQ(RootListing(tuned, tuned.UserName(), tuned.Password()), tree_.Entries("")) << tuned.Log();
}
