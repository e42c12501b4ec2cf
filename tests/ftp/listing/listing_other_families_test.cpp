// SPDX-License-Identifier: MIT
#include "ftp/listing/dir_list.h"
#include "tests/ftp/listing/listing_expect.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zn;
using listingtest::At;
using listingtest::ExpectLines;
using listingtest::LineCase;
using listingtest::ThisYear;

// The families whose lines say plainly what each entry is; a size they do
// not give in bytes leaves the line unread, with its name.
TEST(EplfListing, FactsGiveKindAndSizeAndTheNameFollowsTheTab) {
    ExpectLines(stEplf, {
                            {"+i8388621.48594,m825718503,r,s280,up755\tindex.html", dkFile, "index.html", 280,
                             At(1996, 3, 1, 22, 15) + 3.0 / 86400},
                            {"+i8388621.50690,m824255907,/,\tcgi-bin", dkDirectory, "cgi-bin", 0},
                            {"+m1739265240,r,s20480,\tname with  blanks\tand a tab", dkFile,
                             "name with  blanks\tand a tab", 20480, At(2025, 2, 11, 9, 14)},
                            {"+m1739265240,r,\tno size.txt", dkUnknown, "no size.txt", -1},
                            {"+i1.2,m1739265240,\tneither", dkUnknown, "neither", -1},
                            {"+r,s12 no tab", dkUnknown, "", 0},
                            {"-rw-r--r--  1 web web  20480 Feb 11 09:14 unix.txt", dkUnknown, "", 0},
                        });
}

TEST(Os2Listing, SizeAttributesDateTimeAndName) {
    const int century = ThisYear() / 100 * 100;
    ExpectLines(stOs2,
                {
                    {"  1123      A          07-14-99   12:37  index.html", dkFile, "index.html", 1123,
                     At(century + 99, 7, 14, 12, 37)},
                    {"     0           DIR   07-14-99   12:37  cgi-bin", dkDirectory, "cgi-bin", 0},
                    {" 20480                 02-11-25   09:14  no attributes.txt", dkFile, "no attributes.txt", 20480},
                    {"   345      A  R       02-11-25   09:14  two  attributes", dkFile, "two  attributes", 345},
                    {"   345      X          02-11-25   09:14  odd attribute", dkUnknown, "", 0},
                    {"03-07-99  02:05PM  10240 dos.html", dkUnknown, "", 0},
                });
}

TEST(VShellListing, SizeDateWithACommaAndName) {
    ExpectLines(stVShell,
                {
                    {"206876  Apr 04, 2000 21:06 index.html", dkFile, "index.html", 206876, At(2000, 4, 4, 21, 6)},
                    {"     0  Apr 04, 2000 21:06 cgi-bin/", dkDirectory, "cgi-bin", 0},
                    {" 20480  Feb 11, 2025 09:14 annual report.pdf", dkFile, "annual report.pdf", 20480},
                    {" 20480  Feb 11 2025 09:14 no comma", dkUnknown, "", 0},
                });
}

TEST(NumericUnixListing, OctalModeGivesTheKind) {
    ExpectLines(stNumericUnix, {
                                   {"0100644  500  101  12345  1739265240  index.html", dkFile, "index.html", 12345,
                                    At(2025, 2, 11, 9, 14)},
                                   {"040755   500  101   4096  1739265240  cgi-bin", dkDirectory, "cgi-bin", 4096},
                                   {"0120777  500  101     11  1739265240  docs", dkLink, "docs", 0},
                                   {"020666     0    0      0  1739265240  null", dkLink, "null", 0},
                                   {"0100644  500  101    12x  1739265240  bad size", dkUnknown, "", 0},
                                   {"0170644  500  101     12  1739265240  no such type", dkUnknown, "", 0},
                               });
}

// Records of fixed length times their number give the bytes; of variable
// length, only the space.
TEST(HP3000NamesListing, FixedRecordsGiveTheSize) {
    ExpectLines(stHP3000Names,
                {
                    {"INDEX              80B  FA          15        100  16       16  1  1", dkFile, "INDEX", 1200},
                    {"REPORT    EDTCT   128W  FB         120       1023   1      128  1  8", dkFile, "REPORT", 30720},
                    {"NOTES             256B  VA          10       1000   1       16  1  1", dkUnknown, "NOTES", -1},
                    {"FILENAME  CODE  ------------LOGICAL RECORD-----------  ----SPACE----", dkUnknown, "", 0},
                });
}

// Sizes in blocks are no byte counts: files stay unread with their names;
// a directory is entered by the name before ".DIR".
TEST(VmsListing, DirectoriesAreReadAndFilesKeepTheirNames) {
    ExpectLines(
        stVms, {
                   {"INDEX.HTML;3          40/42   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWED,RWED,RE,RE)", dkUnknown,
                    "INDEX.HTML;3", -1},
                   {"CGI-BIN.DIR;1             1   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWE,RWE,RE,RE)", dkDirectory,
                    "CGI-BIN", 0, At(2025, 2, 11, 9, 14)},
                   {"NOTES.TXT;1  155  2-JUL-2003 10:30:13.64  [WEB]  (RWED,RWED,RE,RE)", dkUnknown, "NOTES.TXT;1", -1},
                   {"SECRET.TXT;1  %RMS-E-PRV, insufficient privilege or file protection violation", dkUnknown, "", 0},
               });
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
        {"Type=file;Size=20480;Modify=20250211091400; Annual Report.pdf", dkFile, "Annual Report.pdf", 20480},
        {"TYPE=DIR;MODIFY=20250211091400;\tOld Site", dkDirectory, "Old Site", 0},
        {"type=file;size=20480;\tname after a tab", dkFile, "name after a tab", 20480},
        {"type=file;size=$10; hex", dkUnknown, "type=file;size=$10; hex", 0},
        {"type=file;size=+12; signed", dkUnknown, "type=file;size=+12; signed", 0},
        {"type=file;size= 12; blank", dkUnknown, "type=file;size= 12; blank", 0},
        {"type=file;size=99999999999999999999; beyond", dkUnknown, "type=file;size=99999999999999999999; beyond", 0},
        {"type=filesystem;size=1; odd type", dkUnknown, "type=filesystem;size=1; odd type", 0},
        {"type=file;size=12 no last semicolon", dkFile, "no last semicolon", 12},
        {"type=file;size=7;perm=; empty perm", dkFile, "empty perm", 7},
        {"type=file;size=3;  lead\tand tab ", dkFile, " lead\tand tab ", 3},
        {"type=dir;\t tab then blank", dkDirectory, " tab then blank", 0},
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

    // Unread, with the name the line gives after its one blank.
    const std::vector<LineCase> unread = {
        {"Type=;Size=12; empty type", dkUnknown, "empty type", 0},
        {" no facts at all", dkUnknown, "no facts at all", 0},
        {"type=file;modify=20260101000000;  no size", dkUnknown, " no size", 0},
        {"type=socket;\tsock", dkUnknown, "sock", 0},
    };
    for (const LineCase& c : unread) {
        SCOPED_TRACE(c.line);
        TznFTPDirList list;
        list.ParseMachineLine(c.line);
        EXPECT_EQ(list.Items(0).Kind, dkUnknown);
        EXPECT_EQ(list.Items(0).UnreadName(), c.name);
        EXPECT_EQ(list.Items(0).Size, 0);
    }
}
