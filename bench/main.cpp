// kd_bench: the signal path's benchmarks and the table of ratios.
//
// Without arguments it interleaves 9 repetitions of every benchmark in random
// order and keeps the best of each, so that a busy machine does not decide
// the ratios; any --benchmark_* argument given replaces these defaults one by
// one. Exits 1 when a benchmark's output differs from the reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "ratio_report.h"

int main(int argc, char** argv) {
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

    bench::RatioReport report(bench::registerSignalPathBenchmarks());
    benchmark::RunSpecifiedBenchmarks(&report);
    benchmark::Shutdown();
    return report.errorsSeen() ? 1 : 0;
}
