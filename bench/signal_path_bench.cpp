// The signal path's benchmarks. Each one first runs its subject and the plain
// reference on the same input from the same start and gives up with an error
// unless every output sample agrees bit for bit; only then is it timed.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <set>
#include <vector>

#include "bench_cases.h"
#include "distortion_k.h"
#include "ideal_loop.h"
#include "reference_signal_path.h"
#include "sample_comparison.h"
#include "test_signals.h"
#include "twin_paths.h"

namespace bench {
namespace {

constexpr int kPrograms = 9;
constexpr std::size_t kNoiseLength = 16384;
constexpr std::size_t kStandardBlock = 512;
constexpr std::size_t kTenSeconds = 441000;  // at 44.1 kHz

std::array<float, kParameterCount> programValues(int program, bool equaliserOnly) {
    DistortionK effect(nullptr);
    effect.setProgram(program);
    if (equaliserOnly) {
        effect.setParameter(kMultiDistOn, 0.0f);
    }
    std::array<float, kParameterCount> values{};
    for (int index = 0; index < kParameterCount; ++index) {
        values[static_cast<std::size_t>(index)] = effect.getParameter(index);
    }
    return values;
}

std::unique_ptr<DistortionK> pluginAt(int program, bool equaliserOnly) {
    auto effect = std::make_unique<DistortionK>(nullptr);
    effect->setProgram(program);
    if (equaliserOnly) {
        effect->setParameter(kMultiDistOn, 0.0f);
    }
    return effect;
}

std::unique_ptr<reference::SignalPath> referenceAt(int program, bool equaliserOnly) {
    auto path = std::make_unique<reference::SignalPath>();
    const std::array<float, kParameterCount> values = programValues(program, equaliserOnly);
    for (int index = 0; index < kParameterCount; ++index) {
        path->set(index, values[static_cast<std::size_t>(index)]);
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
    switch (c.runner) {
        case Runner::kPlugin:
            return perf::processInBlocks(*pluginAt(c.program, c.equaliserOnly), input, c.block);
        case Runner::kReference:
            referenceAt(c.program, c.equaliserOnly)->process(input.data(), out.data(), input.size());
            return out;
        case Runner::kIdeal:
            IdealLoop(programValues(c.program, c.equaliserOnly)).process(input.data(), out.data(), input.size());
            return out;
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
    referenceAt(c.program, c.equaliserOnly)->process(input.data(), expected.data(), input.size());
    const std::string difference = perf::firstDifference(runFresh(c, input), expected);
    if (difference.empty()) {
        verified.insert(c.name);
    }
    return difference;
}

void runPluginBlocks(DistortionK& effect, const std::vector<float>& input, std::vector<float>& out, std::size_t block) {
    for (std::size_t start = 0; start < input.size(); start += block) {
        const std::size_t count = std::min(block, input.size() - start);
        float* inputs[2] = {const_cast<float*>(input.data() + start), nullptr};
        float* outputs[2] = {out.data() + start, nullptr};
        effect.processReplacing(inputs, outputs, static_cast<VstInt32>(count));
    }
}

void measure(benchmark::State& state, const BenchCase& c) {
    const std::string difference = verify(c);
    if (!difference.empty()) {
        state.SkipWithError(("output differs from the reference at " + difference).c_str());
        return;
    }
    const std::vector<float>& input = inputFor(c);
    std::vector<float> out(input.size());
    // The silence tail starts each pass from a fresh instance, so that every
    // pass is an impulse decaying through ten seconds of silence.
    const bool freshEachPass = c.signal == Signal::kSilenceTail || input.size() == kTenSeconds;

    std::unique_ptr<DistortionK> plugin = pluginAt(c.program, c.equaliserOnly);
    std::unique_ptr<reference::SignalPath> path = referenceAt(c.program, c.equaliserOnly);
    std::unique_ptr<IdealLoop> ideal = std::make_unique<IdealLoop>(programValues(c.program, c.equaliserOnly));
    for (auto _ : state) {
        if (freshEachPass) {
            state.PauseTiming();
            plugin = pluginAt(c.program, c.equaliserOnly);
            path = referenceAt(c.program, c.equaliserOnly);
            state.ResumeTiming();
        }
        switch (c.runner) {
            case Runner::kPlugin:
                runPluginBlocks(*plugin, input, out, c.block);
                break;
            case Runner::kReference:
                path->process(input.data(), out.data(), input.size());
                break;
            case Runner::kIdeal:
                ideal->process(input.data(), out.data(), input.size());
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
        case Runner::kReference:
            return "reference";
        case Runner::kIdeal:
            return "ideal";
    }
    return "?";
}

}  // namespace

std::vector<BenchCase> registerSignalPathBenchmarks() {
    std::vector<BenchCase> cases;
    const auto add = [&cases](Runner runner, Signal signal, int program, std::size_t block, std::size_t length,
                              bool equaliserOnly = false) {
        std::string name = std::string(runnerName(runner)) + (signal == Signal::kSilenceTail ? "/silence" : "/noise") +
                           "/program:" + std::to_string(program) + (equaliserOnly ? "/equaliser-only" : "") +
                           "/block:" + std::to_string(block) + "/samples:" + std::to_string(length);
        cases.push_back(BenchCase{name, runner, signal, program, equaliserOnly, block, length});
    };
    for (int program = 0; program < kPrograms; ++program) {
        for (const Runner runner : {Runner::kPlugin, Runner::kReference, Runner::kIdeal}) {
            add(runner, Signal::kNoise, program, kStandardBlock, kNoiseLength);
        }
        add(Runner::kPlugin, Signal::kNoise, program, 32, kNoiseLength);
        add(Runner::kPlugin, Signal::kNoise, program, 4096, kNoiseLength);
    }
    for (int program = 4; program < kPrograms; ++program) {
        for (const Runner runner : {Runner::kPlugin, Runner::kReference}) {
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
