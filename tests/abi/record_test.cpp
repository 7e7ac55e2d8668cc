// The entry point and the record a host receives from it.
#include <cstdint>

#include "loaded_distortion.h"

namespace {

using EntryAndRecord = LoadedDistortion;

TEST_F(EntryAndRecord, ExportsOneFunctionUnderBothNames) {
    void* pluginMain = library.symbol("VSTPluginMain");
    ASSERT_NE(pluginMain, nullptr);
    EXPECT_EQ(library.symbol("main"), pluginMain);
}

TEST_F(EntryAndRecord, RecordHoldsTheEffectShapeFieldByField) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->magic, 0x56737450) << "'VstP'";
    EXPECT_NE(effect->dispatcher, nullptr);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_NE(effect->setParameter, nullptr);
    EXPECT_NE(effect->getParameter, nullptr);
    EXPECT_EQ(effect->numPrograms, 9);
    EXPECT_EQ(effect->numParams, 17);
    EXPECT_EQ(effect->numInputs, 2);
    EXPECT_EQ(effect->numOutputs, 2);
    EXPECT_EQ(effect->flags, 0x10) << "replacing processing only";
    EXPECT_EQ(effect->resvd1, 0);
    EXPECT_EQ(effect->resvd2, 0);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->realQualities, 0);
    EXPECT_EQ(effect->offQualities, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_NE(effect->object, nullptr);
    EXPECT_EQ(effect->user, nullptr);
    EXPECT_EQ(effect->uniqueID, 0x4B727678) << "'Krvx'";
    EXPECT_EQ(effect->version, 1);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->processDoubleReplacing, nullptr);
    for (std::size_t i = 0; i < sizeof(effect->future); ++i) {
        EXPECT_EQ(effect->future[i], 0) << "future byte " << i;
    }

    // Four-character codes sit in memory last character first.
    const auto* bytes = reinterpret_cast<const unsigned char*>(effect);
    EXPECT_EQ(std::string(bytes, bytes + 4), "PtsV");
    const auto* id = reinterpret_cast<const unsigned char*>(&effect->uniqueID);
    EXPECT_EQ(std::string(id, id + 4), "xvrK");
}

TEST_F(EntryAndRecord, TheHostIsOnlyEverAskedForItsVersion) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    std::vector<float> in(64, 0.25f), left(64), right(64);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    dispatch(effect, effOpen);
    dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    dispatch(effect, effSetBlockSize, 0, 64);
    dispatch(effect, effMainsChanged, 0, 1);
    for (VstInt32 program = 0; program < 9; ++program) {
        dispatch(effect, effSetProgram, 0, program);
        effect->setParameter(effect, 4, 1.0f);
        effect->processReplacing(effect, inputs, outputs, 64);
    }
    dispatch(effect, effMainsChanged, 0, 0);
    EXPECT_EQ(close(effect), 1);

    ASSERT_EQ(host.calls.size(), 1u) << "first unexpected opcode: "
                                     << (host.calls.size() > 1 ? host.calls[1].opcode : -1);
    EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(host.calls[0].effect, nullptr);
}

TEST_F(EntryAndRecord, AHostAnsweringVersionZeroGetsNothing) {
    host.answer(audioMasterVersion, 0);
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(host.calls.size(), 1u);

    host.answer(audioMasterVersion, 2);
    EXPECT_NE(create(), nullptr) << "any non-zero version is accepted";
}

TEST_F(EntryAndRecord, TwoInstancesAreIndependent) {
    AEffect* first = create();
    AEffect* second = create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->object, second->object);

    first->setParameter(first, 0, 0.9f);
    dispatch(second, effSetProgram, 0, 3);
    EXPECT_EQ(first->getParameter(first, 0), 0.9f);
    EXPECT_EQ(second->getParameter(second, 0), 0.3f);
    EXPECT_EQ(dispatch(first, effGetProgram), 0);
    EXPECT_EQ(dispatch(second, effGetProgram), 3);

    EXPECT_EQ(close(first), 1);
    GuardedText name;
    dispatch(second, effGetProgramName, 0, 0, name.data());
    EXPECT_EQ(name.text(), "Brutal Distortion!");
    std::vector<float> in(16, 0.5f), out(16, 0.0f);
    float* inputs[1] = {in.data()};
    float* outputs[2] = {out.data(), nullptr};
    second->processReplacing(second, inputs, outputs, 16);
    EXPECT_NE(out[15], 0.0f) << "the remaining instance still processes";
}

TEST_F(EntryAndRecord, CreatingAndClosingManyInstancesLeavesNothingBehind) {
    // In the sanitizer build, LeakSanitizer reports whatever closing left.
    for (int i = 0; i < 1000; ++i) {
        AEffect* effect = entry(RecordingHost::callback);
        ASSERT_NE(effect, nullptr) << "instance " << i;
        dispatch(effect, effSetProgram, 0, i % 9);
        ASSERT_EQ(dispatch(effect, effClose), 1) << "instance " << i;
    }
}

}  // namespace
