// Audio through the record's three process pointers.
#include <cmath>

#include "loaded_distortion.h"
#include "parameter_index.h"

namespace {

using Audio = LoadedDistortion;

void setAll(AEffect* effect, std::initializer_list<std::pair<VstInt32, float>> values) {
    for (const auto& [index, value] : values) {
        effect->setParameter(effect, index, value);
    }
}

TEST_F(Audio, ReplacingProcessGivesTheWorkedDistortionOnBothOutputs) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    setAll(effect, {{kMainDistOn, 1.0f}, {kMainDistAmount, 1.0f}, {kMainDistMix, 1.0f}});
    std::vector<float> in = {0.5f, -0.5f, 0.0f, 1.0f};
    std::vector<float> left(4, 9.0f), right(4, 9.0f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect->processReplacing(effect, inputs, outputs, 4);
    const float expected[] = {0.933033f, -0.933033f, 0.0f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(left[i], expected[i], 1e-6) << "sample " << i;
        EXPECT_EQ(right[i], left[i]) << "sample " << i;
    }

    setAll(effect, {{kMainDistMix, 0.5f}});
    std::vector<float> alone(1, 9.0f);
    float* single[2] = {alone.data(), nullptr};
    effect->processReplacing(effect, inputs, single, 1);
    EXPECT_NEAR(alone[0], 0.716516f, 1e-6) << "with a null second output";
}

TEST_F(Audio, TheBandSplitGivesTheWorkedLevelZeroResponse) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    setAll(effect, {{kGain, 0.5f},
                    {kMainDistOn, 0.0f},
                    {kEqOn, 1.0f},
                    {kMultiDistOn, 0.0f},
                    {kLowMidCrossover, 0.25f},
                    {kMidHighCrossover, 0.2f}});
    setAll(effect, {{kLowLevel, 0.5f}, {kMidLevel, 0.0f}, {kHighLevel, 0.0f}});
    std::vector<float> buffer = {1.0f, 0.0f, 0.0f, 0.0f};
    float* inputs[1] = {buffer.data()};
    float* outputs[2] = {buffer.data(), nullptr};
    effect->processReplacing(effect, inputs, outputs, 4);
    const double expected[] = {0.101025, 0.00402854, 0.00783949, 0.0113619};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(buffer[i], expected[i], expected[i] * 1e-5) << "sample " << i << ", processed in place";
    }
}

TEST_F(Audio, AccumulatingAndDoublePrecisionProcessingLeaveOutputsUntouched) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->flags & effFlagsCanDoubleReplacing, 0);

    std::vector<float> in(32, 0.5f), left(32, 2.0f), right(32, 3.0f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    effect->process(effect, inputs, outputs, 32);
    EXPECT_EQ(left, std::vector<float>(32, 2.0f));
    EXPECT_EQ(right, std::vector<float>(32, 3.0f));

    std::vector<double> din(32, 0.5), dleft(32, 2.0), dright(32, 3.0);
    double* dinputs[2] = {din.data(), din.data()};
    double* doutputs[2] = {dleft.data(), dright.data()};
    effect->processDoubleReplacing(effect, dinputs, doutputs, 32);
    EXPECT_EQ(dleft, std::vector<double>(32, 2.0));
    EXPECT_EQ(dright, std::vector<double>(32, 3.0));
}

TEST_F(Audio, NonFiniteInputDoesNotLatchTheFilters) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    dispatch(effect, effSetProgram, 0, 5);
    std::vector<float> in(256, 0.25f), out(256, 0.0f);
    in[10] = NAN;
    in[20] = INFINITY;
    float* inputs[1] = {in.data()};
    float* outputs[2] = {out.data(), nullptr};
    effect->processReplacing(effect, inputs, outputs, 256);
    for (std::size_t i = 21; i < out.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i;
    }
}

}  // namespace
