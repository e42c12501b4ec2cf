// SPDX-License-Identifier: MIT
#include "ftp/listing/dir_list.h"
#include "tests/ftp/listing/listing_expect.h"

#include <gtest/gtest.h>

using namespace zn;
using listingtest::Parse;

namespace {

std::string Hp3000Line(char kind, const std::string& name) {
    return std::string(15, ' ') + kind + std::string(45, ' ') + name;
}

std::string As400Line(const std::string& type, const std::string& name) {
    std::string line = "        1234";
    line.resize(40, ' ');
    line += type;
    line.resize(50, ' ');
    return line + name;
}

std::vector<std::string> Names(const TznFTPDirList& list) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) names.push_back(list.Items(i).Name);
    return names;
}

}  // namespace

TEST(ListingDetection, DigitFirstIsDos) {
    TznFTPDirList list;
    Parse(list, stAuto, "03-07-99  02:05PM  10240 a.html\r\n03-07-99  02:05PM  <DIR> sub\r\n");
    EXPECT_EQ(list.ServerType, stDos);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a.html", "sub"}));
}

TEST(ListingDetection, PathIsHP3000WithHeaderDroppedAndAParentEntry) {
    TznFTPDirList list;
    const std::string listing = "PATH= /ACCT/GROUP/\n\nCODE  ----LOGICAL RECORD----  FILENAME\nshort\n" +
                                Hp3000Line('F', "REPORT") + "\n" + Hp3000Line('D', "SUB") + "\n";
    Parse(list, stAuto, listing);
    EXPECT_EQ(list.ServerType, stHP3000);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Name, "..");
    EXPECT_EQ(list.Items(0).Kind, dkDirectory);
    EXPECT_EQ(list.Items(1).Name, "REPORT");
    EXPECT_EQ(list.Items(2).Kind, dkDirectory);
}

TEST(ListingDetection, HP3000HeaderIsDroppedFromLaterListingsToo) {
    TznFTPDirList list;
    Parse(list, stAuto, "PATH= /ACCT/\n" + Hp3000Line('F', "A"));
    ASSERT_EQ(list.ServerType, stHP3000);
    const std::string heading = "CODE  ------------LOGICAL RECORD-----------  ----SPACE----  FILENAME";
    zn::ParseListing("PATH= /ACCT/SUB/\n\n" + heading + "\n" + Hp3000Line('F', "B") + "\n" + Hp3000Line('D', "C"),
                     list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Name, "..");
    EXPECT_EQ(list.Items(1).Name, "B");
    EXPECT_EQ(list.Items(2).Name, "C");
    EXPECT_EQ(list.Items(2).Kind, dkDirectory);
}

// A listing without the "PATH=" header keeps its entries, also when the
// first of them names a PATH; only header lines are dropped.
TEST(ListingDetection, HP3000ListingWithoutPathHeaderKeepsItsEntries) {
    auto hfs = [](const std::string& columns, const std::string& name) {
        std::string line = columns;
        line.resize(61, ' ');
        return line + name;
    };
    const std::string entries = hfs("             1B   BA         140 2147483647   1       16  1  *", "CLASSPATH") +
                                "\n" + hfs("              0   HBD          0          0   0       64  2  *", "sub/") +
                                "\n";
    TznFTPDirList list;
    Parse(list, stAuto, entries);
    EXPECT_EQ(list.ServerType, stHP3000);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"CLASSPATH", "sub"}));

    const std::string heading =
        "CODE  ------------LOGICAL RECORD-----------  ----SPACE----  FILENAME\n"
        "         SIZE  TYP        EOF      LIMIT R/B  SECTORS #X MX\n\n";
    zn::ParseListing(heading + entries, list);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"..", "CLASSPATH", "sub"}));
}

TEST(ListingDetection, HP3000HeaderOnlyLeavesNothing) {
    TznFTPDirList list;
    Parse(list, stAuto, "PATH= /ACCT/\nCODE FILENAME\n");
    EXPECT_EQ(list.ServerType, stHP3000);
    EXPECT_EQ(list.Count(), 0);
}

