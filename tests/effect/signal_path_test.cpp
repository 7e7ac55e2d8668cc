#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "distortion_k.h"
#include "effect_driver.h"
#include "opcodes.h"

namespace {

// Starts from program 0 with both stages off, so each test switches on only
// what it looks at.
class SignalPath : public ::testing::Test {
protected:
    SignalPath() { configure(effect, {{kMainDistOn, 0.0f}, {kEqOn, 0.0f}, {kMultiDistOn, 0.0f}}); }

    // The band split with the constructor's crossover settings.
    void equaliserAtConstructorCrossovers() {
        configure(effect, {{kEqOn, 1.0f}, {kLowMidCrossover, 0.25f}, {kMidHighCrossover, 0.2f}});
    }

    DistortionK effect{nullptr};
};

// A level this far below 0 gives a factor near 1e-21: the band vanishes from
// the sum, so one band can be watched on its own.
constexpr float kMuted = -10.0f;

void expectSamples(const std::vector<float>& actual, std::initializer_list<double> expected, double relTolerance) {
    std::size_t i = 0;
    for (double e : expected) {
        EXPECT_NEAR(actual[i], e, std::fabs(e) * relTolerance) << "sample " << i;
        ++i;
    }
}

}  // namespace

TEST_F(SignalPath, PassesAudioUnchangedAtUnityGainWithBothStagesOff) {
    const std::vector<float> in = noise(512);
    const std::vector<float> out = run(effect, in);
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(out[i], in[i]) << "sample " << i;
    }
}

TEST_F(SignalPath, MainDistortionGivesTheWorkedValues) {
    configure(effect, {{kMainDistOn, 1.0f}, {kMainDistAmount, 1.0f}, {kMainDistMix, 1.0f}});
    expectSamples(run(effect, {0.5f, -0.5f, 0.0f, 1.0f, -1.0f}), {0.933033, -0.933033, 0.0, 1.0, -1.0}, 1e-6);

    configure(effect, {{kMainDistMix, 0.5f}});
    expectSamples(run(effect, {0.5f}), {0.716516}, 1e-6);

    configure(effect, {{kMainDistMix, 0.0f}});
    EXPECT_EQ(run(effect, {0.5f})[0], 0.5f);
}

TEST_F(SignalPath, SmallDistortionAmountsChangeNothingWhateverTheMix) {
    const std::vector<float> in = noise(256);
    for (float amount : {0.0f, 0.05f, 0.1f}) {
        configure(effect, {{kMainDistOn, 1.0f}, {kMainDistAmount, amount}, {kMainDistMix, 0.37f}});
        const std::vector<float> out = run(effect, in);
        for (std::size_t i = 0; i < in.size(); ++i) {
            ASSERT_EQ(out[i], in[i]) << "amount " << amount << ", sample " << i;
        }
    }
}

TEST_F(SignalPath, EverySwitchTurnsOnAtExactlyOneHalf) {
    // Each switch in a setting where it changes the output: just below 0.5
    // it must give exactly what 0 gives, at 0.5 exactly what 1 gives.
    const struct {
        VstInt32 index;
        const char* name;
        std::vector<ParameterValue> setting;
    } switches[] = {
        {kMainDistOn, "K.Dist", {{kMainDistAmount, 1.0f}, {kMainDistMix, 1.0f}}},
        {kEqOn, "EQ", {{kLowLevel, 0.0f}, {kMidLevel, 0.0f}, {kHighLevel, 0.0f}}},
        {kMultiDistOn,
         "Mult.Dist",
         {{kEqOn, 1.0f}, {kLowDistAmount, 1.0f}, {kMidDistAmount, 0.8f}, {kHighDistAmount, 0.6f}}},
    };
    const std::vector<float> in = noise(64);
    for (const auto& s : switches) {
        const auto outputAt = [&](float value) {
            DistortionK fresh{nullptr};
            configure(fresh, {{kMainDistOn, 0.0f}, {kEqOn, 0.0f}, {kMultiDistOn, 0.0f}});
            for (const ParameterValue& p : s.setting) {
                fresh.setParameter(p.index, p.value);
            }
            fresh.setParameter(s.index, value);
            return run(fresh, in);
        };
        const std::vector<float> off = outputAt(0.0f);
        const std::vector<float> on = outputAt(1.0f);
        ASSERT_NE(off, on) << s.name << " changes nothing in its test setting";
        EXPECT_EQ(outputAt(std::nextafter(0.5f, 0.0f)), off) << s.name << " just below 0.5 must be off";
        EXPECT_EQ(outputAt(0.5f), on) << s.name << " at exactly 0.5 must be on";
    }
}

