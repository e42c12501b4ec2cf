// SPDX-License-Identifier: MIT
// The ncdu export: names written as their bytes, the marks ncdu knows,
// what comes back from a file, and exports of other programs read.

#include "sitetree/ncdu_export.h"
#include "sitetree/gzip_members.h"
#include "sitetree/walk_compare.h"
#include "tests/sitetree/walk_tree_dump.h"
#include "tests/support/site_tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

// Every byte but NUL and "/" in names, an excluded directory, a link, a
// refused name, an unread directory and a file of 4 GiB.
void FillAwkward(zn::WalkTree& tree) {
    tree.Rename(zn::WalkTree::kRoot, "/srv/site");
    tree.Listed(zn::WalkTree::kRoot);
    std::string every;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != '/') every += static_cast<char>(byte);
    }
    const int odd = tree.AddDirectory(zn::WalkTree::kRoot, every);
    tree.Listed(odd);
    tree.AddEntry(odd, zn::WalkTree::ekFile, "caf\xe9 \"q\" back\\slash", 513);
    tree.AddEntry(odd, zn::WalkTree::ekFile, "huge.iso", 4294967296LL);
    tree.AddEntry(odd, zn::WalkTree::ekFile, "size unknown", -1);
    const int deeper = tree.AddDirectory(odd, "deeper");
    tree.Listed(deeper);
    tree.AddEntry(deeper, zn::WalkTree::ekFile, "x", 1);
    tree.AddDirectory(zn::WalkTree::kRoot, "closed");
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekExcluded, "logs", 0);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekLink, "link", 0);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekRefused, "a/b", 0);
}

std::string Written(const zn::WalkTree& tree, const zn::NcduMetadata& metadata = {"1.03", 1700000000, ""}) {
    std::string text;
    EXPECT_TRUE(zn::WriteNcdu(tree, metadata, [&](std::string_view piece) {
        text += piece;
        return true;
    }));
    return text;
}

}  // namespace

TEST(NcduExport, WritesNamesAsBytesAndTheMarksNcduKnows) {
    zn::WalkTree tree;  // a start path not known
    tree.Listed(zn::WalkTree::kRoot);
    const int dir = tree.AddDirectory(zn::WalkTree::kRoot, "a\"b\\c\x01\x1f\x7f\x80\xe9\xff");
    tree.AddEntry(dir, zn::WalkTree::ekFile, "f", 1);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, "blocks", 1024);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekFile, "empty", 0);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekExcluded, "logs", 0);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekLink, "ln", 0);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekRefused, "x/y", 0);
    tree.AddEntry(zn::WalkTree::kRoot, zn::WalkTree::ekRefused, "", 0);  // ncdu takes no item without a name
    EXPECT_EQ(Written(tree, {"1.03", 1700000000, "ftp://me@host/pub \"x\""}),
              "[1,2,{\"progname\":\"dirweigh\",\"progver\":\"1.03\",\"timestamp\":1700000000,"
              "\"source\":\"ftp://me@host/pub \\\"x\\\"\"},\n"
              "[{\"name\":\"/\"},\n"
              "{\"name\":\"blocks\",\"asize\":1024,\"dsize\":1024},\n"
              "{\"name\":\"empty\"},\n"
              "{\"name\":\"logs\",\"excluded\":\"pattern\"},\n"
              "{\"name\":\"ln\",\"notreg\":true},\n"
              "{\"name\":\"x/y\",\"read_error\":true},\n"
              "[{\"name\":\"a\\\"b\\\\c\\u0001\\u001f\\u007f\x80\xe9\xff\",\"read_error\":true},\n"
              "{\"name\":\"f\",\"asize\":1,\"dsize\":512}]]]\n");
}

