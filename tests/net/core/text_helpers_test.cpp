// SPDX-License-Identifier: MIT
#include "net/core/text_helpers.h"

#include <gtest/gtest.h>

using namespace zn;

TEST(ExtractField, WordsAndRestOfAUnixListingLine) {
    const std::string line = "drwxr-xr-x   2 user group 512 Jan  1 10:00 docs";
    EXPECT_EQ(ExtractField(line, 0, true), "drwxr-xr-x");
    EXPECT_EQ(ExtractField(line, 1, true), "2");
    EXPECT_EQ(ExtractField(line, 4, true), "512");
    EXPECT_EQ(ExtractField(line, 8, false), "docs");
    EXPECT_EQ(ExtractField(line, 5, false), "Jan  1 10:00 docs");
}

TEST(ExtractField, TooFewBlanksAndZeroOrNegativeN) {
    EXPECT_EQ(ExtractField("a b", 5, true), "");
    EXPECT_EQ(ExtractField("abc", 0, true), "abc");
    EXPECT_EQ(ExtractField("abc", -3, false), "abc");
    EXPECT_EQ(ExtractField("", 0, true), "");
}

TEST(ExtractField, LeadingBlankIsTheFirstSeparatorAndTabsSeparateNothing) {
    EXPECT_EQ(ExtractField(" a b", 1, true), "a");
    EXPECT_EQ(ExtractField(" a b", 0, true), "");
    EXPECT_EQ(ExtractField("a\tb c", 0, true), "a\tb");
    EXPECT_EQ(ExtractField("a\tb c", 1, true), "c");
}

TEST(ExtractIntField, NumbersAndNonNumbers) {
    EXPECT_EQ(ExtractIntField("x 12 y", 1), 12);
    EXPECT_EQ(ExtractIntField("x y", 1), -1);
    EXPECT_EQ(ExtractIntField("x", 1), -1);
    EXPECT_EQ(ExtractIntField("x $ff", 1), 255);
    EXPECT_EQ(ExtractIntField("x 3221225472", 1), -1);
}

TEST(StripTrailingBlankLines, KeepsInnerBlankLines) {
    std::vector<std::string> lines{"a", "", "b", " ", ""};
    StripTrailingBlankLines(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b"}));
    std::vector<std::string> blanks{"", " \t", "\r"};
    StripTrailingBlankLines(blanks);
    EXPECT_TRUE(blanks.empty());
}

TEST(TrimControl, RemovesEveryControlCharacterAndBlank) {
    EXPECT_EQ(TrimControl(std::string("\x01\t a b\r\n\0", 9)), "a b");
}
