// SPDX-License-Identifier: MIT
#include "platform/str_to_int.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(IntegerConversion, AcceptsDecimalHexAndLeadingBlanks) {
    EXPECT_EQ(StrToInt32("12"), 12);
    EXPECT_EQ(StrToInt32("  -7"), -7);
    EXPECT_EQ(StrToInt32("+5"), 5);
    EXPECT_EQ(StrToInt32("$1f"), 31);
    EXPECT_EQ(StrToInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(StrToInt64("3221225472"), 3221225472LL);
}

TEST(IntegerConversion, RefusesWhatIsNotEntirelyANumber) {
    for (const char* text : {"", " ", "-", "$", "1x", "1 ", "x1", "0x1", "2147483648", "-2147483649", "$1G"}) {
        EXPECT_FALSE(StrToInt32(text).has_value()) << '"' << text << '"';
    }
    EXPECT_EQ(StrToIntDef("junk", -1), -1);
}