TEST(NcduExport, WhatIsWrittenReadsBackAsTheSameTree) {
    zn::WalkTree tree;
    FillAwkward(tree);
    // Enough entries for the compressed export to take more than one gzip
    // member, which must read back as one stream.
    const int many = tree.AddDirectory(zn::WalkTree::kRoot, "many");
    tree.Listed(many);
    for (int i = 0; i < 30000; ++i) {
        tree.AddEntry(many, zn::WalkTree::ekFile, "file-with-a-long-name-" + std::to_string(i) + ".html", i);
    }
    const Lines expected = testsupport::Dump(tree);
    std::string error;
    const auto back = zn::ParseNcdu(Written(tree), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->Name(zn::WalkTree::kRoot), "/srv/site");
    // An unknown size is written as none and comes back as 0.
    Lines adjusted = expected;
    for (std::string& line : adjusted) {
        if (line.ends_with("/size unknown file -1")) line.replace(line.size() - 2, 2, "0");
    }
    std::sort(adjusted.begin(), adjusted.end());
    EXPECT_EQ(testsupport::Dump(*back), adjusted);

    testsupport::SiteTree folder;  // a temporary folder
    for (const std::string name : {"plain.json", "packed.json.gz"}) {
        const std::string file = (folder.Root() / name).string();
        ASSERT_TRUE(zn::SaveNcdu(tree, {"1.03", 1, ""}, file, std::cout, error)) << error;
        std::ifstream in(file, std::ios::binary);
        char magic[2] = {};
        in.read(magic, 2);
        EXPECT_EQ(magic[0] == '\x1f' && magic[1] == '\x8b', name.ends_with(".gz")) << name;
        const auto loaded = zn::LoadNcdu(file, error);
        ASSERT_TRUE(loaded) << error;
        EXPECT_EQ(testsupport::Dump(*loaded), adjusted) << name;
    }
    EXPECT_FALSE(zn::SaveNcdu(tree, {}, (folder.Root() / "missing" / "x.json").string(), std::cout, error));
    EXPECT_NE(error.find("missing/x.json: "), std::string::npos) << error;
    // The members are written by two threads, one of the writer's own: a
    // write that fails on either fails the export all the same.
    error.clear();
    EXPECT_FALSE(zn::SaveNcduCompressed(tree, {}, ::open("/dev/full", O_WRONLY | O_CLOEXEC), "/dev/full", error));
    EXPECT_NE(error.find("/dev/full: "), std::string::npos) << error;
}

