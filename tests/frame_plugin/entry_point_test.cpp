// The library's way in, as a host meets it: the exported names, the version
// query, and the record an instance hands out.
#include <cstring>

#include "loaded_plugin.h"

using namespace frame_test;

namespace {

using EntryPoint = LoadedPlugin;

TEST_F(EntryPoint, ExportsOneFunctionUnderBothNames) {
    void* pluginMain = library.symbol("VSTPluginMain");
    ASSERT_NE(pluginMain, nullptr);
    EXPECT_EQ(library.symbol("main"), pluginMain);
}

TEST_F(EntryPoint, AsksTheHostVersionBeforeBuildingAnInstance) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);

    ASSERT_GE(host.calls.size(), 2u);
    const HostCall& query = host.calls[0];
    EXPECT_EQ(query.effect, nullptr);
    EXPECT_EQ(query.opcode, audioMasterVersion);
    EXPECT_EQ(query.index, 0);
    EXPECT_EQ(query.value, 0);
    EXPECT_EQ(query.ptr, nullptr);
    EXPECT_EQ(query.opt, 0.0f);
    EXPECT_EQ(host.calls[1].opcode, kReportOpcode);
    EXPECT_EQ(host.calls[1].index, kConstructed);
}

TEST_F(EntryPoint, HostAnsweringVersionZeroGetsNothing) {
    host.answer(audioMasterVersion, 0);
    EXPECT_EQ(create(), nullptr);
    ASSERT_EQ(host.calls.size(), 1u) << "nothing may be built after the refused version query";
    EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
}

TEST_F(EntryPoint, NullCallbackGetsNothing) {
    EXPECT_EQ(entry(nullptr), nullptr);
}

TEST_F(EntryPoint, FailedConstructionGivesNullAndNothingEscapes) {
    host.answer(kReportOpcode, kRefuseConstruction);
    EXPECT_EQ(create(), nullptr);
    ASSERT_EQ(host.calls.size(), 2u) << "the version query, then the constructor's report";
    EXPECT_EQ(host.calls[1].index, kConstructed);
}

TEST_F(EntryPoint, AnyNonZeroVersionIsAccepted) {
    for (VstIntPtr version : {VstIntPtr{1}, VstIntPtr{2}, VstIntPtr{2400}, VstIntPtr{-1}}) {
        host.answer(audioMasterVersion, version);
        EXPECT_NE(create(), nullptr) << "host version " << version;
    }
}

TEST_F(EntryPoint, EachCallBuildsAnIndependentInstance) {
    AEffect* first = create();
    AEffect* second = create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);

    first->setParameter(first, 0, 0.125f);
    dispatch(second, effSetProgram, 0, 2);
    EXPECT_EQ(close(first), 1);

    EXPECT_EQ(second->getParameter(second, 0), 0.0f);
    EXPECT_EQ(dispatch(second, effGetProgram), 2);
    EXPECT_EQ(dispatch(second, effIdentify), 0x4E764566);
}

using EffectRecord = LoadedPlugin;

TEST_F(EffectRecord, HoldsWhatTheConstructorsSet) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);

    EXPECT_EQ(effect->magic, 0x56737450);  // 'VstP'
    EXPECT_EQ(effect->numPrograms, kNumPrograms);
    EXPECT_EQ(effect->numParams, kNumParams);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, effFlagsCanReplacing);
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_EQ(effect->uniqueID, kUniqueId);
    EXPECT_EQ(effect->version, 1);

    EXPECT_NE(effect->dispatcher, nullptr);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_NE(effect->setParameter, nullptr);
    EXPECT_NE(effect->getParameter, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);

    const char zeros[sizeof(effect->future)] = {};
    EXPECT_EQ(std::memcmp(effect->future, zeros, sizeof(zeros)), 0);
}

TEST_F(EffectRecord, ParameterPointersReachTheInstanceWithIndexAndValueIntact) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);

    const float initial[kNumParams] = {0.0f, 0.25f, 0.5f, 0.75f};
    for (VstInt32 i = 0; i < kNumParams; ++i) {
        EXPECT_EQ(effect->getParameter(effect, i), initial[i]) << "parameter " << i;
    }
    effect->setParameter(effect, 3, 0.3f);
    effect->setParameter(effect, 1, 1.75f);
    EXPECT_EQ(effect->getParameter(effect, 3), 0.3f);
    EXPECT_EQ(effect->getParameter(effect, 1), 1.75f);
    EXPECT_EQ(effect->getParameter(effect, 0), 0.0f);
    EXPECT_EQ(effect->getParameter(effect, 2), 0.5f);
}

TEST_F(EffectRecord, ProcessPointersPassBuffersAndFrameCountThrough) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);

    constexpr int kFrames = 5;
    float inLeft[kFrames + 1] = {1.0f, -2.0f, 4.0f, 0.5f, -8.0f, 100.0f};
    float inRight[kFrames + 1] = {-1.0f, 2.0f, 3.0f, 6.0f, 10.0f, 100.0f};
    float outLeft[kFrames + 1] = {};
    float outRight[kFrames + 1] = {};
    float* inputs[] = {inLeft, inRight};
    float* outputs[] = {outLeft, outRight};

    effect->processReplacing(effect, inputs, outputs, kFrames);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(outLeft[i], inLeft[i] * kGain) << "left frame " << i;
        EXPECT_EQ(outRight[i], inRight[i] * kGain) << "right frame " << i;
    }
    EXPECT_EQ(outLeft[kFrames], 0.0f) << "wrote past the frame count";
    EXPECT_EQ(outRight[kFrames], 0.0f) << "wrote past the frame count";

    // Neither the accumulating nor the double-precision variant is overridden:
    // both must leave the outputs alone.
    float untouched[kFrames] = {7.0f, 7.0f, 7.0f, 7.0f, 7.0f};
    float* floatOutputs[] = {untouched, untouched};
    effect->process(effect, inputs, floatOutputs, kFrames);
    double doubleIn[kFrames] = {1.0, 2.0, 3.0, 4.0, 5.0};
    double doubleOut[kFrames] = {9.0, 9.0, 9.0, 9.0, 9.0};
    double* doubleInputs[] = {doubleIn, doubleIn};
    double* doubleOutputs[] = {doubleOut, doubleOut};
    effect->processDoubleReplacing(effect, doubleInputs, doubleOutputs, kFrames);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(untouched[i], 7.0f);
        EXPECT_EQ(doubleOut[i], 9.0);
    }
}

}  // namespace
