// SPDX-License-Identifier: MIT
// Times one LIST of a 20,000-entry directory served by pyftpdlib on
// 127.0.0.1: wall time and the client's processor time.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIRWEIGH_BENCH=ON -DDIRWEIGH_TESTS=OFF
//   cmake --build build/bench && build/bench/bin/list_bench [entries]

#include "ftp/client/ftp.h"
#include "tests/fakes/pyftpd.h"
#include "tests/support/site_tree.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

double ClientCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 20000;
    testsupport::SiteTree tree;
    for (int i = 0; i < entries; ++i) tree.AddFile("page_" + std::to_string(i) + ".html", 100 + i);
    testsupport::PyFtpd server(tree.Root().string(), "bench", "bench");
    if (!server.Running()) {
        std::fprintf(stderr, "%s\n", server.Error().c_str());
        return 1;
    }
    platform::TComponent owner(nullptr);
    auto* ftp = new zn::TznFTP(&owner);
    ftp->SetWinsockLoaded(true);
    ftp->SetServer(server.Address());
    ftp->SetUserName("bench");
    ftp->SetPassword("bench");
    ftp->Connect();

    const double cpuBefore = ClientCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    ftp->List();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ClientCpuSeconds() - cpuBefore;
    std::printf("LIST of %d entries: %d parsed, %.3f s wall, %.3f s client CPU\n", entries, ftp->DirList().Count(),
                wall, cpu);
    ftp->Disconnect();
    return ftp->DirList().Count() == entries ? 0 : 1;
}
