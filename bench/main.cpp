// kd_bench: the signal path's benchmarks and the table of ratios.
//
// Usage: kd_bench --old-plugin=LIBRARY [--plugin=LIBRARY] [--benchmark_*...]
//
// The plug-in is this build's library unless --plugin names another; the old
// one is the old scalar plug-in (bench/baseline builds it). Without
// --benchmark_* arguments it interleaves 9 repetitions of every benchmark in
// random order and keeps the best of each, so that a busy machine does not
// decide the ratios; any --benchmark_* argument given replaces these
// defaults one by one. Exits 1 when a benchmark's output differs from the
// reference, 2 on bad arguments or a library that does not load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "ratio_report.h"

int main(int argc, char** argv) {
    std::string plugin = KD_DISTORTION_PATH;
    std::string oldPlugin;
    std::vector<char*> remaining;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--plugin=", 0) == 0) {
            plugin = arg.substr(9);
        } else if (arg.rfind("--old-plugin=", 0) == 0) {
            oldPlugin = arg.substr(13);
        } else {
            remaining.push_back(argv[i]);
        }
    }
    if (oldPlugin.empty()) {
        std::fprintf(stderr,
                     "usage: kd_bench --old-plugin=LIBRARY [--plugin=LIBRARY] [--benchmark_*...]\n"
                     "(bench/run builds the old library and passes it)\n");
        return 2;
    }
    argc = static_cast<int>(remaining.size());
    argv = remaining.data();

    const char* defaults[] = {"--benchmark_repetitions=9", "--benchmark_enable_random_interleaving=true",
                              "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.1"};
    std::vector<char*> args(argv, argv + argc);
    for (const char* option : defaults) {
        const std::string name(option, std::strchr(option, '=') - option);
        bool given = false;
        for (int i = 1; i < argc; ++i) {
            given = given || std::strncmp(argv[i], name.c_str(), name.size()) == 0;
        }
        if (!given) {
            args.push_back(const_cast<char*>(option));
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    std::vector<bench::BenchCase> cases = bench::registerSignalPathBenchmarks(plugin, oldPlugin);
    if (cases.empty()) {
        return 2;
    }
    bench::RatioReport report(std::move(cases));
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();
    return report.errorsSeen() ? 1 : 0;
}
