// kd_power_bench: the signed power law's subjects (power_law_subjects.h)
// under Google Benchmark, the time per value as "time/value" (the best of
// the repetitions in the "min" row). Each benchmark first checks that its
// subject gives the law's bits and stops with an error otherwise.
//
//   bench/run --power    builds it and runs every case with 9 interleaved repetitions
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "power_law_subjects.h"

namespace {

using namespace bench::power;

void measure(benchmark::State& state, Subject s, Input input, float e) {
    const Check c = check(input, e);
    if (c.pathsDiffering != 0) {
        state.SkipWithError((std::to_string(c.pathsDiffering) + " values differ from signedPower").c_str());
        return;
    }
    const std::vector<float> in = inputOf(input);
    std::vector<float> out(in.size());
    for (auto _ : state) {
        run(s, in, out, e);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    // Seconds per value, shown with an SI prefix ("2.03n": 2.03 ns).
    state.counters["time/value"] = benchmark::Counter(
        static_cast<double>(in.size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["C library differing"] = static_cast<double>(c.cLibraryDiffering);
}

double minimum(const std::vector<double>& values) {
    double best = values.empty() ? 0.0 : values.front();
    for (const double v : values) {
        best = v < best ? v : best;
    }
    return best;
}

const int kRegistered = [] {
    for (const float e : kExponents) {
        for (const Input input : kInputs) {
            for (const Subject s : kSubjects) {
                if (!available(s)) {
                    continue;
                }
                const std::string name =
                    std::string(nameOf(s)) + "/" + nameOf(input) + "/exponent:" + std::to_string(e);
                benchmark::RegisterBenchmark(name.c_str(), [s, input, e](benchmark::State& state) {
                    measure(state, s, input, e);
                })->ComputeStatistics("min", minimum);
            }
        }
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
