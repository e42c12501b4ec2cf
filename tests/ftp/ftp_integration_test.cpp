// SPDX-License-Identifier: MIT
// Against a real FTP server (pyftpdlib) over a generated tree: the parsed
// names, kinds and sizes must be the tree's own.

#include "tests/fakes/pyftpd.h"
#include "tests/ftp/ftp_fixture.h"
#include "tests/ftp/site_tree.h"

namespace {

std::map<std::string, testsupport::TreeEntry> Listed(zn::TznFTPDirList& list) {
    std::map<std::string, testsupport::TreeEntry> entries;
    for (int i = 0; i < list.Count(); ++i) {
        const zn::TznFTPDirEntry& e = list.Items(i);
        EXPECT_TRUE(e.Kind == zn::dkFile || e.Kind == zn::dkDirectory) << e.Name;
        entries[e.Name] = {e.Kind == zn::dkDirectory,
                           e.Kind == zn::dkDirectory ? 0 : static_cast<std::uintmax_t>(e.Size)};
    }
    return entries;
}

}  // namespace

namespace testsupport {
std::ostream& operator<<(std::ostream& out, const TreeEntry& e) {
    return out << (e.directory ? "dir" : "file ") << (e.directory ? "" : std::to_string(e.size));
}
}  // namespace testsupport

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
    EXPECT_EQ(Listed(ftp_->DirList()), tree.Entries(""));

    ftp_->ChangeDir("dir with space");
    ftp_->List();
    EXPECT_EQ(Listed(ftp_->DirList()), tree.Entries("dir with space"));
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
