// SPDX-License-Identifier: MIT
#include "net/core/errors.h"
#include "net/core/winsock.h"
#include "platform/modules.h"
#include "tests/support/errors.h"

#include <gtest/gtest.h>

#include <filesystem>

using zn::EWinsockDLLError;
using zn::TznWinsock;
using testsupport::MessageOf;

namespace {

struct LibraryDirectory {
    explicit LibraryDirectory(std::string dir) { platform::SetLibraryDirectoryForTesting(std::move(dir)); }
    ~LibraryDirectory() { platform::SetLibraryDirectoryForTesting(std::nullopt); }
};

}  // namespace

TEST(WinsockBinding, CallsBeforeLoadingFail) {
    TznWinsock binding;
    EXPECT_FALSE(binding.IsLoaded());
    EXPECT_EQ(MessageOf<EWinsockDLLError>([&] { binding.WSAStartup(0x0101, nullptr); }), "Winsock is not loaded");
    EXPECT_EQ(MessageOf<EWinsockDLLError>([&] { (binding.htons)(21); }), "Winsock is not loaded");
}

TEST(WinsockBinding, MissingLibraryIsNotFound) {
    LibraryDirectory empty(std::filesystem::temp_directory_path().string());
    TznWinsock binding;
    EXPECT_EQ(MessageOf<EWinsockDLLError>([&] { binding.Load(); }), "Winsock not found");
    EXPECT_FALSE(binding.IsLoaded());
    EXPECT_EQ(binding.LibHandle, 0u);
}

TEST(WinsockBinding, MissingEntryPointIsNamed) {
    LibraryDirectory partial(PARTIAL_WSOCK32_DIR);
    TznWinsock binding;
    binding.Load();
    ASSERT_TRUE(binding.IsLoaded());
    EXPECT_EQ(binding.WSAStartup(0x0101, nullptr), 0);
    EXPECT_EQ(MessageOf<EWinsockDLLError>([&] { binding.WSAAsyncSelect(1, 1, 1, 1); }),
              "Function WSAAsyncSelect not found");
    binding.Unload();
}

TEST(WinsockBinding, UnloadTwiceAndSelectHelpers) {
    TznWinsock binding;
    binding.Load();
    EXPECT_TRUE(binding.IsLoaded());
    EXPECT_EQ((binding.htons)(0x1234), 0x3412);
    binding.Unload();
    EXPECT_FALSE(binding.IsLoaded());
    EXPECT_NO_THROW(binding.Unload());
    EXPECT_EQ(zn::SelectError(0x274D0010), 10061);
    EXPECT_EQ(zn::SelectEvent(0x274D0010), 16);
}
