// SPDX-License-Identifier: MIT
#include "tests/support/private_data_home.h"

#include <gtest/gtest.h>

#include <QApplication>

// Qt's own leak, not ours: the raster paint engine hands work to Qt's GUI
// thread pool, and a pool thread still winding down when the process ends
// leaves its thread data behind (about one run in ten of a window test that
// paints). The leak checker is told about that one; naming it needs full
// stacks, which Qt's libraries give only to the slow unwinder. Used only in
// sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:QThreadPoolPrivate::startThread\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

// Window tests run a real QApplication, on the offscreen platform unless the
// environment says otherwise.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testsupport::PrivateDataHome dataHome;
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
