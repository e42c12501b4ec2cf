// SPDX-License-Identifier: MIT
// What a walk keeps of what it saw: both walks fill the same tree, from the
// same places where they count, and its totals are the walk's.

#include "tests/ftp/client/ftp_fixture.h"
#include "sitetree/walk_tree.h"
#include "tests/fakes/pyftpd.h"
#include "tests/fakes/tree_server.h"
#include "tests/sitetree/walk_tree_dump.h"
#include "tests/support/site_tree.h"
#include "walk/pipelined_walker.h"

#include <filesystem>
#include <limits>

namespace {

struct Quiet : zn::WalkObserver {
    void WalkFailed(const std::string& message) override { failures.push_back(message); }
    Lines failures;
};

using testsupport::Dump;

}  // namespace

TEST(WalkTree, KeepsOrderPathsAndSumsThatSaturate) {
    zn::WalkTree tree("/start");
    const int a = tree.AddDirectory(zn::WalkTree::kRoot, "a");
    const int b = tree.AddDirectory(a, "b c");
    const int z = tree.AddDirectory(zn::WalkTree::kRoot, "z");
    tree.AddEntry(b, zn::WalkTree::ekFile, "x\xe9.bin", 10);
    tree.AddEntry(a, zn::WalkTree::ekFile, "one", 5);
    tree.AddEntry(a, zn::WalkTree::ekLink, "ln", 99);
    tree.AddEntry(a, zn::WalkTree::ekFile, "two", 7);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekExcluded, "logs", 0);
    tree.AddEntry(z, zn::WalkTree::ekFile, "big", std::numeric_limits<std::int64_t>::max());
    tree.AddEntry(z, zn::WalkTree::ekFile, "big2", 1);
    // A name longer than the arena's blocks gets one of its own.
    const std::string longName(std::size_t{300} * 1024, 'n');
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, longName, -1);
    // A listing taken back leaves no trace, a block of its own included.
    const zn::WalkTree::Mark mark = tree.MarkOf(a);
    tree.AddEntry(a, zn::WalkTree::ekFile, "taken back", 1000);
    tree.AddEntry(a, zn::WalkTree::ekFile, longName + "2", 1000);
    tree.RollBack(mark);
    tree.Sum();
    EXPECT_EQ(tree.Name(zn::WalkTree::kRoot), "/start");
    EXPECT_EQ(tree.Path(b), "a/b c");
    EXPECT_EQ(tree.FirstChild(zn::WalkTree::kRoot), a);
    EXPECT_EQ(tree.NextSibling(a), z);
    EXPECT_EQ(tree.NextSibling(z), zn::WalkTree::kNone);
    Lines names;
    for (auto e = tree.FirstEntry(a); e != zn::WalkTree::kNone; e = tree.NextEntry(e)) {
        names.emplace_back(tree.EntryAt(e).Name);
    }
    EXPECT_EQ(names, (Lines{"one", "ln", "two"}));
    EXPECT_EQ(tree.EntryAt(tree.FirstEntry(b)).Name, "x\xe9.bin");
    EXPECT_EQ(tree.TotalBytes(a), 121);  // a link's size counts, not as a file
    EXPECT_EQ(tree.TotalFiles(a), 3);
    EXPECT_EQ(tree.TotalBytes(z), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(tree.TotalBytes(zn::WalkTree::kRoot), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(tree.TotalFiles(zn::WalkTree::kRoot), 6);
    EXPECT_EQ(tree.EntryAt(tree.FirstEntry(zn::WalkTree::kRoot) + 0).Kind, zn::WalkTree::ekExcluded);
    std::string_view stored;
    for (auto e = tree.FirstEntry(zn::WalkTree::kRoot); e != zn::WalkTree::kNone; e = tree.NextEntry(e)) {
        stored = tree.EntryAt(e).Name;
    }
    EXPECT_EQ(stored, longName);
}

// Names with spaces, quotes, backslashes and Latin-1 bytes, a link, an
// excluded directory, a 4 GiB file: the designed walk and the fast walk keep
// the same tree, and its totals are theirs.
TEST_F(FtpTest, BothWalksKeepTheSameTreeOnPyftpdlib) {
    testsupport::SiteTree site;
    site.AddFile("sp ace/\"quoted\".html", 11);
    site.AddFile("back\\slash/caf\xe9.txt", 22);
    site.AddFile("back\\slash/deeper/x", 33);
    site.AddFile("logs/access.log", 999);
    site.AddFile("huge.iso", 4294967296ULL);
    site.AddDirectory("empty");
    std::filesystem::create_symlink("huge.iso", site.Root() / "link.iso");
    testsupport::PyFtpd server(site.Root().string(), "user", "secret");
    ASSERT_TRUE(server.Running()) << server.Error();
    ftp_->SetServer(server.Address());
    Quiet quiet;
    zn::WalkTree designedTree, fastTree;
    zn::WalkRules rules;
    rules.Tree = &designedTree;
    ftp_->Connect();
    zn::CwdWalker designed(*ftp_, quiet, rules);
    designed.Walk();
    ftp_->Disconnect();
    rules.Tree = &fastTree;
    ftp_->Connect();
    zn::PipelinedWalker fast(*ftp_, quiet, rules);
    fast.Walk();
    ftp_->Disconnect();
    EXPECT_TRUE(quiet.failures.empty()) << quiet.failures.front();
    const Lines dump = Dump(designedTree);
    EXPECT_EQ(Dump(fastTree), dump);
    EXPECT_EQ(designedTree.TotalBytes(zn::WalkTree::kRoot), designed.Totals().TotalBytes);
    EXPECT_EQ(designedTree.TotalFiles(zn::WalkTree::kRoot), designed.Totals().TotalFiles);
    EXPECT_EQ(designedTree.DirectoryCount(), designed.Totals().Directories);
    for (const char* line :
         {"/back\\slash/caf\xe9.txt file 22", "/link.iso link 0", "/logs excluded 0", "/huge.iso file 4294967296",
          "/sp ace/\"quoted\".html file 11", "/back\\slash own 22/1 total 55/2", "/empty own 0/0 total 0/0"}) {
        EXPECT_NE(std::find(dump.begin(), dump.end(), line), dump.end()) << line;
    }
}

// A name that cannot be entered is kept as refused; a directory whose CWD
// fails is kept unread, and the walk ends there with the totals so far.
TEST(WalkTreeFaults, RefusedNamesAndAnUnreadableDirectoryAreMarked) {
    testsupport::TreeFtpServer server;
    server.AddFile("a/one.html", 10);
    server.AddFile("b/two.html", 20);
    server.AddRawLine("", "drwxr-xr-x   2 web      web          4096 Mar  7 14:05 x/y");
    server.RefuseCwd("b");
    server.Start();
    platform::TComponent owner(nullptr);
    auto* ftp = new zn::TznFTP(&owner);
    ftp->SetWinsockLoaded(true);
    ftp->SetTimeOut(2);
    ftp->SetServer(server.Address());
    ftp->SetUserName("user");
    ftp->SetPassword("secret");
    ftp->Connect();
    Quiet quiet;
    zn::WalkTree tree;
    zn::WalkRules rules;
    rules.Tree = &tree;
    zn::CwdWalker walker(*ftp, quiet, rules);
    walker.Walk();
    ftp->Disconnect();
    EXPECT_TRUE(walker.Totals().Aborted);
    EXPECT_EQ(Dump(tree), (Lines{"/ own 0/0 total 10/1", "/a own 10/1 total 10/1", "/a/one.html file 10",
                                 "/b unreadable own 0/0 total 0/0", "/x/y refused 0"}));
}
