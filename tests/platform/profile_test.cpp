// SPDX-License-Identifier: MIT
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace platform;
namespace fs = std::filesystem;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("dirweigh-profile-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        file_ = (dir_ / "dirweigh.ini").string();
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }
    void Write(const std::string& content) { std::ofstream(file_, std::ios::binary) << content; }
    std::string Content() {
        std::ifstream in(file_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string Read(const std::string& key, const std::string& fallback = "<default>") {
        return ReadProfileString(file_, "Setup", key, fallback);
    }

    fs::path dir_;
    std::string file_;
};

}  // namespace

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(Read("Server"), "<default>");
    Write("[Other]\nServer=x\n");
    EXPECT_EQ(Read("Server"), "<default>");
    Write("[Setup]\nUser=x\n");
    EXPECT_EQ(Read("Server"), "<default>");
}

TEST_F(ProfileFile, EmptyValueIsEmptyNotTheDefault) {
    Write("[Setup]\nServer=\n");
    EXPECT_EQ(Read("Server"), "");
}

TEST_F(ProfileFile, NamesMatchWithoutCaseAndQuotesAreStripped) {
    Write("[setup]\nSERVER = ftp.example.org \nUser=\"quoted name\"\nDir='single'\nOdd=\"mismatch'\n");
    EXPECT_EQ(Read("server"), "ftp.example.org");
    EXPECT_EQ(Read("User"), "quoted name");
    EXPECT_EQ(Read("Dir"), "single");
    EXPECT_EQ(Read("Odd"), "\"mismatch'");
}

TEST_F(ProfileFile, LongValuesAreCutAt1023Characters) {
    Write("[Setup]\nDir=" + std::string(1500, 'd') + "\n");
    EXPECT_EQ(Read("Dir"), std::string(1023, 'd'));
}

TEST_F(ProfileFile, IntegerVariants) {
    const std::pair<const char*, int> cases[] = {
        {"1", 1},   {"01", 1},  {"0x1", 1}, {"0X1", 1}, {"$1", 1},          {"0", 0},   {"2", 2},
        {"-1", -1}, {"1x", 99}, {"", 99},   {"0x", 99}, {"4294967296", 99}, {"  7", 7},
    };
    for (auto [text, expected] : cases) {
        Write(std::string("[Setup]\nProxyType=") + text + "\n");
        EXPECT_EQ(ReadProfileInteger(file_, "Setup", "ProxyType", 99), expected) << '"' << text << '"';
    }
    fs::remove(file_);
    EXPECT_EQ(ReadProfileInteger(file_, "Setup", "ProxyType", 0), 0);
}

TEST_F(ProfileFile, WriteCreatesFileAndSection) {
    WriteProfileString(file_, "Setup", "Server", "ftp.example.org");
    WriteProfileString(file_, "Setup", "Password", "");
    EXPECT_EQ(Content(), "[Setup]\nServer=ftp.example.org\nPassword=\n");
    EXPECT_EQ(Read("Password"), "");
    // A section named with brackets of its own is found again, not added twice.
    WriteProfileString(file_, "TLS [::1]:2121", "SpokeTls", "0");
    WriteProfileString(file_, "TLS [::1]:2121", "SpokeTls", "1");
    EXPECT_EQ(Content(), "[Setup]\nServer=ftp.example.org\nPassword=\n[TLS [::1]:2121]\nSpokeTls=1\n");
    EXPECT_EQ(ReadProfileString(file_, "TLS [::1]:2121", "SpokeTls", ""), "1");
}

TEST_F(ProfileFile, WriteKeepsEveryOtherLineByteForByte) {
    const std::string before =
        "; hand-written\r\n[Setup]\r\nserver=old\r\nProxyServer = proxy:8080 \r\nProxyType=0x1\r\n\r\n"
        "[Other]\r\nKey=Value\r\ntrailing line without end";
    Write(before);
    WriteProfileString(file_, "Setup", "Server", "new");
    WriteProfileString(file_, "Setup", "Dir", "pub");
    WriteProfileString(file_, "Third", "A", "b");
    EXPECT_EQ(Content(),
              "; hand-written\r\n[Setup]\r\nServer=new\r\nProxyServer = proxy:8080 \r\nProxyType=0x1\r\n"
              "Dir=pub\r\n\r\n[Other]\r\nKey=Value\r\ntrailing line without end\r\n[Third]\r\nA=b\r\n");
}

TEST_F(ProfileFile, UnwritableDirectoryGivesTheGermanMessageAndLeavesTheFile) {
    if (geteuid() == 0) {
        // root writes anywhere; a missing directory is refused all the same.
        const std::string missing = (dir_ / "gone" / "dirweigh.ini").string();
        try {
            WriteProfileString(missing, "Setup", "Server", "x");
            FAIL();
        } catch (const EIniFileException& e) {
            EXPECT_EQ(e.Message(), "nach " + missing + " kann nicht geschrieben werden");
        }
        return;
    }
    Write("[Setup]\nServer=keep\n");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    try {
        WriteProfileString(file_, "Setup", "Server", "x");
        FAIL();
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "nach " + file_ + " kann nicht geschrieben werden");
    }
    EXPECT_EQ(Read("Server"), "keep");
}

TEST_F(ProfileFile, SomethingInThePlaceOfTheFileIsNeverReplaced) {
    fs::create_directory(file_);
    fs::create_directory(fs::path(file_) / "inside");
    try {
        WriteProfileString(file_, "Setup", "Server", "x");
        FAIL();
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "nach " + file_ + " kann nicht geschrieben werden");
    }
    EXPECT_TRUE(fs::is_directory(fs::path(file_) / "inside"));
    EXPECT_EQ(Read("Server"), "<default>");
}
