// Every build of the library gives the same output bits for the same input:
// the linux, asan, win32 and win64 builds all compare their renders with the
// one table below. A change that moves any output sample in any build (the
// signal path's arithmetic, a C library function that differs between the
// builds' runtimes) shows as a different hash.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "loaded_distortion.h"

namespace {

using OutputHashes = LoadedDistortion;

// FNV-1a over the samples' bits. Every NaN counts as the same value: its
// payload says nothing about the audio.
class SampleHash {
public:
    void add(const std::vector<float>& samples) {
        for (const float sample : samples) {
            std::uint32_t bits = 0x7FC00000u;
            if (!std::isnan(sample)) {
                std::memcpy(&bits, &sample, sizeof bits);
            }
            for (int byte = 0; byte < 4; ++byte) {
                value_ = (value_ ^ ((bits >> (8 * byte)) & 0xFFu)) * 0x100000001B3ull;
            }
        }
    }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 0xCBF29CE484222325ull;
};

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(value));
    return text;
}

// Runs input[start, start + count) through the record's replacing process
// entry and adds the first output to the hash.
void processInto(AEffect* effect, const std::vector<float>& input, std::size_t start, std::size_t count,
                 SampleHash& hash) {
    std::vector<float> in(input.begin() + static_cast<std::ptrdiff_t>(start),
                          input.begin() + static_cast<std::ptrdiff_t>(start + count));
    std::vector<float> left(count), right(count);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(count));
    hash.add(left);
}

// Hashes of renders made with a build whose output the other builds were
// shown to match sample for sample; every build must reproduce them.
constexpr std::uint64_t kProgramHashes[9] = {
    0x34cca02e3a121b71ull, 0x014c4106ec4de69aull, 0x4d19e36abac48728ull, 0xd3c890b8d3fe439bull, 0xbb8464b6e6230c28ull,
    0x6de822fc79c0d70dull, 0x62b66f2ab4955909ull, 0xc882eb3ad07c7af7ull, 0xcd0b6d3ebf8fcc97ull,
};
constexpr std::uint64_t kAutomationHash = 0x101809dd13c35be3ull;

TEST_F(OutputHashes, EveryFactoryProgramRendersTheSameBitsInEveryBuild) {
    // 8192 frames of noise, then 16384 of silence after an impulse, in
    // blocks of 512.
    const std::vector<float> input = noiseImpulseAndSilence(8192, 16384);
    for (VstInt32 program = 0; program < 9; ++program) {
        AEffect* effect = create();
        ASSERT_NE(effect, nullptr);
        dispatch(effect, effSetProgram, 0, program);
        SampleHash hash;
        for (std::size_t start = 0; start < input.size(); start += 512) {
            processInto(effect, input, start, 512, hash);
        }
        close(effect);
        EXPECT_EQ(hex(hash.value()), hex(kProgramHashes[program])) << "program " << program;
    }
}

TEST_F(OutputHashes, AnAutomatedRenderGivesTheSameBitsInEveryBuild) {
    // A host's automation: blocks of 32 to 631 frames, and between blocks a
    // parameter set to a new value or, now and then, a program selected.
    const std::vector<float> input = noiseImpulseAndSilence(60000, 20000, 77u);
    Sequence sequence(5u);
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    dispatch(effect, effSetProgram, 0, 5);
    SampleHash hash;
    int changes = 0;
    for (std::size_t start = 0; start < input.size();) {
        const std::size_t count = std::min<std::size_t>(32 + sequence.next() % 600, input.size() - start);
        processInto(effect, input, start, count, hash);
        start += count;
        const std::uint32_t choice = sequence.next();
        if (choice % 8 == 0) {
            dispatch(effect, effSetProgram, 0, static_cast<VstIntPtr>((choice >> 8) % 9));
        } else {
            effect->setParameter(effect, static_cast<VstInt32>((choice >> 8) % 17), sequence.unit());
        }
        ++changes;
    }
    EXPECT_GT(changes, 200);
    EXPECT_EQ(hex(hash.value()), hex(kAutomationHash)) << "after " << changes << " parameter or program changes";
}

}  // namespace
