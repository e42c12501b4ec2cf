// SPDX-License-Identifier: MIT
#include "app/cli/cli_password.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

using cli::NetrcPassword;
using cli::ResolveCredentials;

namespace {

struct FakeSources {
    std::map<std::string, std::string> environment;
    std::filesystem::path home;
    std::optional<std::string> typed;
    std::vector<std::string> prompts;

    cli::PasswordSources Get() {
        cli::PasswordSources sources;
        sources.environment = [this](const char* name) -> std::optional<std::string> {
            auto it = environment.find(name);
            return it == environment.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        sources.homeDirectory = home.string();
        sources.prompt = [this](const std::string& prompt) {
            prompts.push_back(prompt);
            return typed;
        };
        return sources;
    }
};

class Passwords : public ::testing::Test {
protected:
    void SetUp() override {
        fake_.home = std::filesystem::temp_directory_path() / ("dirweigh-home-" + std::to_string(getpid()));
        std::filesystem::create_directories(fake_.home);
    }
    void TearDown() override { std::filesystem::remove_all(fake_.home); }
    void Write(const std::string& name, const std::string& text) { std::ofstream(fake_.home / name) << text; }
    std::string Resolve(const std::optional<std::string>& file = std::nullopt) {
        std::string error;
        auto credentials = ResolveCredentials("me", "ftp.example.org:21", file, fake_.Get(), error);
        return credentials ? credentials->password : "<none: " + error + ">";
    }
    FakeSources fake_;
};

}  // namespace

TEST(Netrc, MachineLoginAndDefault) {
    const std::string netrc =
        "machine other.org login me password wrong\n"
        "machine ftp.example.org\n  login you password yours\n"
        "machine ftp.example.org login me password mine\n"
        "default login anyone password fallback\n";
    EXPECT_EQ(NetrcPassword(netrc, "ftp.example.org", "me"), "mine");
    EXPECT_EQ(NetrcPassword(netrc, "ftp.example.org", "you"), "yours");
    EXPECT_EQ(NetrcPassword(netrc, "elsewhere.org", "anyone"), "fallback");
    EXPECT_EQ(NetrcPassword("machine a login b", "a", "b"), std::nullopt) << "no password given";
    EXPECT_EQ(NetrcPassword("", "a", "b"), std::nullopt);
}

TEST_F(Passwords, WithoutAUserTheNetrcLoginElseAnonymous) {
    std::string error;
    auto credentials = ResolveCredentials("", "host", std::nullopt, fake_.Get(), error);
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->user, "anonymous");
    EXPECT_EQ(credentials->password, "anonymous@");
    Write(".netrc", "machine other login x password y\nmachine host login webmaster password pw\n");
    credentials = ResolveCredentials("", "host:2121", std::nullopt, fake_.Get(), error);
    ASSERT_TRUE(credentials);
    EXPECT_EQ(credentials->user, "webmaster");
    EXPECT_EQ(credentials->password, "pw");
}

TEST_F(Passwords, SourcesAreAskedInOrder) {
    fake_.typed = "typed";
    EXPECT_EQ(Resolve(), "typed");
    EXPECT_EQ(fake_.prompts, std::vector<std::string>{"Password for me@ftp.example.org:21: "});
    Write(".netrc", "machine ftp.example.org login me password from-netrc\n");
    EXPECT_EQ(Resolve(), "from-netrc");
    fake_.environment["DIRWEIGH_PASSWORD"] = "from-env";
    EXPECT_EQ(Resolve(), "from-env");
    Write("pw", "from-file\r\nsecond line\n");
    EXPECT_EQ(Resolve((fake_.home / "pw").string()), "from-file");
    EXPECT_EQ(fake_.prompts.size(), 1u);
}

TEST_F(Passwords, NoSourceIsAClearError) {
    EXPECT_EQ(Resolve(), "<none: no password for me: give --password-file, DIRWEIGH_PASSWORD or a ~/.netrc entry>");
    EXPECT_EQ(Resolve("/no/such/file"), "<none: cannot read the password file /no/such/file>");
    std::filesystem::create_directory(fake_.home / ".netrc");
    EXPECT_EQ(Resolve(), "<none: cannot read " + (fake_.home / ".netrc").string() + ": not a regular file>");
}
