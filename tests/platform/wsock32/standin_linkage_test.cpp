// SPDX-License-Identifier: MIT
#include "platform/modules.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>

// The sockets library exports recv, send, socket and friends. Loaded as the
// program loads it, none of them may become visible to the rest of the
// process, and the library itself must reach the C library's functions
// explicitly, never through a name that could bind to its own export.

TEST(StandInLinkage, LoadedLocallyItShadowsNothing) {
    platform::HMODULE module = platform::LoadLibrary("wsock32.dll");
    ASSERT_NE(module, 0u);
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "WSAStartup"), nullptr);
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "closesocket"), nullptr);
    void* recvExport = platform::GetProcAddress(module, "recv");
    ASSERT_NE(recvExport, nullptr);
    EXPECT_NE(dlsym(RTLD_DEFAULT, "recv"), recvExport);
    EXPECT_NE(dlsym(RTLD_DEFAULT, "send"), platform::GetProcAddress(module, "send"));
    platform::FreeLibrary(module);
}

TEST(StandInLinkage, TheLibraryImportsNoSocketFunctionByName) {
    const std::string path = platform::ExecutableDirectory() + "/libwsock32.so";
    FILE* pipe = popen(("nm -D --undefined-only '" + path + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> imported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        std::string name = text.substr(text.find_last_of(' ') + 1);
        name = name.substr(0, name.find_first_of("@\n"));
        imported.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    ASSERT_FALSE(imported.empty()) << "nm listed nothing";
    for (const char* shared :
         {"accept", "bind", "connect", "getsockname", "htons", "inet_addr", "listen", "recv", "send", "socket",
          "gethostbyname", "gethostname", "getservbyname", "getaddrinfo", "freeaddrinfo", "inet_pton", "inet_ntop"}) {
        EXPECT_EQ(imported.count(shared), 0u) << shared << " would bind to the library's own export";
    }
}