// Every seventh part is slow to make, so the other thread runs ahead,
// round all the parts that may wait to be written: the file still holds
// them in order, flushed to the disk or not.
TEST(NcduExport, PartsMadeOutOfTurnAreWrittenInOrder) {
    constexpr int kParts = 40;
    const auto textOf = [](int number) { return "part " + std::to_string(number) + std::string(3000, 'x') + "\n"; };
    std::string expected;
    for (int number = 0; number < kParts; ++number) expected += textOf(number);
    testsupport::SiteTree folder;
    for (const zn::Durability durability : {zn::Durability::Cached, zn::Durability::Synced}) {
        const std::string file = (folder.Root() / "parts.gz").string();
        int next = 0;
        const zn::NextGzipPart parts = [&]() -> zn::GzipPart {
            if (next == kParts) return {};
            return [number = next++, &textOf](std::string& text) {
                if (number % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
                text += textOf(number);
            };
        };
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_TRUE(zn::WriteGzipMembers(fd, parts, durability));
        gzFile in = gzopen(file.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        std::string read(expected.size() + 1, '\0');
        read.resize(static_cast<std::size_t>(std::max(0, gzread(in, read.data(), static_cast<unsigned>(read.size())))));
        gzclose(in);
        EXPECT_EQ(read, expected);
    }
}

// What other programs write: own sizes of directories, keys DirWeigh does
// not know (some with nested values), \u escapes, exclusions by file
// system, whitespace anywhere, hard links (one file, counted once in each
// directory that holds a link to it; the device inherited, a link on
// another device another file); and files that are not exports.
TEST(NcduImport, ReadsOtherProgramsExportsAndRefusesDamagedOnes) {
    const std::string other =
        "[1, 1, {\"progname\": \"ncdu\", \"progver\": \"1.18\", \"extra\": {\"a\": [1, {\"b\": \"]\"}]}},\n"
        "  [ {\"name\": \"/home/me\", \"asize\": 4096, \"dsize\": 4096, \"dev\": 2049, \"ino\": 5},\n"
        "    {\"name\": \"caf\\u00e9 \\ud83d\\ude00\", \"asize\": 100, \"dsize\": 4096, \"mtime\": 1.5e9},\n"
        "    {\"name\": \"proc\", \"excluded\": \"otherfs\"},\n"
        "    {\"name\": \"old\", \"excluded\": true},\n"
        "    {\"name\": \"ln\", \"asize\": 7, \"notreg\": true},\n"
        "    [{\"name\": \"sub\", \"asize\": 10, \"read_error\": false}, {\"name\": \"z\", \"asize\": 5, \"hlnkc\": true, "
        "\"ino\": 9, \"nlink\": 3}, {\"name\": \"z2\", \"asize\": 5, \"hlnkc\": true, \"ino\": 9}],\n"
        "    [{\"name\": \"locked\", \"read_error\": true}],\n"
        "    {\"name\": \"z3\", \"asize\": 5, \"hlnkc\": true, \"ino\": 9, \"dev\": 2049},\n"
        "    [{\"name\": \"mnt\", \"dev\": 7}, {\"name\": \"z\", \"asize\": 5, \"hlnkc\": true, \"ino\": 9}]\n"
        "  ]\n]";
    std::string error;
    auto tree = zn::ParseNcdu(other, error);
    ASSERT_TRUE(tree) << error;
    EXPECT_EQ(testsupport::Dump(*tree),
              (Lines{"/ size 4096 own 112/2 total 4223/3", "/caf\xc3\xa9 \xf0\x9f\x98\x80 file 100", "/ln link 7",
                     "/locked unreadable own 0/0 total 0/0", "/mnt own 5/1 total 5/1", "/mnt/z file 5",
                     "/old excluded 0", "/proc excluded 0", "/sub size 10 own 10/2 total 15/1", "/sub/z file 5",
                     "/sub/z2 file 5", "/z3 file 5"}));
    EXPECT_EQ(tree->Name(zn::WalkTree::kRoot), "/home/me");

    const std::vector<std::pair<std::string, std::string>> damaged{
        {"", "expected '['"},
        {"[2,0,{},[{\"name\":\"/\"}]]", "major version"},
        {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\"", "expected '}'"},
        {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\\q\"}]]", "unknown escape"},
        {"[1,2,{},[{\"name\":\"/\"}", "expected ','"},
        {"[1,2,{},[{\"name\":\"/\",\"asize\":x}]]", "expected a number"},
        {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\",\"asize\":-995000}]]", "a negative size"},
        {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\",\"asize\":-9223372036854775808}]]", "a negative size"},
        {"[1,2,{},[{\"name\":\"/\"},{\"name\":\"a\\u0000b\"}]]", "a name holding a NUL"},
        {"[1,2,{},[{\"name\":\"/\"}]] [1,2,{},[{\"name\":\"/\"}]]", "something follows the export"},
    };
    for (const auto& [text, why] : damaged) {
        EXPECT_FALSE(zn::ParseNcdu(text, error)) << text;
        EXPECT_NE(error.find(why), std::string::npos) << text << " -> " << error;
        EXPECT_NE(error.find(" at byte "), std::string::npos) << error;
    }
}

// A small file may inflate to gigabytes, or hold millions of entries: it
// is read as it inflates and refused past the bounds, never held whole. A
// compressed file without its end is refused.
TEST(NcduImport, RefusesPastItsBoundsAndACompressedFileCutShort) {
    const std::string blanks(3 << 20, ' ');
    const std::string padded = "[1,2,{}," + blanks + "[{\"name\":\"/\"},{\"name\":\"a\",\"asize\":5}]]";
    std::string error;
    EXPECT_TRUE(zn::ParseNcdu(padded, error)) << error;
    EXPECT_FALSE(zn::ParseNcdu(padded, error, {.Bytes = 1 << 20}));
    EXPECT_NE(error.find("larger than 1048576 bytes uncompressed"), std::string::npos) << error;
    EXPECT_FALSE(zn::ParseNcdu(padded, error, {.Entries = 1}));
    EXPECT_NE(error.find("more than 1 entries"), std::string::npos) << error;

    testsupport::SiteTree folder;  // a temporary folder
    const std::string file = (folder.Root() / "cut.json.gz").string();
    gzFile out = gzopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    gzwrite(out, padded.data(), static_cast<unsigned>(padded.size()));
    gzclose(out);
    ASSERT_TRUE(zn::LoadNcdu(file, error)) << error;
    std::filesystem::resize_file(file, std::filesystem::file_size(file) - 4);
    EXPECT_FALSE(zn::LoadNcdu(file, error));
    EXPECT_NE(error.find("cut.json.gz: "), std::string::npos) << error;
}

// A file named "a/b" in the root, a server's odd name, is not the file b
// of the directory a: a change from one to the other is seen.
TEST(NcduImport, ComparisonTellsANameHoldingASlashFromAPath) {
    std::string error;
    const auto older =
        zn::ParseNcdu("[1,2,{},[{\"name\":\"/\"},{\"name\":\"a/b\",\"asize\":5},[{\"name\":\"a\"}]]]", error);
    const auto newer =
        zn::ParseNcdu("[1,2,{},[{\"name\":\"/\"},[{\"name\":\"a\"},{\"name\":\"b\",\"asize\":5}]]]", error);
    ASSERT_TRUE(older && newer) << error;
    const zn::WalkComparison change = zn::CompareWalks(*older, *newer, 10);
    ASSERT_EQ(change.addedFiles.size(), 1u);
    ASSERT_EQ(change.removedFiles.size(), 1u);
    EXPECT_EQ(change.addedFiles[0].path, "a/b");
    EXPECT_EQ(change.removedFiles[0].path, "a/b");
}
