// SPDX-License-Identifier: MIT
#include "tests/support/private_data_home.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#if defined(__SANITIZE_ADDRESS__) && __has_include(<sanitizer/lsan_interface.h>)
#include <sanitizer/lsan_interface.h>
#define DIRWEIGH_CHECK_LEAKS_BEFORE_EXIT 1
#endif

// Every test binary runs with a Qt core application, as the program does,
// so that posted messages, timers and socket notifiers work.
int main(int argc, char** argv) {
    testsupport::PrivateDataHome dataHome;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
#ifdef DIRWEIGH_CHECK_LEAKS_BEFORE_EXIT
    // Qt's D-Bus thread, which the dial-up tests start, may still be ending
    // when the leak check at exit runs, and that check then takes the
    // thread's own data for a leak, now and then. Checked here, while the
    // thread is alive and idle, whatever the tests left behind is found all
    // the same, and the check at exit is not run again.
    __lsan_do_leak_check();
#endif
    return result;
}
