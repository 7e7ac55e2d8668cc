// kd_loudness_bench: what plughost's loudness meter costs per frame of
// stereo audio at 44.1 kHz, fed in the chunks a render hands its reading
// and writing threads (32768 frames), on each of its kernel paths that this
// processor runs, the true peak alone, and libebur128 (in its exact mode)
// for comparison.
//
// Usage: kd_loudness_bench [--benchmark_*...] (bench/run --loudness)
#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/loudness_meter.h"
#include "audio/true_peak.h"

namespace {

constexpr double kRate = 44100.0;
constexpr std::size_t kChunkFrames = 32768;
constexpr std::size_t kFrames = 16 * kChunkFrames;  // about 12 s

// Tones and noise, as bench/plughost-figures renders.
struct Signal {
    std::vector<float> left, right, interleaved;
    Signal() {
        std::uint32_t state = 1;
        for (std::size_t n = 0; n < kFrames; ++n) {
            state = state * 1664525u + 1013904223u;
            const double noise = static_cast<double>(state) / 4294967296.0 * 0.2 - 0.1;
            const double t = static_cast<double>(n) / kRate;
            left.push_back(static_cast<float>(0.25 * std::sin(2.0 * 3.141592653589793 * 220.0 * t) + noise));
            right.push_back(static_cast<float>(0.15 * std::sin(2.0 * 3.141592653589793 * 331.0 * t) - noise));
            interleaved.push_back(left.back());
            interleaved.push_back(right.back());
        }
    }
};

const Signal& signal() {
    static const Signal made;
    return made;
}

template <typename Meter>
void feed(Meter& meter) {
    for (std::size_t at = 0; at < kFrames; at += kChunkFrames) {
        const float* channels[] = {signal().left.data() + at, signal().right.data() + at};
        meter.add(channels, kChunkFrames);
    }
}

void perFrame(benchmark::State& state) {
    state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations() * kFrames),
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void meterOnPath(benchmark::State& state, KernelPath path) {
    if (!kernelPathRuns(path)) {
        state.SkipWithError("this processor does not run the path");
        return;
    }
    for (auto _ : state) {
        LoudnessMeter meter(2, kRate, path);
        feed(meter);
        benchmark::DoNotOptimize(meter.figures());
    }
    perFrame(state);
}

void truePeakOnPath(benchmark::State& state, KernelPath path) {
    if (!kernelPathRuns(path)) {
        state.SkipWithError("this processor does not run the path");
        return;
    }
    for (auto _ : state) {
        TruePeakMeter meter(2, path);
        feed(meter);
        benchmark::DoNotOptimize(meter.peak());
    }
    perFrame(state);
}

void libebur128(benchmark::State& state, int mode) {
    for (auto _ : state) {
        ebur128_state* meter = ebur128_init(2, static_cast<unsigned long>(kRate), mode);
        for (std::size_t at = 0; at < kFrames; at += kChunkFrames) {
            ebur128_add_frames_float(meter, signal().interleaved.data() + 2 * at, kChunkFrames);
        }
        double figure = 0.0;
        ebur128_loudness_global(meter, &figure);
        benchmark::DoNotOptimize(figure);
        ebur128_destroy(&meter);
    }
    perFrame(state);
}

BENCHMARK_CAPTURE(meterOnPath, portable, KernelPath::Portable)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(meterOnPath, sse2, KernelPath::Sse2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(meterOnPath, avx2, KernelPath::Avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(truePeakOnPath, sse2, KernelPath::Sse2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(truePeakOnPath, avx2, KernelPath::Avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libebur128, integrated_and_range, EBUR128_MODE_I | EBUR128_MODE_LRA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(libebur128, with_true_peak, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
