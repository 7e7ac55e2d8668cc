// What each registered benchmark measures, so that the report can put the
// results of one run side by side as ratios.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

enum class Runner { kPlugin, kReference, kIdeal };
enum class Signal { kNoise, kSilenceTail };

struct BenchCase {
    std::string name;
    Runner runner;
    Signal signal;
    int program;
    bool equaliserOnly;  // the program with its per-band distortion switched off
    std::size_t block;
    std::size_t samplesPerIteration;
};

// Registers every benchmark with Google Benchmark and returns their
// descriptions.
std::vector<BenchCase> registerSignalPathBenchmarks();

}  // namespace bench
