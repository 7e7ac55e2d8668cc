// What each registered benchmark measures, so that the report can put the
// results of one run side by side as ratios.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// The current build's plug-in and the old scalar one, both loaded from their
// files and driven through their records; the plain reference and the ideal
// loop, compiled in.
enum class Runner { kPlugin, kOldPlugin, kReference, kIdeal };
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
// descriptions. The two libraries: the current build's and the old one.
std::vector<BenchCase> registerSignalPathBenchmarks(const std::string& plugin, const std::string& oldPlugin);

}  // namespace bench
