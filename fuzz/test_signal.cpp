#include "test_signal.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {
std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// -1 .. 1
float randomSample(std::uint32_t& state) {
    return static_cast<float>(static_cast<std::int32_t>(nextRandom(state))) / 2147483648.0f;
}

float levelFor(unsigned choice) {
    static const float levels[] = {1.0f, 0.5f, 0.001f, 1e-6f, 1e-39f, 2.0f, 100.0f, 1e4f, 1e10f, 1e20f, 1e30f, 3e38f};
    return levels[choice % (sizeof(levels) / sizeof(levels[0]))];
}

enum Kind : unsigned {
    kSilence,
    kSine,
    kNoise,
    kImpulse,
    kDirect,
    kSquare,
    kNoiseWithOneSpecial,
    kAnyBits,
    kKindCount
};
}  // namespace

TestSignal TestSignal::from(FuzzBytes& in) {
    TestSignal signal{};
    signal.kind = in.byte() % kKindCount;
    signal.level = levelFor(in.byte());
    signal.seed = in.u16() | 1u;
    signal.specialPosition = in.u16();
    signal.special = in.flag() ? in.anyFloat() : std::numeric_limits<float>::quiet_NaN();
    return signal;
}

void TestSignal::fill(float* samples, std::size_t frames) const {
    std::uint32_t state = seed;
    const float step = static_cast<float>(seed % 997 + 1) * 0.0005f;
    for (std::size_t i = 0; i < frames; ++i) {
        float v = 0.0f;
        switch (kind) {
            case kSilence:
                break;
            case kSine:
                v = level * std::sin(step * static_cast<float>(i));
                break;
            case kNoise:
                v = level * randomSample(state);
                break;
            case kImpulse:
                v = i == specialPosition % (frames == 0 ? 1 : frames) ? level : 0.0f;
                break;
            case kDirect:
                v = (seed & 2) != 0 ? level : -level;
                break;
            case kSquare:
                v = ((i / (seed % 64 + 1)) & 1) != 0 ? level : -level;
                break;
            case kNoiseWithOneSpecial:
                v = i == specialPosition % (frames == 0 ? 1 : frames) ? special : level * randomSample(state);
                break;
            default: {
                const std::uint32_t bits = nextRandom(state);
                std::memcpy(&v, &bits, sizeof(v));
                break;
            }
        }
        samples[i] = v;
    }
}