TEST_F(SignalPath, LevelToGainMapsTheDecibelRangeToLinearFactors) {
    EXPECT_FLOAT_EQ(effect.levelToGain(0.0f), 0.1f);
    EXPECT_EQ(effect.levelToGain(0.5f), 1.0f);
    EXPECT_FLOAT_EQ(effect.levelToGain(1.0f), 10.0f);
    EXPECT_FLOAT_EQ(effect.levelToGain(0.75f), std::sqrt(10.0f));

    configure(effect, {{kGain, 0.0f}});
    EXPECT_FLOAT_EQ(run(effect, {0.5f})[0], 0.05f) << "input gain at 0 is -20 dB, not silence";

    // The signal path asks the effect's own operation, through the table,
    // for every gain and level.
    struct ThreeTimes : DistortionK {
        ThreeTimes() : DistortionK(nullptr) {}
        float levelToGain(float level) override { return 3.0f * level; }
    } derived;
    configure(derived, {{kMainDistOn, 0.0f}, {kGain, 0.5f}, {kEqOn, 1.0f}, {kMultiDistOn, 1.0f}});
    configure(derived, {{kLowDistAmount, 0.0f}, {kMidDistAmount, 0.0f}, {kHighDistAmount, 0.0f}});
    for (const VstInt32 index : {kLowLevel, kMidLevel, kHighLevel, kLowDistGain, kMidDistGain, kHighDistGain}) {
        derived.setParameter(index, 1.0f / 3.0f);
    }
    EXPECT_NEAR(run(derived, std::vector<float>(2000, 0.5f)).back(), 0.75f, 1e-6f);
}

TEST_F(SignalPath, BothSectionsGiveTheirWorkedImpulseResponses) {
    equaliserAtConstructorCrossovers();
    configure(effect, {{kLowLevel, 0.5f}, {kMidLevel, kMuted}, {kHighLevel, kMuted}});
    expectSamples(run(effect, impulse(4)), {0.00113923, 0.00447615, 0.00871055, 0.0126244}, 1e-5);

    DistortionK other{nullptr};
    configure(other, {{kMainDistOn, 0.0f}, {kEqOn, 1.0f}, {kLowMidCrossover, 0.25f}, {kMidHighCrossover, 0.2f}});
    configure(other, {{kLowLevel, kMuted}, {kMidLevel, kMuted}, {kHighLevel, 0.5f}});
    expectSamples(run(other, impulse(4)), {0.947062, -0.179474, -0.270582, -0.268133}, 1e-5);
}

TEST_F(SignalPath, MidAndHighAtLevelZeroLeaveATenthOfTheirShare) {
    equaliserAtConstructorCrossovers();
    configure(effect, {{kLowLevel, 0.5f}, {kMidLevel, 0.0f}, {kHighLevel, 0.0f}});
    expectSamples(run(effect, impulse(4)), {0.101025, 0.00402854, 0.00783949, 0.0113619}, 1e-5);
}

TEST_F(SignalPath, TheThreeBandsSumBackToTheGainedSignal) {
    for (float lowMid : {0.0f, 0.25f, 1.0f}) {
        for (float midHigh : {0.0f, 0.2f, 1.0f}) {
            DistortionK fresh{nullptr};
            configure(fresh, {{kMainDistOn, 0.0f}, {kGain, 0.75f}, {kEqOn, 1.0f}, {kMultiDistOn, 0.0f}});
            configure(fresh, {{kLowMidCrossover, lowMid}, {kMidHighCrossover, midHigh}});
            const std::vector<float> in = noise(2000);
            const std::vector<float> out = run(fresh, in);
            const float g = fresh.levelToGain(0.75f);
            for (std::size_t i = 0; i < in.size(); ++i) {
                ASSERT_NEAR(out[i], g * in[i], 2e-6f)
                    << "crossovers " << lowMid << " / " << midHigh << ", sample " << i;
            }
        }
    }
}