TEST(ListingDetection, AS400MarkersInColumns41To45) {
    for (const char* type : {"*DIR", "*FLR", "*DOC", "*LIB", "*DDIR"}) {
        TznFTPDirList list;
        Parse(list, stAuto, As400Line(type, "X/"));
        EXPECT_EQ(list.ServerType, stAS400) << type;
        ASSERT_EQ(list.Count(), 2) << type;
        EXPECT_EQ(list.Items(0).Name, "..");
    }
    // As servers send them: the type word wherever the owner and the size
    // put it, whatever type the first line has.
    for (const char* first : {"WEBUSR        20480 02/11/25 09:14:00 *STMF      index.html",
                              "WEBUSR        36864 02/11/25 09:14:00 *FILE      ORDERS.FILE",
                              "QSYS          77824 02/11/25 09:14:00 *LIB       QGPL.LIB/"}) {
        TznFTPDirList list;
        Parse(list, stAuto, std::string(first) + "\r\nWEBUSR        12288 02/11/25 09:14:00 *DIR       images/\r\n");
        EXPECT_EQ(list.ServerType, stAS400) << first;
        ASSERT_EQ(list.Count(), 3) << first;
        EXPECT_EQ(list.Items(2).Name, "images");
        EXPECT_EQ(list.Items(2).Kind, dkDirectory);
    }
}

TEST(ListingDetection, UnixFormWinsOverPathAndColumnMarkers) {
    TznFTPDirList list;
    Parse(list, stAuto,
          "-rw-r--r--   1 owner group 10 Mar  7 14:05 CLASSPATH.txt\n"
          "-rw-r--r--   1 owner group 20 Mar  7 14:05 b.txt\n");
    EXPECT_EQ(list.ServerType, stUnix);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"CLASSPATH.txt", "b.txt"}));

    TznFTPDirList columns;
    Parse(columns, stAuto, "-rw-r--r--   1 owner group    10 Mar  7 14:05 *DIR-like name here");
    EXPECT_EQ(columns.ServerType, stUnix);
}

TEST(ListingDetection, AnythingElseIsUnixAndTheGuessIsKept) {
    TznFTPDirList list;
    Parse(list, stAuto, "\nsomething\n");
    EXPECT_EQ(list.ServerType, stUnix);
    zn::ParseListing("03-07-99  02:05PM  10240 a.html", list);
    EXPECT_EQ(list.ServerType, stUnix) << "decided once, until stAuto is set again";
}

TEST(ListingDetection, TotalLineIsDroppedAndForcesUnix) {
    TznFTPDirList list;
    Parse(list, stDos, "TOTAL 12\n-rw-r--r-- 1 o g 5 Mar 7 14:05 a\n");
    EXPECT_EQ(list.ServerType, stUnix);
    EXPECT_EQ(Names(list), std::vector<std::string>{"a"});

    TznFTPDirList only;
    Parse(only, stAS400, "total 0\r\n");
    EXPECT_EQ(only.ServerType, stUnix);
    EXPECT_EQ(only.Count(), 0);
}

TEST(ListingDetection, EmptyListingChangesNothing) {
    TznFTPDirList list;
    Parse(list, stAuto, "-rw-r--r-- 1 o g 5 Mar 7 14:05 a\n");
    list.ServerType = stAuto;
    zn::ParseListing(" \r\n\r\n", list);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.ServerType, stAuto);
}

TEST(ListingLines, CrLfCrLfAndNulEndLines) {
    TznFTPDirList list;
    Parse(list, stUnix,
          "-r 1 o g 1 Mar 7 14:05 a\r-r 1 o g 2 Mar 7 14:05 b\n-r 1 o g 3 Mar 7 14:05 c\r\n"
          "-r 1 o g 4 Mar 7 14:05 d");
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "b", "c", "d"}));

    // Read as it arrives: a chunk may end anywhere, also between CR and LF.
    const std::string text = "-r 1 o g 1 Mar 7 14:05 a\r\n\r\n-r 1 o g 2 Mar 7 14:05 b\r\n\n";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        zn::ListingReader reader(list);
        reader.Feed(std::string_view(text).substr(0, cut));
        reader.Feed(std::string_view(text).substr(cut));
        reader.Finish();
        EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "", "b"})) << "cut at " << cut;
    }

    const std::string withNul("-r 1 o g 1 Mar 7 14:05 a\n-r 1 o g 2 Mar 7 14:05 b\0\n-r 1 o g 3 Mar 7 14:05 c", 74);
    Parse(list, stUnix, withNul);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "b"}));
}

