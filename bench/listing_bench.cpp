// SPDX-License-Identifier: MIT
// Parses a generated 100,000-line Unix listing, the shape of a large web
// directory: files and directories, times and years, a few links.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DDIRWEIGH_BENCH=ON -DDIRWEIGH_TESTS=OFF
//   cmake --build build/bench && build/bench/bin/listing_bench

#include "ftp/listing/dir_list.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string GenerateUnixListing(int lines) {
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string text = "total " + std::to_string(lines * 8) + "\r\n";
    for (int i = 0; i < lines; ++i) {
        const bool dir = i % 17 == 0;
        const bool link = i % 101 == 0;
        text += dir ? "drwxr-xr-x" : link ? "lrwxrwxrwx" : "-rw-r--r--";
        text += "   1 webuser  webgroup ";
        text += std::to_string(1000 + (i * 7919) % 5000000);
        text += ' ';
        text += months[i % 12];
        text += ' ';
        text += std::to_string(1 + i % 28);
        text += i % 3 ? " 14:05 " : "  2019 ";
        text += dir ? "directory_" : "page_";
        text += std::to_string(i);
        text += link ? " -> target/elsewhere\r\n" : ".html\r\n";
    }
    return text;
}

void BM_ParseUnixListing(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const std::string listing = GenerateUnixListing(lines);
    zn::TznFTPDirList list;
    for (auto _ : state) {
        list.ServerType = zn::stAuto;
        zn::ParseListing(listing, list);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["lines_per_second"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_ParseUnixListing)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
