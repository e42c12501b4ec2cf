// SPDX-License-Identifier: MIT
#include "platform/modules.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;

TEST(ModuleLoading, MapsPlatformNamesToSharedObjects) {
    EXPECT_EQ(SharedObjectName("wsock32.dll"), "libwsock32.so");
    EXPECT_EQ(SharedObjectName("RASAPI32.DLL"), "librasapi32.so");
    EXPECT_EQ(SharedObjectName("plain"), "libplain.so");
}

TEST(ModuleLoading, MissingLibraryGivesZeroAndLookupsGiveNothing) {
    SetLibraryDirectoryForTesting(std::filesystem::temp_directory_path().string());
    EXPECT_EQ(LoadLibrary("no-such-library-here.dll"), 0u);
    SetLibraryDirectoryForTesting(std::nullopt);
    EXPECT_EQ(GetProcAddress(0, "anything"), nullptr);
    EXPECT_FALSE(FreeLibrary(0));
}

TEST(ModuleLoading, FindsALibraryBesideTheExecutableAndItsEntryPoints) {
    // The platform library itself lies beside every test binary.
    HMODULE module = LoadLibrary("platform.dll");
    ASSERT_NE(module, 0u);
    EXPECT_NE(GetProcAddress(module, "_ZN8platform15ProcessMessagesEv"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchFunction"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(ModuleLoading, ErrorModeIsKeptAndReturned) {
    unsigned first = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(SetErrorMode(first), SEM_NOOPENFILEERRORBOX);
}
