// SPDX-License-Identifier: MIT
#include "tests/support/private_data_home.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

// Every test binary runs with a Qt core application, as the program does,
// so that posted messages, timers and socket notifiers work.
int main(int argc, char** argv) {
    testsupport::PrivateDataHome dataHome;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
