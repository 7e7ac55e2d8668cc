// kd_count: runs one subject of the benchmarks once over its input, for
// counting instructions under callgrind, where timings are too slow to mean
// anything but instruction counts are exact and do not depend on the load
// of the machine. bench/count runs it for every program and prints the
// counts per sample. kd_bench checks the outputs; this only runs them.
//
// Usage: kd_count plugin|reference|ideal PROGRAM noise|silence SAMPLES [BLOCK]
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "distortion_k.h"
#include "ideal_loop.h"
#include "reference_signal_path.h"
#include "test_signals.h"
#include "twin_paths.h"

// The three subjects, each kept out of line so that callgrind can count the
// instructions inside them alone (--toggle-collect=kd_count_*).
extern "C" {
[[gnu::noinline]] void kd_count_plugin(DistortionK& effect, const std::vector<float>& in, std::vector<float>& out,
                                       std::size_t block) {
    for (std::size_t start = 0; start < in.size(); start += block) {
        const std::size_t count = std::min(block, in.size() - start);
        float* inputs[2] = {const_cast<float*>(in.data() + start), nullptr};
        float* outputs[2] = {out.data() + start, nullptr};
        effect.processReplacing(inputs, outputs, static_cast<VstInt32>(count));
    }
}
[[gnu::noinline]] void kd_count_reference(reference::SignalPath& path, const std::vector<float>& in,
                                          std::vector<float>& out) {
    path.process(in.data(), out.data(), in.size());
}
[[gnu::noinline]] void kd_count_ideal(bench::IdealLoop& loop, const std::vector<float>& in, std::vector<float>& out) {
    loop.process(in.data(), out.data(), in.size());
}
}

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: kd_count plugin|reference|ideal PROGRAM noise|silence SAMPLES [BLOCK]\n");
        return 2;
    }
    const std::string subject = argv[1];
    const int program = std::atoi(argv[2]);
    const bool silence = std::strcmp(argv[3], "silence") == 0;
    const auto samples = static_cast<std::size_t>(std::atol(argv[4]));
    const auto block = static_cast<std::size_t>(argc > 5 ? std::atol(argv[5]) : 512);

    const std::vector<float> in =
        silence ? perf::impulseThenSilence(samples, 1.0f) : perf::whiteNoise(samples, 0.9f, 42);
    std::vector<float> out(in.size());

    DistortionK effect(nullptr);
    effect.setProgram(program);
    std::array<float, kParameterCount> values{};
    reference::SignalPath path;
    for (int index = 0; index < kParameterCount; ++index) {
        values[static_cast<std::size_t>(index)] = effect.getParameter(index);
        path.set(index, values[static_cast<std::size_t>(index)]);
    }
    bench::IdealLoop ideal(values);

    if (subject == "plugin") {
        kd_count_plugin(effect, in, out, block);
    } else if (subject == "reference") {
        kd_count_reference(path, in, out);
    } else if (subject == "ideal") {
        kd_count_ideal(ideal, in, out);
    } else {
        std::fprintf(stderr, "kd_count: unknown subject %s\n", subject.c_str());
        return 2;
    }
    // Keeps the output alive; prints one number nobody reads.
    double sum = 0.0;
    for (const float s : out) {
        sum += s;
    }
    std::printf("%g\n", sum);
    return 0;
}
