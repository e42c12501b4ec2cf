// SPDX-License-Identifier: MIT
#include "ftp/dir_list.h"
#include "tests/ftp/listing_expect.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zn;
using listingtest::At;
using listingtest::Parse;
using listingtest::ThisYear;

namespace {

TznFTPDirEntry ParseOne(TServerType type, const std::string& line) {
    TznFTPDirList list;
    list.ServerType = type;
    list.ParseLine(line);
    EXPECT_EQ(list.Count(), 1);
    return list.Items(0);
}

bool CloseToNow(platform::TDateTime value) { return std::fabs(value - platform::Now()) < 5.0 / 86400; }

}  // namespace

TEST(UnixListing, FileWithTimeIsThisYearEvenInTheFuture) {
    auto e = ParseOne(stUnix, "-rw-r--r--   1 owner    group       10240 Mar  7 14:05 index.html");
    EXPECT_EQ(e.Kind, dkFile);
    EXPECT_EQ(e.Name, "index.html");
    EXPECT_EQ(e.Size, 10240);
    EXPECT_DOUBLE_EQ(e.DateTime, At(ThisYear(), 3, 7, 14, 5));
    EXPECT_EQ(e.LinkTarget, "");
}

TEST(UnixListing, DirectoryWithYearAndANameWithSpaces) {
    auto e = ParseOne(stUnix, "drwxr-xr-x   2 owner    group         512 Dec 24  1998 old  stuff");
    EXPECT_EQ(e.Kind, dkDirectory);
    EXPECT_EQ(e.Name, "old  stuff");
    EXPECT_EQ(e.Size, 512);
    EXPECT_DOUBLE_EQ(e.DateTime, At(1998, 12, 24));
}

TEST(UnixListing, LinkKeepsTheWholeRestAsNameAndOneWordAsTarget) {
    auto e = ParseOne(stUnix, "lrwxrwxrwx   1 owner    group          11 Jan  1 12:00 docs -> public/docs");
    EXPECT_EQ(e.Kind, dkLink);
    EXPECT_EQ(e.Size, 11);
    EXPECT_EQ(e.Name, "docs -> public/docs");
    EXPECT_EQ(e.LinkTarget, "public/docs");
}

TEST(UnixListing, LineWithoutGroupColumnRecoversTheName) {
    auto e = ParseOne(stUnix, "-rw-r--r--   1 own        10240 Mar  7 14:05 a.txt");
    EXPECT_EQ(e.Kind, dkFile);
    EXPECT_EQ(e.Name, "a.txt");
    EXPECT_EQ(e.Size, 10240);
    EXPECT_DOUBLE_EQ(e.DateTime, At(ThisYear(), 3, 7, 14, 5));
}

TEST(UnixListing, SizesBeyondThirtyTwoBitsAndSizesThatAreNotNumbers) {
    EXPECT_EQ(ParseOne(stUnix, "-rw-r--r-- 1 o g 3221225472 Mar 7 14:05 big.iso").Size, 3221225472LL);
    EXPECT_EQ(ParseOne(stUnix, "-rw-r--r-- 1 o g 9000000000000 Mar 7 14:05 huge").Size, 9000000000000LL);
    EXPECT_EQ(ParseOne(stUnix, "-rw-r--r-- 1 o g 12k Mar 7 14:05 odd").Size, -1);
}

TEST(UnixListing, ImpossibleDatesGiveTheCurrentDateAndTime) {
    EXPECT_TRUE(CloseToNow(ParseOne(stUnix, "-rw-r--r-- 1 o g 1 Feb 30 10:00 a").DateTime));
    EXPECT_TRUE(CloseToNow(ParseOne(stUnix, "-rw-r--r-- 1 o g 1 Mar 7 25:00 a").DateTime));
}

