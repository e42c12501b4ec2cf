// SPDX-License-Identifier: MIT
#include "ftp/listing/dir_list.h"
#include "tests/ftp/listing/listing_expect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace zn;
using listingtest::At;
using listingtest::ExpectLines;
using listingtest::LineCase;
using listingtest::ParseOne;
using listingtest::Parse;
using listingtest::ThisYear;

namespace {

bool CloseToNow(platform::TDateTime value) { return std::fabs(value - platform::Now()) < 5.0 / 86400; }

// Lines of other families (VMS, MVS, OS/2, EPLF, a recursive listing's
// heading): the Unix and DOS rules count them as unreadable, never as a
// file of some size.
const std::vector<LineCase> kForeignLines = {
    {"NOTES.TXT;3          40/42      11-FEB-2025 09:14:00  [WEB,WEBADM]  (RWED,RWED,RE,RE)", dkUnknown, "", 0},
    {"WRK001 3390   2025/02/11  1   15  FB      80  6160  PS  WEB.NOTES.DATA", dkUnknown, "", 0},
    {"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname", dkUnknown, "", 0},
    {"     20480      A          02-11-25   09:14  notes.txt", dkUnknown, "", 0},
    {"+i8388621.48594,m825718503,r,s20480,\tnotes.txt", dkUnknown, "", 0},
    {"/pub/site/uploads:", dkUnknown, "", 0},
};

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

// The columns before the date vary from server to server; the date, the
// size just before it and the name after it do not.
TEST(UnixListing, LayoutsOfRealServers) {
    const int year = ThisYear();
    ExpectLines(
        stUnix,
        {
            {"drwxr-x---  3 webadm Domain Users  4096 Feb 11 09:14 uploads", dkDirectory, "uploads", 4096,
             At(year, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web    Domain Admins 20480 Feb 11 2024 two words.txt", dkFile, "two words.txt", 20480,
             At(2024, 2, 11)},
            {"-rw-r--r--  1 1001  20480 Feb 11 09:14 notes.txt", dkFile, "notes.txt", 20480},
            {"-rw-r--r--  1 web web  20480 2025-02-11 09:14 notes.txt", dkFile, "notes.txt", 20480,
             At(2025, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web  7 2025-02-11 09:14:33.123456789 +0100 full iso.txt", dkFile, "full iso.txt", 7,
             At(2025, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web  20480 11 Feb 09:14 day first.txt", dkFile, "day first.txt", 20480,
             At(year, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web  20480 11 feb  2023 lower month", dkFile, "lower month", 20480, At(2023, 2, 11)},
            {"    8 -rw-r--r--  1 web web  4096 Feb 11 09:14 blocks.txt", dkFile, "blocks.txt", 4096},
            {"12345678 drwxr-xr-x 2 web web 7 Feb 11  2020 many blocks", dkDirectory, "many blocks", 7},
            {"-rw-r--r--123456 web web 1500 Feb 11 09:14 glued.txt", dkFile, "glued.txt", 1500},
            {"drwxr-xr-x+ 2 web web 4096 Feb 11 09:14 acl dir", dkDirectory, "acl dir", 4096},
            {"-rw-r--r--. 1 web web 9 Feb 11 09:14 context.txt", dkFile, "context.txt", 9},
            {"-rw-r--r--  1 web web  20480 Feb 11 09:14  leading blank", dkFile, " leading blank", 20480},
            {"-rw-r--r--  1 web web  5 Feb 11 09:14 Mar 7 14:05 notes", dkFile, "Mar 7 14:05 notes", 5},
            {"d [RWCEAFMS] webadm     512 Feb 11 09:14 public", dkDirectory, "public", 512},
            {"- [RW------] webadm    2048 Feb 11  2024 readme.txt", dkFile, "readme.txt", 2048},
            {"-rw-r--r--  1 web web  +12 Feb 11 09:14 signed", dkFile, "signed", -1},
            // A month name in another language: read by the columns, as before.
            {"-rw-r--r--  1 web web 5 M\xc3\xa4r 11 09:14 x", dkFile, "x", 5},
            {"-rw-r--r--  1 web web 20480 02-11 2024 month day year.txt", dkFile, "month day year.txt", 20480,
             At(2024, 2, 11)},
            {"-rw-r--r--  1 web web 20480 02-11 09:14 month day time.txt", dkFile, "month day time.txt", 20480,
             At(year, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web 20480 2024/02/11 09:14 slashed date.txt", dkFile, "slashed date.txt", 20480,
             At(2024, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web 20480 11-02-2024 09:14 day month year.txt", dkFile, "day month year.txt", 20480,
             At(2024, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web 20480 2024.02.11 dotted date.txt", dkFile, "dotted date.txt", 20480,
             At(2024, 2, 11)},
            {"-rw-r--r--  1 web web 20480 11-Feb-24 named month.txt", dkFile, "named month.txt", 20480,
             At(year / 100 * 100 + 24, 2, 11)},
            {"-rw-r--r--  1 web web 20480 Feb 11, 2024 09:14 comma after day.txt", dkFile, "comma after day.txt", 20480,
             At(2024, 2, 11, 9, 14)},
            {"-rw-r--r--  1 web web 20480 no date.txt", dkFile, "no date.txt", 20480, 0},
            {"-rw-r--r--  1 web web 20480 2024-02-11 iso without time.txt", dkFile, "iso without time.txt", 20480,
             At(2024, 2, 11)},
            {"-rw-r--r--  1 web web 20480 Feb-11-2024 unknown date form", dkUnknown, "", 0},
            {"-rw-r--r--  1 web web 20480 11.02.24 unknown date form", dkUnknown, "", 0},
            {"drwxr-xr-x  2 web web  4096 no date dir", dkDirectory, "no date dir", 4096, 0},
            {"-rw-r--r--  1 web 1001 20480 numeric group or name", dkUnknown, "", 0},
            {"-rw-r--r--  1 web 20480 short", dkUnknown, "", 0},
            {"-rw-r--r--  1 web Domain Users 20480 two word group, no date", dkUnknown, "", 0},
            {"-rw-r--r--  1 web longgroup123456 Feb 11 09:14 glued group.txt", dkUnknown, "glued group.txt", -1},
            {"-rw-r--r--  1 web web 33.5k Feb 11 09:14 rounded size.txt", dkUnknown, "rounded size.txt", -1},
            {"-rw-r--r--  1 web web 2M Feb 11 09:14 mega.bin", dkUnknown, "mega.bin", -1},
            {"drwxr-xr-x  2 web web 4.0K Feb 11 09:14 rounded dir", dkDirectory, "rounded dir", -1},
            {"-rw-r-----+ 1 web Web Site Admins 20480 Feb 11 09:14 three word group", dkFile, "three word group",
             20480},
            {"crw-rw-rw-  1 root root 1,   3 Mar  7 14:05 null", dkLink, "null", 0},
            {"brw-rw----  1 root disk 8,   0 Mar  7 14:05 sda", dkLink, "sda", 0},
            {"d [R----F--] supervisor            512       Jan 16 18:53    login", dkDirectory, "login", 512},
            {"- [RWCEAFMS] webadm     2048 Jan 16  2024    two  blanks.txt", dkFile, "two  blanks.txt", 2048},
        });
    ExpectLines(stUnix, kForeignLines);
    ExpectLines(stUnix,
                {{" 12 drwx foo", dkUnknown, "", 0}, {"DRWXR-XR-X 1 o g 5 Feb 11 09:14 upper", dkUnknown, "", 0}});

    auto link = ParseOne(stUnix, "lrwxrwxrwx 1 web web 11 Feb 11 09:14 my docs -> public/my docs");
    EXPECT_EQ(link.Kind, dkLink);
    EXPECT_EQ(link.Name, "my docs -> public/my docs");
    EXPECT_EQ(link.LinkTarget, "public/my docs");
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
    EXPECT_EQ(spaced.Name, "my page.html");
    EXPECT_EQ(spaced.Size, 10240);
}

// After the date and the time comes the size or the marker; the name is all
// that follows it and its blanks.
TEST(DosListing, LayoutsOfRealServers) {
    const int century = ThisYear() / 100 * 100;
    ExpectLines(
        stDos,
        {
            {"02-11-25  09:14AM       <DIR>          Old Site", dkDirectory, "Old Site", 0,
             At(century + 25, 2, 11, 9, 14)},
            {"02-11-25  09:14AM       <dir>          My Documents", dkDirectory, "My Documents", 0},
            {"02-11-25  09:14AM               20480 annual report.pdf", dkFile, "annual report.pdf", 20480},
            {"2025-02-11  21:14            1,048,576 backup.zip", dkFile, "backup.zip", 1048576,
             At(2025, 2, 11, 21, 14)},
            {"02-11-2025  09:14 PM        12.345.678 german.bin", dkFile, "german.bin", 12345678,
             At(2025, 2, 11, 21, 14)},
            {"02-11-25  09:14AM       <DIR>          two  blanks inside ", dkDirectory, "two  blanks inside ", 0},
            {"02-11-25  09:14AM       <JUNCTION>     Docs [C:\\Docs]", dkLink, "Docs [C:\\Docs]", 0},
            {"02/11/2025  21:14            42 slashes.txt", dkFile, "slashes.txt", 42},
            {"02-11-25  09:14AM          1,04,857 bad groups.bin", dkUnknown, "", 0},
            {"02-11-25  09:14AM           $10 hex.bin", dkUnknown, "", 0},
            {"02-11-25  09:14AM       <DIR>", dkUnknown, "", 0},
            {"02-11-25  09:14AM       <WHAT>         x", dkUnknown, "", 0},
            {"-rw-r--r--  1 web web  20480 Feb 11 09:14 unix.txt", dkUnknown, "", 0},
        });
    ExpectLines(stDos, kForeignLines);
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

    // The POSIX form: the record type stands elsewhere, a directory's name
    // ends in "/".
    auto hfs = [](const std::string& columns, const std::string& name) {
        std::string line = columns;
        line.resize(61, ' ');
        return line + name;
    };
    auto sub = ParseOne(stHP3000, hfs("              0   HBD          0          0   0       64  2  *", "web site/"));
    EXPECT_EQ(sub.Kind, dkDirectory);
    EXPECT_EQ(sub.Name, "web site");
    auto notes = ParseOne(stHP3000, hfs("             1B   BA         140 2147483647   1       16  1  *", "notes.txt"));
    EXPECT_EQ(notes.Kind, dkFile);
    EXPECT_EQ(notes.Name, "notes.txt");
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
    EXPECT_EQ(file.Size, 4096) << "the owner, then the size";
    auto parent = ParseOne(stAS400, "");
    EXPECT_EQ(parent.Name, "..");
    EXPECT_EQ(parent.Kind, dkDirectory);
}

// The owner, the size, the date and time, the object type and the name,
// separated by blanks; the type says what the entry is.
TEST(AS400Listing, LayoutsOfRealServers) {
    ExpectLines(
        stAS400,
        {
            {"WEBUSR        12288 02/11/25 09:14:00 *DIR       images/", dkDirectory, "images", 12288},
            {"WEBUSR        20480 02/11/25 09:14:00 *STMF      index.html", dkFile, "index.html", 20480},
            {"WEBUSR         4096 02/11/25 09:14:00 *STMF      annual report.pdf", dkFile, "annual report.pdf", 4096},
            {"QSYS          77824 02/11/25 09:14:00 *LIB       QGPL.LIB/", dkDirectory, "QGPL.LIB", 77824},
            {"QDOC          24576 02/11/25 09:14:00 *FLR       QDOC/", dkDirectory, "QDOC", 24576},
            {"WEBUSR         4096 02/11/25 09:14:00 *DDIR      shared dir/", dkDirectory, "shared dir", 4096},
            {"WEBUSR        36864 02/11/25 09:14:00 *FILE      ORDERS.FILE", dkFile, "ORDERS.FILE", 36864},
            {"WEBUSR                                *MEM       ORDERS.FILE/MAY.MBR", dkFile, "ORDERS.FILE/MAY.MBR", 0},
            {"1001           8192 02/11/25 09:14:00 *DOC       letter.doc", dkFile, "letter.doc", 8192},
            {"                512 02/11/25 09:14:00 *STMF      anonymous.txt", dkFile, "anonymous.txt", 512},
            {"WEBUSR           32 02/11/25 09:14:00 *SYMLNK    latest", dkLink, "latest", 32},
            {"WEBUSR          512 02/11/25 09:14:00 *PGM       ORDERS.PGM", dkFile, "ORDERS.PGM", 512},
            {"WEBUSR         2048 02/11/25 09:14:00 *USRSPC    ORDERS.USRSPC", dkFile, "ORDERS.USRSPC", 2048},
            {"WEBUSR                                *PGM       NOSIZE.PGM", dkUnknown, "", 0},
            {"WEBUSR         4096 02/11/25 09:14:00 *STMF      /DRV/DIR/FILE.PDF", dkFile, "FILE.PDF", 4096},
            {"WEBUSR         8192 02/11/25 09:14:00 *DIR       /DRV/DIR/SUB/", dkDirectory, "SUB", 8192},
            {"WEBUSR          512 02/11/25 09:14:00 index.html", dkUnknown, "", 0},
            {"WEBUSR          512 02/11/25 09:14:00 *STMF", dkUnknown, "", 0},
        });
}

TEST(UnknownFamily, ParseLineWhileAutoGivesTheRawLine) {
    auto e = ParseOne(stAuto, "-rw-r--r-- 1 o g 5 Mar 7 14:05 a");
    EXPECT_EQ(e.Kind, dkUnknown);
    EXPECT_EQ(e.Name, "-rw-r--r-- 1 o g 5 Mar 7 14:05 a");
}