TEST(ListingLines, InnerBlankLineIsUnknownInUnixAndParentElsewhere) {
    TznFTPDirList list;
    Parse(list, stUnix, "-r 1 o g 1 Mar 7 14:05 a\n\n-r 1 o g 1 Mar 7 14:05 b\n\n\n");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(1).Kind, dkUnknown);
    EXPECT_EQ(list.Items(1).Name, "");

    Parse(list, stAS400, As400Line("*STMF", "A") + "\n\n" + As400Line("*STMF", "B"));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(1).Name, "..");
}

// Each family is known by a shape no line of the others has.
TEST(ListingDetection, FirstLineOfEachFamily) {
    const struct {
        const char* first;
        TServerType family;
    } cases[] = {
        {"-rw-r--r--   1 owner group 10 Mar  7 14:05 a.txt", stUnix},
        {"-rw-r--r--  1 web web 20480 2024/02/11 09:14 slashed.txt", stUnix},
        {"03-07-99  02:05PM  10240 a.html", stDos},
        {"+i8388621.48594,m825718503,r,s280,up755\tindex.html", stEplf},
        {"Directory WEB$DISK:[WEB]", stVms},
        {"INDEX.HTML;3          40/42   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWED,RWED,RE,RE)", stVms},
        {"  1123      A          07-14-99   12:37  index.html", stOs2},
        {"     0           DIR   07-14-99   12:37  cgi-bin", stOs2},
        {"206876  Apr 04, 2000 21:06 index.html", stVShell},
        {"0100644  500  101  12345  1739265240  index.html", stNumericUnix},
        {"FILENAME  CODE  ------------LOGICAL RECORD-----------  ----SPACE----", stHP3000Names},
        {"12345 something else", stDos},
    };
    for (const auto& c : cases) {
        TznFTPDirList list;
        Parse(list, stAuto, c.first);
        EXPECT_EQ(list.ServerType, c.family) << c.first;
    }
}

TEST(ListingDetection, HP3000ListingNamedFirstDropsItsHeadings) {
    TznFTPDirList list;
    Parse(list, stAuto,
          "FILENAME  CODE  ------------LOGICAL RECORD-----------  ----SPACE----\n"
          "                  SIZE  TYP        EOF      LIMIT R/B  SECTORS #X MX\n\n"
          "INDEX              80B  FA          15        100  16       16  1  1\n"
          "NOTES             256B  VA          10       1000   1       16  1  1\n");
    EXPECT_EQ(list.ServerType, stHP3000Names);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0).Name, "INDEX");
    EXPECT_EQ(list.Items(0).Size, 1200);
    EXPECT_EQ(list.Items(1).Kind, dkUnknown);
    EXPECT_EQ(list.Items(1).UnreadName(), "NOTES");
}

// The heading and the totals are no entries; a name on a line of its own
// takes the facts of the next line.
TEST(ListingDetection, VmsListingJoinsALoneNameToItsFacts) {
    const std::string text =
        "Directory WEB$DISK:[WEB]\r\n\r\n"
        "A_NAME_TOO_LONG_FOR_ITS_COLUMN.DIR;1\r\n"
        "                          1/3   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWE,RWE,RE,RE)\r\n"
        "INDEX.HTML;3          40/42   11-FEB-2025 09:14:00.52  [WEB,WEBADM]  (RWED,RWED,RE,RE)\r\n"
        "LAST.TXT;1\r\n\r\n"
        "Total of 3 files, 41/45 blocks.\r\n";
    TznFTPDirList list;
    Parse(list, stAuto, text);
    EXPECT_EQ(list.ServerType, stVms);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0).Kind, dkDirectory);
    EXPECT_EQ(list.Items(0).Name, "A_NAME_TOO_LONG_FOR_ITS_COLUMN");
    EXPECT_EQ(list.Items(1).Kind, dkUnknown);
    EXPECT_EQ(list.Items(1).UnreadName(), "INDEX.HTML;3");
    EXPECT_EQ(list.Items(2).Kind, dkUnknown) << "a name whose facts never came";
    EXPECT_EQ(list.Items(2).Name, "LAST.TXT;1");

    // Read as it arrives, cut anywhere.
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        TznFTPDirList parts;
        zn::ListingReader reader(parts);
        reader.Feed(std::string_view(text).substr(0, cut));
        reader.Feed(std::string_view(text).substr(cut));
        reader.Finish();
        EXPECT_EQ(Names(parts), Names(list)) << "cut at " << cut;
    }
}
