// SPDX-License-Identifier: MIT
#include "net/core/errors.h"
#include "net/core/message_table.h"

#include <gtest/gtest.h>

using namespace zn;

TEST(MessageTable, SuiteAndSocketTextsAndTheFallback) {
    EXPECT_EQ(LoadMessage(57002), "Server property is required");
    EXPECT_EQ(LoadMessage(10061), "[10061] Connection refused");
    EXPECT_EQ(LoadMessage(10107), "Error #10107");
    EXPECT_EQ(LoadMessage(57007), "Error #57007");
    EXPECT_EQ(LoadMessage(65535), "Error #65535");
}

TEST(MessageTable, CodeZeroHasItsTextUnderId10000) {
    EXPECT_EQ(LoadMessage(0), "[0] No Error");
    EXPECT_EQ(LoadMessage(10000), "[0] No Error");
}

TEST(MessageTable, HoldsAllFiftyTwoSocketTextsEachStartingWithItsCode) {
    int count = 0;
    for (int id = 10000; id < 12000; ++id) {
        std::string text = FindMessageText(static_cast<std::uint16_t>(id));
        if (text.empty()) continue;
        ++count;
        const std::string code = id == 10000 ? "0" : std::to_string(id);
        EXPECT_EQ(text.rfind("[" + code + "] ", 0), 0u) << text;
    }
    EXPECT_EQ(count, 52);
}

TEST(Exceptions, FixedTextsAndClasses) {
    EXPECT_EQ(ECanceledError().Message(), "Operation has been canceled");
    EXPECT_EQ(ETimedOutError().Message(), "Operation timed out");
    try {
        throw ESocketError("[10054] Connection reset by peer");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "[10054] Connection reset by peer");
        EXPECT_NE(dynamic_cast<const ESocketError*>(&e), nullptr);
        EXPECT_EQ(dynamic_cast<const EServerError*>(&e), nullptr);
    }
}
