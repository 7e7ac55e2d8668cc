// kd_power_timing: nanoseconds per value of the signed power law in this
// build, against the build's C library pow in the formula the law stands
// for. It needs no Google Benchmark, so it runs in every build, the Windows
// DLLs' under Wine too (bench/power-law-figures runs it in all of them).
//
// Before timing it checks every array path against the law value by value,
// bit for bit, and counts the values where the C library's formula differs.
// Then it interleaves the subjects for a number of rounds and keeps the best
// time of each, so that a busy machine does not decide the ratios.
//
// A last table shows what a host's own SSE code costs right after a call of
// each array path, against the same code alone: the AVX2 path must leave
// the vector registers as fast for it as it found them (in the 32-bit build
// VZEROUPPER alone does not, signed_powers_avx2.cpp).
//
// Usage: kd_power_timing [--rounds N]   (default 100, about 2 s)
// Exit codes: 0 done, 1 an array path differs from the law, 2 bad usage.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "power_law_subjects.h"

using namespace bench::power;

namespace {

using Key = std::tuple<Subject, Input, float>;

// Nanoseconds per value of one measurement: enough passes for a quarter of a
// millisecond, short enough that many of them run without being interrupted.
double measure(Subject s, const std::vector<float>& in, std::vector<float>& out, float e) {
    using Clock = std::chrono::steady_clock;
    int passes = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point now = start;
    do {
        run(s, in, out, e);
        ++passes;
        now = Clock::now();
    } while (now - start < std::chrono::microseconds(250));
    return std::chrono::duration<double, std::nano>(now - start).count() / (static_cast<double>(passes) * in.size());
}

// A host's own code between two calls, built without AVX as most hosts'
// is: a gain over a block of samples, in double precision, a few times over.
constexpr int kHostPasses = 8;

void hostGain(std::vector<float>& block, double gain) {
    for (int pass = 0; pass < kHostPasses; ++pass) {
        for (float& v : block) {
            v = static_cast<float>(static_cast<double>(v) * gain);
        }
    }
}

// Nanoseconds per pass of `work`, over enough passes for a quarter of a
// millisecond.
template <typename Work>
double perPass(Work work) {
    using Clock = std::chrono::steady_clock;
    int passes = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point now = start;
    do {
        work();
        ++passes;
        now = Clock::now();
    } while (now - start < std::chrono::microseconds(250));
    return std::chrono::duration<double, std::nano>(now - start).count() / passes;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 100;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0 && std::atoi(argv[2]) > 0) {
        rounds = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: kd_power_timing [--rounds N]\n");
        return 2;
    }

    std::map<std::pair<Input, float>, Check> checks;
    for (const float e : kExponents) {
        for (const Input input : kInputs) {
            const Check c = check(input, e);
            if (c.pathsDiffering != 0) {
                std::printf(
                    "kd_power_timing: %zu values of %s, exponent %g, differ between the array paths and "
                    "signedPower\n",
                    c.pathsDiffering, nameOf(input), e);
                return 1;
            }
            checks[{input, e}] = c;
        }
    }

    std::map<Input, std::vector<float>> inputs;
    for (const Input input : kInputs) {
        inputs[input] = inputOf(input);
    }
    std::vector<float> out(kLength);
    std::map<Key, double> best;
    for (int round = 0; round < rounds; ++round) {
        for (const float e : kExponents) {
            for (const Input input : kInputs) {
                for (const Subject s : kSubjects) {
                    if (!available(s)) {
                        continue;
                    }
                    const double ns = measure(s, inputs[input], out, e);
                    const Key key{s, input, e};
                    if (best.count(key) == 0 || ns < best[key]) {
                        best[key] = ns;
                    }
                }
            }
        }
    }

    // The host's gain over one block alone, and after one call of each array
    // path on another block (minus that call alone).
    const std::vector<float> noise(inputs[Input::kNoise].begin(), inputs[Input::kNoise].begin() + kBlock);
    std::vector<float> powers(kBlock);
    std::vector<float> hostBlock = noise;
    const volatile double hostFactor = 1.0;
    const double gain = hostFactor;
    const auto call = [&noise, &powers](Subject s) {
        power_law::paths::signedPowersOn(
            s == Subject::kAvx2 ? power_law::paths::ArrayPath::kAvx2 : power_law::paths::ArrayPath::kSse2, noise.data(),
            powers.data(), kBlock, kExponents[0]);
    };
    double hostAlone = 1e30;
    std::map<Subject, std::pair<double, double>> callAndHost;  // the call alone, the call and the host's gain
    for (int round = 0; round < rounds; ++round) {
        hostAlone = std::min(hostAlone, perPass([&] { hostGain(hostBlock, gain); }));
        for (const Subject s : {Subject::kSse2, Subject::kAvx2}) {
            if (!available(s)) {
                continue;
            }
            auto& [alone, withHost] = callAndHost.try_emplace(s, 1e30, 1e30).first->second;
            alone = std::min(alone, perPass([&] { call(s); }));
            withHost = std::min(withHost, perPass([&] {
                                    call(s);
                                    hostGain(hostBlock, gain);
                                }));
        }
    }

    const auto ns = [&best](Subject s, Input input, float e) {
        const auto found = best.find(Key{s, input, e});
        return found == best.end() ? 0.0 : found->second;
    };
    const auto ratio = [](double a, double b) { return a > 0.0 && b > 0.0 ? a / b : 0.0; };
    std::printf("ns per value, best of %d rounds, blocks of %zu (0: not usable here)\n\n", rounds, kBlock);
    std::printf(
        "| exponent | input | C library pow | signedPower | SSE2 | AVX2 | SSE2 / C library | AVX2 / C library "
        "| C library values differing |\n|---|---|---|---|---|---|---|---|---|\n");
    for (const float e : kExponents) {
        for (const Input input : kInputs) {
            const double c = ns(Subject::kCLibrary, input, e);
            const double sse2 = ns(Subject::kSse2, input, e);
            const double avx2 = ns(Subject::kAvx2, input, e);
            std::printf("| %g | %s | %.2f | %.2f | %.2f | %.2f | %.3f | %.3f | %zu of %zu |\n", e, nameOf(input), c,
                        ns(Subject::kScalar, input, e), sse2, avx2, ratio(sse2, c), ratio(avx2, c),
                        checks[{input, e}].cLibraryDiffering, kLength);
        }
    }
    std::printf("\n| exponent | SSE2 silence tail / noise | AVX2 silence tail / noise |\n|---|---|---|\n");
    for (const float e : kExponents) {
        std::printf("| %g | %.3f | %.3f |\n", e,
                    ratio(ns(Subject::kSse2, Input::kSilenceTail, e), ns(Subject::kSse2, Input::kNoise, e)),
                    ratio(ns(Subject::kAvx2, Input::kSilenceTail, e), ns(Subject::kAvx2, Input::kNoise, e)));
    }
    const double hostSamples = static_cast<double>(kHostPasses * kBlock);
    std::printf("\n| the host's SSE code (a gain, %d times over %zu samples) | ns per sample |\n|---|---|\n",
                kHostPasses, kBlock);
    std::printf("| alone | %.2f |\n", hostAlone / hostSamples);
    for (const auto& [s, times] : callAndHost) {
        std::printf("| right after %s | %.2f |\n", nameOf(s), (times.second - times.first) / hostSamples);
    }
    return 0;
}
