// SPDX-License-Identifier: MIT
// Against a real FTP server (pyftpdlib) over a generated tree: the parsed
// names, kinds and sizes must be the tree's own.

#include "tests/ftp/client/ftp_fixture.h"
#include "tests/fakes/pyftpd.h"
#include "tests/support/site_tree.h"

TEST_F(FtpTest, WalksARealServerAndListsWhatTheTreeHolds) {
    testsupport::SiteTree tree;
    tree.AddFile("index.html", 1234);
    tree.AddFile("big.iso", 3221225472ULL);  // sparse: over 2 GiB, no disk used
    tree.AddFile("dir with space/page one.html", 77);
    tree.AddFile("dir with space/deeper/x.bin", 65536);
    tree.AddDirectory("empty");
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "pass word");
    ASSERT_TRUE(server.Running()) << server.Error();

    ftp_->SetServer(server.Address());
    ftp_->SetUserName("webmaster");
    ftp_->SetPassword("pass word");
    ftp_->Connect();
    ftp_->List();
    EXPECT_EQ(ftp_->ServerType(), zn::stUnix);
    EXPECT_EQ(testsupport::Listed(ftp_->DirList()), tree.Entries(""));

    ftp_->ChangeDir("dir with space");
    ftp_->List();
    EXPECT_EQ(testsupport::Listed(ftp_->DirList()), tree.Entries("dir with space"));
    ftp_->ChangeDirUp();
    ftp_->ChangeDir("empty");
    ftp_->List();
    EXPECT_EQ(ftp_->DirList().Count(), 0);
    ftp_->ChangeDirUp();
    ftp_->Disconnect();
    EXPECT_FALSE(ftp_->Connected());
}

TEST_F(FtpTest, RealServerRefusesAWrongPassword) {
    testsupport::SiteTree tree;
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "right");
    ASSERT_TRUE(server.Running()) << server.Error();
    ftp_->SetServer(server.Address());
    ftp_->SetUserName("webmaster");
    ftp_->SetPassword("wrong");
    EXPECT_EQ(MessageOf<zn::EServerError>([&] { ftp_->Connect(); }).substr(0, 4), "530 ");
}

// Over IPv6 the control connection does all a walk over STAT needs: the
// server typed as a bracketed literal needs no lookup, and the connection
// knows its family and both ends for the data connections to come.
TEST_F(FtpTest, LogsOnOverIpv6AndListsOverTheControlConnection) {
    testsupport::SiteTree tree;
    tree.AddFile("index.html", 1234);
    tree.AddFile("pub/notes.txt", 77);
    testsupport::PyFtpd server(tree.Root().string(), "webmaster", "pass word", {}, 0, false, false, false, 0, false,
                               "::1");
    ASSERT_TRUE(server.Running()) << server.Error();

    ftp_->SetServer(server.Address());
    ftp_->SetUserName("webmaster");
    ftp_->SetPassword("pass word");
    ftp_->Connect();
    EXPECT_EQ(ftp_->AddressFamily(), winsock::kAfInet6);
    EXPECT_EQ(ftp_->PeerAddress(), "::1");
    EXPECT_EQ(ftp_->LocalAddress(), "::1");
    EXPECT_EQ(ftp_->PrintWorkingDir(), "/");
    zn::TznFTPDirList list;
    ftp_->StatList("/pub", list);
    EXPECT_EQ(testsupport::Listed(list), tree.Entries("pub"));
    ftp_->Disconnect();
}