TEST_F(SignalPath, PerBandStageAtZeroAmountAndUnityGainChangesNothing) {
    equaliserAtConstructorCrossovers();
    configure(effect, {{kLowLevel, 0.8f}, {kMidLevel, 0.3f}, {kHighLevel, 0.6f}, {kMultiDistOn, 0.0f}});
    DistortionK withStage{nullptr};
    copySettings(effect, withStage);
    configure(withStage, {{kMultiDistOn, 1.0f}, {kLowDistAmount, 0.0f}, {kMidDistAmount, 0.05f}});
    configure(withStage, {{kHighDistAmount, 0.1f}, {kLowDistGain, 0.5f}, {kMidDistGain, 0.5f}, {kHighDistGain, 0.5f}});

    const std::vector<float> in = noise(1000);
    const std::vector<float> plain = run(effect, in);
    const std::vector<float> staged = run(withStage, in);
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(staged[i], plain[i]) << "sample " << i;
    }
}

TEST_F(SignalPath, PerBandDistortionShapesTheLowBandOfASteadyLevel) {
    // A steady level ends up entirely in the low band, which the low band's
    // power law with exponent 0.1 lifts from 0.5 to 0.933033.
    equaliserAtConstructorCrossovers();
    configure(effect, {{kMultiDistOn, 1.0f}, {kLowDistAmount, 1.0f}, {kMidDistAmount, 0.0f}, {kHighDistAmount, 0.0f}});
    configure(effect, {{kLowDistGain, 0.5f}, {kMidDistGain, 0.5f}, {kHighDistGain, 0.5f}});
    EXPECT_NEAR(run(effect, std::vector<float>(40000, 0.5f)).back(), 0.933033f, 1e-4);

    configure(effect, {{kLowDistGain, 1.0f}});
    EXPECT_NEAR(run(effect, std::vector<float>(10, 0.5f)).back(), 9.33033f, 1e-3) << "low band gain +20 dB";
}

TEST_F(SignalPath, WithTheEqualiserOffBandSettingsHaveNoEffect) {
    configure(effect, {{kGain, 0.6f}, {kMultiDistOn, 1.0f}, {kLowDistAmount, 0.9f}, {kLowLevel, 0.1f}});
    configure(effect, {{kMidLevel, 0.9f}, {kHighLevel, 0.0f}, {kLowMidCrossover, 0.8f}, {kMidHighCrossover, 0.1f}});
    const std::vector<float> in = noise(300);
    const std::vector<float> out = run(effect, in);
    const float g = effect.levelToGain(0.6f);
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_EQ(out[i], static_cast<float>(static_cast<double>(g) * in[i])) << "sample " << i;
    }
}

TEST_F(SignalPath, FilterMemoriesWaitWhileTheEqualiserIsOffAndSurviveAResume) {
    const std::vector<float> first = noise(300, 0.8f, 1);
    const std::vector<float> gap = noise(200, 0.8f, 2);
    const std::vector<float> last = noise(300, 0.8f, 3);

    DistortionK reference{nullptr};
    configure(reference, {{kMainDistOn, 0.0f}, {kEqOn, 1.0f}, {kMidLevel, 0.9f}});
    run(reference, first);
    const std::vector<float> expected = run(reference, last);

    configure(effect, {{kEqOn, 1.0f}, {kMidLevel, 0.9f}});
    run(effect, first);
    configure(effect, {{kEqOn, 0.0f}});
    run(effect, gap);
    effect.getAeffect()->dispatcher(effect.getAeffect(), effMainsChanged, 0, 0, nullptr, 0.0f);
    effect.getAeffect()->dispatcher(effect.getAeffect(), effMainsChanged, 0, 1, nullptr, 0.0f);
    effect.resume();
    configure(effect, {{kEqOn, 1.0f}});
    const std::vector<float> out = run(effect, last);
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], expected[i]) << "sample " << i << " after the pause";
    }
}

TEST_F(SignalPath, TheHostSampleRateDoesNotChangeTheOutput) {
    configure(effect, {{kMainDistOn, 1.0f}, {kEqOn, 1.0f}, {kMultiDistOn, 1.0f}});
    DistortionK other{nullptr};
    copySettings(effect, other);
    other.setSampleRate(96000.0f);
    const std::vector<float> in = noise(500);
    EXPECT_EQ(run(effect, in), run(other, in));
}