TEST(UnixListing, ShortLineKeepsItsKindAndTodaysDate) {
    auto e = ParseOne(stUnix, "drwx foo");
    const auto today = platform::NowLocal();
    EXPECT_EQ(e.Kind, dkDirectory);
    EXPECT_EQ(e.Name, "");
    EXPECT_EQ(e.Size, -1);
    EXPECT_DOUBLE_EQ(e.DateTime, At(today.year, today.month, today.day));
}

TEST(UnixListing, EmptyLineIsUnknownAndLongNamesStayWhole) {
    auto empty = ParseOne(stUnix, "");
    EXPECT_EQ(empty.Kind, dkUnknown);
    EXPECT_EQ(empty.Name, "");

    std::string cjk;
    for (int i = 0; i < 100; ++i) cjk += "\xe5\xad\x97";  // 300 bytes of UTF-8
    auto e = ParseOne(stUnix, "drwxr-xr-x 2 o g 512 Mar 7 14:05 " + cjk);
    EXPECT_EQ(e.Name, cjk);
    auto link = ParseOne(stUnix, "lrwxrwxrwx 1 o g 1 Mar 7 14:05 l -> " + cjk);
    EXPECT_EQ(link.LinkTarget, cjk);
}

TEST(DosListing, FileDirectoryAndNameWithASpace) {
    auto file = ParseOne(stDos, "03-07-99  02:05PM                10240 index.html");
    EXPECT_EQ(file.Kind, dkFile);
    EXPECT_EQ(file.Name, "index.html");
    EXPECT_EQ(file.Size, 10240);
    EXPECT_DOUBLE_EQ(file.DateTime, At(ThisYear() / 100 * 100 + 99, 3, 7, 14, 5));

    auto dir = ParseOne(stDos, "03-07-99  02:05PM       <Dir>          cgi-bin");
    EXPECT_EQ(dir.Kind, dkDirectory);
    EXPECT_EQ(dir.Name, "cgi-bin");
    EXPECT_EQ(dir.Size, 0);

    auto spaced = ParseOne(stDos, "03-07-99  02:05PM                10240 my page.html");
    EXPECT_EQ(spaced.Name, "page.html");
    EXPECT_EQ(spaced.Size, 0);
}

TEST(DosListing, DateAndTimeVariants) {
    EXPECT_DOUBLE_EQ(ParseOne(stDos, "12-31-2001  12:00AM  5 a").DateTime, At(2001, 12, 31, 0, 0));
    EXPECT_DOUBLE_EQ(ParseOne(stDos, "01-02-03  12:30PM  5 a").DateTime, At(ThisYear() / 100 * 100 + 3, 1, 2, 12, 30));
    EXPECT_DOUBLE_EQ(ParseOne(stDos, "01-02-2003  23:59  5 a").DateTime, At(2003, 1, 2, 23, 59));
    EXPECT_EQ(ParseOne(stDos, "01-02-2003  3221225472 big.iso").Size, 3221225472LL);
}

TEST(DosListing, UnreadableDateStillCountsTheLine) {
    auto e = ParseOne(stDos, "2003.01.02  10:00  4096 notes.txt");
    EXPECT_EQ(e.Kind, dkFile);
    EXPECT_EQ(e.Name, "notes.txt");
    EXPECT_EQ(e.Size, 4096);
    EXPECT_EQ(e.DateTime, 0);
    EXPECT_EQ(ParseOne(stDos, "13-45-2003  10:00  1 a").DateTime, 0);
    EXPECT_EQ(ParseOne(stDos, "01-02-2003  13:00PM  1 a").DateTime, 0);
}

TEST(DosListing, LineWithoutASpaceHasNoNameOrSize) {
    auto e = ParseOne(stDos, "03-07-99");
    EXPECT_EQ(e.Kind, dkFile);
    EXPECT_EQ(e.Name, "");
    EXPECT_EQ(e.Size, 0);
}

