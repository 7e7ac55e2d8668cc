// Hosts process on an audio thread while the user interface thread changes
// parameters and programs, reads display texts, or opens a second,
// temporary instance to read program names. The effect takes no locks by
// design; these tests run such pairs of threads for many blocks and require
// that nothing crashes and that every output sample is finite.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "effect_under_test.h"
#include "opcodes.h"

namespace {
using reliability::EffectUnderTest;

constexpr int kBlocks = 3000;
constexpr std::size_t kBlockFrames = 256;

struct AudioThreadResult {
    int blocks = 0;
    long nonFiniteSamples = 0;
    long firstNonFiniteBlock = -1;
};

// Processes kBlocks blocks of a sine on the calling thread, as an audio
// thread does, with the host's own automation between blocks; `running`
// falls to false when it is done.
AudioThreadResult runAudioThread(EffectUnderTest& effect, std::atomic<bool>& running) {
    AudioThreadResult result;
    std::vector<float> input(kBlockFrames);
    std::vector<float> left(kBlockFrames);
    std::vector<float> right(kBlockFrames);
    float* inputs[2] = {input.data(), input.data()};
    float* outputs[2] = {left.data(), right.data()};
    AEffect* record = effect.record();
    for (int b = 0; b < kBlocks; ++b) {
        for (std::size_t i = 0; i < kBlockFrames; ++i) {
            input[i] = 0.9f * static_cast<float>(std::sin(0.02 * static_cast<double>(b * kBlockFrames + i)));
        }
        // Automation of the input gain, sent once per block from this thread.
        record->setParameter(record, kGain, static_cast<float>(b % 100) / 99.0f);
        record->processReplacing(record, inputs, outputs, static_cast<VstInt32>(kBlockFrames));
        for (std::size_t i = 0; i < kBlockFrames; ++i) {
            if (!std::isfinite(left[i]) || !std::isfinite(right[i])) {
                ++result.nonFiniteSamples;
                if (result.firstNonFiniteBlock < 0) {
                    result.firstNonFiniteBlock = b;
                }
            }
        }
        ++result.blocks;
    }
    running = false;
    return result;
}

// Runs `change` over and over on a second thread while the audio thread
// processes, and answers how often it ran.
long runAlongsideAudio(EffectUnderTest& effect, AudioThreadResult& audio, const std::function<void(long)>& change) {
    std::atomic<bool> running{true};
    std::atomic<long> changes{0};
    std::thread other([&] {
        for (long n = 0; running; ++n) {
            change(n);
            changes = n + 1;
        }
    });
    audio = runAudioThread(effect, running);
    other.join();
    return changes;
}

// A value in 0..1 from a counter, spread over the range.
float spread(long n) {
    return static_cast<float>((static_cast<std::uint32_t>(n) * 2654435761u) >> 8) / 16777215.0f;
}

TEST(Concurrency, ParametersChangedFromAnotherThreadWhileProcessingKeepEveryOutputFinite) {
    EffectUnderTest effect;
    ASSERT_NE(effect.record(), nullptr);
    effect.selectProgram(5);
    AudioThreadResult audio;
    const long changes = runAlongsideAudio(effect, audio, [&](long n) {
        // Every parameter but the automated gain and the two crossovers, the
        // switches included. The crossovers are left out because changes
        // this fast are audio-rate modulation, which the equaliser is not
        // built for (crossover_automation_test.cpp covers their automation).
        static const VstInt32 changed[] = {
            kMainDistOn,  kMainDistAmount, kMainDistMix,   kEqOn,           kLowLevel,    kMidLevel,    kHighLevel,
            kMultiDistOn, kLowDistAmount,  kMidDistAmount, kHighDistAmount, kLowDistGain, kMidDistGain, kHighDistGain};
        effect.set(changed[n % (sizeof(changed) / sizeof(changed[0]))], spread(n));
    });

    EXPECT_EQ(audio.blocks, kBlocks);
    EXPECT_GT(changes, 0) << "the second thread made no change while the audio thread ran";
    EXPECT_EQ(audio.nonFiniteSamples, 0) << audio.nonFiniteSamples << " samples not finite, the first in block "
                                         << audio.firstNonFiniteBlock << " (" << changes << " changes made)";
}

TEST(Concurrency, ProgramsChangedFromAnotherThreadWhileProcessingKeepEveryOutputFinite) {
    EffectUnderTest effect;
    ASSERT_NE(effect.record(), nullptr);
    AudioThreadResult audio;
    const long changes = runAlongsideAudio(effect, audio, [&](long n) {
        char text[kVstMaxProgNameLen + 1] = {};
        effect.selectProgram(static_cast<VstInt32>(n % reliability::kProgramCount));
        effect.dispatch(effGetProgramName, 0, 0, text);
        effect.dispatch(effGetParamDisplay, static_cast<VstInt32>(n % kParameterCount), 0, text);
    });

    EXPECT_EQ(audio.blocks, kBlocks);
    EXPECT_GT(changes, 0) << "the second thread changed no program while the audio thread ran";
    EXPECT_EQ(audio.nonFiniteSamples, 0) << audio.nonFiniteSamples << " samples not finite, the first in block "
                                         << audio.firstNonFiniteBlock << " (" << changes << " program changes)";
}

TEST(Concurrency, ProgramNamesReadFromATemporaryInstanceOnAnotherThreadLeaveTheFirstProcessing) {
    EffectUnderTest effect;
    ASSERT_NE(effect.record(), nullptr);
    effect.selectProgram(8);
    std::atomic<long> unopened{0};
    AudioThreadResult audio;
    const long changes = runAlongsideAudio(effect, audio, [&](long n) {
        AEffect* temporary = reliability::openLikeAHost();
        if (temporary == nullptr) {
            ++unopened;
            return;
        }
        char name[kVstMaxProgNameLen + 1] = {};
        temporary->dispatcher(temporary, effOpen, 0, 0, nullptr, 0.0f);
        temporary->dispatcher(temporary, effGetProgramNameIndexed, static_cast<VstInt32>(n % 9), 0, name, 0.0f);
        temporary->dispatcher(temporary, effSetProgram, 0, n % 9, nullptr, 0.0f);
        temporary->dispatcher(temporary, effGetProgramName, 0, 0, name, 0.0f);
        temporary->dispatcher(temporary, effMainsChanged, 0, 0, nullptr, 0.0f);
        reliability::closeLikeAHost(temporary);
    });

    EXPECT_EQ(audio.blocks, kBlocks);
    EXPECT_GT(changes, 0) << "no temporary instance was opened while the audio thread ran";
    EXPECT_EQ(unopened, 0) << unopened << " of " << changes << " temporary instances could not be opened";
    EXPECT_EQ(audio.nonFiniteSamples, 0) << audio.nonFiniteSamples << " samples not finite, the first in block "
                                         << audio.firstNonFiniteBlock;
}
}  // namespace