TEST_F(SignalPath, BothOutputsGetTheSameSamplesAndANullSecondOutputIsSkipped) {
    configure(effect, {{kMainDistOn, 1.0f}, {kEqOn, 1.0f}});
    std::vector<float> in = noise(64);
    std::vector<float> left(64, 7.0f), right(64, 7.0f);
    float* inputs[1] = {in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect.processReplacing(inputs, outputs, 64);
    EXPECT_EQ(left, right);

    DistortionK other{nullptr};
    configure(other, {{kMainDistOn, 1.0f}, {kEqOn, 1.0f}});
    std::vector<float> only(64, 7.0f);
    float* single[2] = {only.data(), nullptr};
    other.processReplacing(inputs, single, 64);
    EXPECT_EQ(only, left);
}

TEST_F(SignalPath, ProcessingInPlaceGivesTheSameResultAsSeparateBuffers) {
    configure(effect, {{kMainDistOn, 1.0f}, {kEqOn, 1.0f}, {kMultiDistOn, 1.0f}});
    DistortionK other{nullptr};
    copySettings(effect, other);
    const std::vector<float> in = noise(256);
    const std::vector<float> separate = run(effect, in);

    std::vector<float> buffer = in;
    float* inputs[1] = {buffer.data()};
    float* outputs[2] = {buffer.data(), nullptr};
    other.processReplacing(inputs, outputs, 256);
    EXPECT_EQ(buffer, separate);
}

TEST_F(SignalPath, CountsOfZeroAndBelowWriteNothingAndKeepTheFilterState) {
    configure(effect, {{kEqOn, 1.0f}});
    DistortionK reference{nullptr};
    configure(reference, {{kMainDistOn, 0.0f}, {kEqOn, 1.0f}});

    for (VstInt32 count : {0, -1, -512, INT32_MIN}) {
        std::vector<float> in(4, 0.25f), left(4, 3.0f), right(4, 3.0f);
        float* inputs[1] = {in.data()};
        float* outputs[2] = {left.data(), right.data()};
        effect.processReplacing(inputs, outputs, count);
        EXPECT_EQ(left, std::vector<float>(4, 3.0f)) << "count " << count;
        EXPECT_EQ(right, std::vector<float>(4, 3.0f)) << "count " << count;
    }
    EXPECT_EQ(run(effect, impulse(32)), run(reference, impulse(32)));
}

TEST_F(SignalPath, RecoversFromNonFiniteInputInsteadOfLatching) {
    configure(effect, {{kEqOn, 1.0f}, {kMidLevel, 0.8f}, {kMultiDistOn, 1.0f}});
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        std::vector<float> in = noise(100);
        in[50] = bad;
        const std::vector<float> out = run(effect, in);
        EXPECT_FALSE(std::isfinite(out[50])) << "the bad sample itself, input " << bad;
        for (std::size_t i = 51; i < out.size(); ++i) {
            ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i << " after input " << bad;
        }
    }

    // Once the memories have been cleared, silence gives silence and an
    // impulse gives the same response as a fresh instance.
    std::vector<float> in(10, 0.0f);
    in[0] = NAN;
    run(effect, in);
    DistortionK fresh{nullptr};
    copySettings(effect, fresh);
    EXPECT_EQ(run(effect, impulse(64)), run(fresh, impulse(64)));
}

TEST_F(SignalPath, CrossoverValuesFarOutOfRangeNeverLeaveTheOutputStuck) {
    // 1.8663 puts the mid-high section's angle near 3*pi/2, where it is unstable.
    configure(effect, {{kEqOn, 1.0f}, {kMidHighCrossover, 1.8663f}});
    const std::vector<float> wild = run(effect, noise(4000));
    int nonFinite = 0;
    for (float s : wild) {
        nonFinite += std::isfinite(s) ? 0 : 1;
    }
    EXPECT_GT(nonFinite, 0) << "the runaway section was expected to overflow at least once";
    EXPECT_LT(nonFinite, 100) << "overflows should be isolated samples, not a latched state";

    configure(effect, {{kMidHighCrossover, 0.2f}});
    run(effect, noise(4000));
    const std::vector<float> calm = run(effect, noise(500));
    for (std::size_t i = 0; i < calm.size(); ++i) {
        ASSERT_LT(std::fabs(calm[i]), 2.0f) << "sample " << i << " after the crossover is back in range";
    }
}

TEST_F(SignalPath, SilenceGivesSilenceInEveryFactoryProgram) {
    for (VstInt32 program = 0; program < 9; ++program) {
        DistortionK fresh{nullptr};
        fresh.setProgram(program);
        const std::vector<float> out = run(fresh, std::vector<float>(256, 0.0f));
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0.0f) << "program " << program << ", sample " << i;
        }
    }
}
