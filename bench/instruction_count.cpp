// kd_count: runs one subject of the benchmarks once over its input, for
// counting instructions under callgrind, where timings are too slow to mean
// anything but instruction counts are exact and do not depend on the load
// of the machine. bench/run --count runs it for every program and prints the
// counts per sample. kd_bench checks the outputs; this only runs them.
//
// Usage: kd_count plugin|old-plugin|reference|ideal PROGRAM noise|silence SAMPLES [OLD_PLUGIN]
// The plug-in is this build's library; old-plugin needs OLD_PLUGIN.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ideal_loop.h"
#include "plugin_subject.h"
#include "reference_signal_path.h"
#include "test_signals.h"

// The subjects, each kept out of line so that callgrind can count the
// instructions inside them alone (--toggle-collect=kd_count_*).
extern "C" {
[[gnu::noinline]] void kd_count_plugin(AEffect* effect, const std::vector<float>& in, std::vector<float>& out) {
    bench::PluginSubject::process(effect, in.data(), out.data(), in.size(), 512);
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
        std::fprintf(stderr,
                     "usage: kd_count plugin|old-plugin|reference|ideal PROGRAM noise|silence SAMPLES [OLD_PLUGIN]\n");
        return 2;
    }
    const std::string subject = argv[1];
    const int program = std::atoi(argv[2]);
    const bool silence = std::strcmp(argv[3], "silence") == 0;
    const auto samples = static_cast<std::size_t>(std::atol(argv[4]));

    const std::vector<float> in =
        silence ? perf::impulseThenSilence(samples, 1.0f) : perf::whiteNoise(samples, 0.9f, 42);
    std::vector<float> out(in.size());

    const bench::PluginSubject plugin(subject == "old-plugin" && argc > 5 ? argv[5] : KD_DISTORTION_PATH);
    if (!plugin.loaded()) {
        std::fprintf(stderr, "kd_count: %s\n", plugin.error().c_str());
        return 2;
    }
    bench::PluginSubject::Instance effect = plugin.open(program);
    const bench::Settings settings = bench::PluginSubject::settingsOf(effect.get());
    reference::SignalPath path;
    for (int index = 0; index < kParameterCount; ++index) {
        path.set(index, settings[static_cast<std::size_t>(index)]);
    }
    bench::IdealLoop ideal(settings);

    if (subject == "plugin" || subject == "old-plugin") {
        kd_count_plugin(effect.get(), in, out);
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