TEST(HP3000Listing, KindFromColumn16AndNameFromColumn62) {
    const std::string file = std::string(15, ' ') + "F" + std::string(45, ' ') + "REPORT";
    auto e = ParseOne(stHP3000, file);
    EXPECT_EQ(e.Kind, dkFile);
    EXPECT_EQ(e.Name, "REPORT");
    EXPECT_EQ(e.Size, 0);
    EXPECT_EQ(e.DateTime, 0);
    EXPECT_EQ(ParseOne(stHP3000, std::string(15, ' ') + "D" + std::string(45, ' ') + "SUB").Kind, dkDirectory);
    auto shortLine = ParseOne(stHP3000, "short");
    EXPECT_EQ(shortLine.Kind, dkDirectory);
    EXPECT_EQ(shortLine.Name, "");
    auto parent = ParseOne(stHP3000, "");
    EXPECT_EQ(parent.Kind, dkDirectory);
    EXPECT_EQ(parent.Name, "..");
}

TEST(AS400Listing, ColumnsGiveSizeKindAndName) {
    auto pad = [](std::string s, std::size_t n) { return s.append(n - s.size(), ' '); };
    auto dir = ParseOne(stAS400, pad(pad("        1234", 40) + "*FLR", 50) + "MYDIR/");
    EXPECT_EQ(dir.Kind, dkDirectory);
    EXPECT_EQ(dir.Name, "MYDIR");
    EXPECT_EQ(dir.Size, 1234);
    auto file = ParseOne(stAS400, pad(pad("QSYS    4096", 40) + "*STMF", 50) + "REPORT.TXT");
    EXPECT_EQ(file.Kind, dkFile);
    EXPECT_EQ(file.Name, "REPORT.TXT");
    EXPECT_EQ(file.Size, 0) << "text other than a number in columns 1 to 21";
    auto parent = ParseOne(stAS400, "");
    EXPECT_EQ(parent.Name, "..");
    EXPECT_EQ(parent.Kind, dkDirectory);
}

TEST(UnknownFamily, ParseLineWhileAutoGivesTheRawLine) {
    auto e = ParseOne(stAuto, "-rw-r--r-- 1 o g 5 Mar 7 14:05 a");
    EXPECT_EQ(e.Kind, dkUnknown);
    EXPECT_EQ(e.Name, "-rw-r--r-- 1 o g 5 Mar 7 14:05 a");
}

// Machine listings: the type and size facts decide, in any case and order;
// the name is everything after the first space. A file without a size, or
// an entry of no known type, is left unread rather than counted as empty.
TEST(MachineListing, FactsGiveKindAndSizeAndTheNameIsTheRest) {
    struct Case {
        const char* line;
        TDirEntryKind kind;
        const char* name;
        std::int64_t size;
    };
    const Case cases[] = {
        {"type=file;size=5000000000;modify=20260101000000; big file; v2.zip", dkFile, "big file; v2.zip", 5000000000},
        {"Size=12;Type=File; a", dkFile, "a", 12},
        {"type=dir;modify=20260101000000; sub dir", dkDirectory, "sub dir", 0},
        {"type=cdir;size=4096; /www", dkDirectory, ".", 0},
        {"type=pdir; /", dkDirectory, "..", 0},
        {"type=OS.unix=slink:/etc;size=4; link", dkLink, "link", 0},
        {"type=file;modify=20260101000000; no size", dkUnknown, "type=file;modify=20260101000000; no size", 0},
        {"type=file;size=12x; bad size", dkUnknown, "type=file;size=12x; bad size", 0},
        {"type=socket; odd", dkUnknown, "type=socket; odd", 0},
        {"type=file;size=1;", dkUnknown, "type=file;size=1;", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TznFTPDirList list;
        list.ParseMachineLine(c.line);
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list.Items(0).Kind, c.kind);
        EXPECT_EQ(list.Items(0).Name, c.name);
        EXPECT_EQ(list.Items(0).Size, c.size);
    }
}
