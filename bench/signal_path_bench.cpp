// The signal path's benchmarks. Each one first runs its subject and the plain
// reference on the same input from the same start and gives up with an error
// unless every output sample agrees bit for bit; only then is it timed.
#include <benchmark/benchmark.h>

#include <memory>
#include <set>
#include <vector>

#include "bench_cases.h"
#include "ideal_loop.h"
#include "plugin_subject.h"
#include "reference_signal_path.h"
#include "sample_comparison.h"
#include "test_signals.h"

namespace bench {
namespace {

constexpr int kPrograms = 9;
constexpr std::size_t kNoiseLength = 16384;
constexpr std::size_t kStandardBlock = 512;
constexpr std::size_t kTenSeconds = 441000;  // at 44.1 kHz

// The two libraries, loaded once for the whole run.
const PluginSubject* plugins[2] = {nullptr, nullptr};

const PluginSubject& subjectOf(Runner runner) {
    return *plugins[runner == Runner::kOldPlugin ? 1 : 0];
}

bool isPlugin(Runner runner) {
    return runner == Runner::kPlugin || runner == Runner::kOldPlugin;
}

Settings settingsOf(const BenchCase& c) {
    return PluginSubject::settingsOf(subjectOf(Runner::kPlugin).open(c.program, c.equaliserOnly).get());
}

std::unique_ptr<reference::SignalPath> referenceAt(const Settings& settings) {
    auto path = std::make_unique<reference::SignalPath>();
    for (int index = 0; index < kParameterCount; ++index) {
        path->set(index, settings[static_cast<std::size_t>(index)]);
    }
    return path;
}

const std::vector<float>& inputFor(const BenchCase& c) {
    static const std::vector<float> noise = perf::whiteNoise(kNoiseLength, 0.9f, 42);
    static const std::vector<float> longNoise = perf::whiteNoise(kTenSeconds, 0.9f, 43);
    static const std::vector<float> tail = perf::impulseThenSilence(kTenSeconds, 1.0f);
    if (c.signal == Signal::kSilenceTail) {
        return tail;
    }
    return c.samplesPerIteration == kTenSeconds ? longNoise : noise;
}

// Runs the subject of c on input from a fresh start, in c's blocks.
std::vector<float> runFresh(const BenchCase& c, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    if (isPlugin(c.runner)) {
        PluginSubject::process(subjectOf(c.runner).open(c.program, c.equaliserOnly).get(), input.data(), out.data(),
                               input.size(), c.block);
    } else if (c.runner == Runner::kReference) {
        referenceAt(settingsOf(c))->process(input.data(), out.data(), input.size());
    } else {
        IdealLoop(settingsOf(c)).process(input.data(), out.data(), input.size());
    }
    return out;
}

// Empty when c's subject gives the reference's output; checked once per case.
std::string verify(const BenchCase& c) {
    static std::set<std::string> verified;
    if (verified.count(c.name) != 0) {
        return {};
    }
    const std::vector<float>& input = inputFor(c);
    std::vector<float> expected(input.size());
    referenceAt(settingsOf(c))->process(input.data(), expected.data(), input.size());
    const std::string difference = perf::firstDifference(runFresh(c, input), expected);
    if (difference.empty()) {
        verified.insert(c.name);
    }
    return difference;
}

void measure(benchmark::State& state, const BenchCase& c) {
    const std::string difference = verify(c);
    if (!difference.empty()) {
        state.SkipWithError(("output differs from the reference at " + difference).c_str());
        return;
    }
    const std::vector<float>& input = inputFor(c);
    std::vector<float> out(input.size());
    // The ten-second cases start each pass from a fresh instance, so that
    // every silence tail pass is an impulse decaying through ten seconds.
    const bool freshEachPass = input.size() == kTenSeconds;

    const Settings settings = settingsOf(c);
    PluginSubject::Instance plugin =
        isPlugin(c.runner) ? subjectOf(c.runner).open(c.program, c.equaliserOnly) : PluginSubject::Instance();
    std::unique_ptr<reference::SignalPath> path = referenceAt(settings);
    IdealLoop ideal(settings);
    for (auto _ : state) {
        if (freshEachPass) {
            state.PauseTiming();
            if (isPlugin(c.runner)) {
                plugin = subjectOf(c.runner).open(c.program, c.equaliserOnly);
            }
            path = referenceAt(settings);
            state.ResumeTiming();
        }
        switch (c.runner) {
            case Runner::kPlugin:
            case Runner::kOldPlugin:
                PluginSubject::process(plugin.get(), input.data(), out.data(), input.size(), c.block);
                break;
            case Runner::kReference:
                path->process(input.data(), out.data(), input.size());
                break;
            case Runner::kIdeal:
                ideal.process(input.data(), out.data(), input.size());
                break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

double minimum(const std::vector<double>& values) {
    double best = values.empty() ? 0.0 : values.front();
    for (const double v : values) {
        best = v < best ? v : best;
    }
    return best;
}

const char* runnerName(Runner r) {
    switch (r) {
        case Runner::kPlugin:
            return "plugin";
        case Runner::kOldPlugin:
            return "old-plugin";
        case Runner::kReference:
            return "reference";
        case Runner::kIdeal:
            return "ideal";
    }
    return "?";
}

}  // namespace

std::vector<BenchCase> registerSignalPathBenchmarks(const std::string& plugin, const std::string& oldPlugin) {
    static const PluginSubject current(plugin);
    static const PluginSubject old(oldPlugin);
    plugins[0] = &current;
    plugins[1] = &old;
    for (const PluginSubject* subject : plugins) {
        if (!subject->loaded()) {
            std::fprintf(stderr, "kd_bench: %s\n", subject->error().c_str());
            return {};
        }
    }

    std::vector<BenchCase> cases;
    const auto add = [&cases](Runner runner, Signal signal, int program, std::size_t block, std::size_t length,
                              bool equaliserOnly = false) {
        std::string name = std::string(runnerName(runner)) + (signal == Signal::kSilenceTail ? "/silence" : "/noise") +
                           "/program:" + std::to_string(program) + (equaliserOnly ? "/equaliser-only" : "") +
                           "/block:" + std::to_string(block) + "/samples:" + std::to_string(length);
        cases.push_back(BenchCase{name, runner, signal, program, equaliserOnly, block, length});
    };
    for (int program = 0; program < kPrograms; ++program) {
        for (const Runner runner : {Runner::kPlugin, Runner::kOldPlugin, Runner::kReference, Runner::kIdeal}) {
            add(runner, Signal::kNoise, program, kStandardBlock, kNoiseLength);
        }
        add(Runner::kPlugin, Signal::kNoise, program, 32, kNoiseLength);
        add(Runner::kPlugin, Signal::kNoise, program, 4096, kNoiseLength);
    }
    for (int program = 4; program < kPrograms; ++program) {
        for (const Runner runner : {Runner::kPlugin, Runner::kOldPlugin}) {
            for (const bool equaliserOnly : {false, true}) {
                add(runner, Signal::kSilenceTail, program, kStandardBlock, kTenSeconds, equaliserOnly);
                add(runner, Signal::kNoise, program, kStandardBlock, kTenSeconds, equaliserOnly);
            }
        }
    }
    for (const BenchCase& c : cases) {
        benchmark::RegisterBenchmark(c.name.c_str(), [c](benchmark::State& state) { measure(state, c); })
            ->ComputeStatistics("min", minimum)
            ->Unit(benchmark::kMicrosecond);
    }
    return cases;
}

}  // namespace bench
