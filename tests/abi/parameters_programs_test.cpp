// Parameters and programs as a host reaches them: the record's parameter
// pointers and dispatcher opcodes 2 to 8.
#include <cmath>
#include <cstdint>

#include "loaded_distortion.h"

namespace {

using ParametersAndPrograms = LoadedDistortion;

std::string paramText(AEffect* effect, VstInt32 opcode, VstInt32 index, std::size_t* written = nullptr) {
    GuardedText buffer;
    EXPECT_EQ(effect->dispatcher(effect, opcode, index, 0, buffer.data(), 0.0f), 0);
    if (written != nullptr) {
        *written = buffer.written();
    }
    return buffer.text();
}

std::string programName(AEffect* effect) {
    GuardedText buffer;
    effect->dispatcher(effect, effGetProgramName, 0, 0, buffer.data(), 0.0f);
    EXPECT_LE(buffer.written(), 24u) << "a program name is at most 24 bytes";
    return buffer.text();
}

TEST_F(ParametersAndPrograms, ParameterTextsWriteExactlyNineBytes) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    for (VstInt32 index = 0; index < 17; ++index) {
        std::size_t nameBytes = 0, labelBytes = 0, displayBytes = 0;
        paramText(effect, effGetParamName, index, &nameBytes);
        paramText(effect, effGetParamLabel, index, &labelBytes);
        paramText(effect, effGetParamDisplay, index, &displayBytes);
        EXPECT_EQ(nameBytes, 9u) << "name of parameter " << index;
        EXPECT_EQ(labelBytes, 9u) << "label of parameter " << index;
        EXPECT_LE(displayBytes, 9u) << "display of parameter " << index;
        EXPECT_GE(displayBytes, 2u) << "display of parameter " << index;
    }
    EXPECT_EQ(paramText(effect, effGetParamName, 10), "Mult.Dis");
    EXPECT_EQ(paramText(effect, effGetParamName, 3), "Mix.Dist");
    EXPECT_EQ(paramText(effect, effGetParamLabel, 5), "Hz");
    EXPECT_EQ(paramText(effect, effGetParamDisplay, 6), "5032");
    EXPECT_EQ(paramText(effect, effGetParamDisplay, 2), "70");
}

TEST_F(ParametersAndPrograms, ValuesRoundTripAndBadIndicesAreIgnored) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    effect->setParameter(effect, 5, 1.5f);
    EXPECT_EQ(effect->getParameter(effect, 5), 1.5f) << "values are stored unclamped";
    EXPECT_EQ(paramText(effect, effGetParamDisplay, 5), "2990");
    effect->setParameter(effect, 0, 0.3f);
    EXPECT_EQ(paramText(effect, effGetParamDisplay, 0), "-7");

    for (VstInt32 bad : {17, -1, INT32_MIN}) {
        effect->setParameter(effect, bad, 0.3f);
        EXPECT_EQ(effect->getParameter(effect, bad), 0.0f) << "index " << bad;
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            std::size_t written = 99;
            paramText(effect, opcode, bad, &written);
            EXPECT_EQ(written, 0u) << "opcode " << opcode << ", index " << bad;
        }
    }
}

TEST_F(ParametersAndPrograms, HostileValuesGiveShortDisplayTexts) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    const float hostile[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3e9f};
    for (VstInt32 index = 0; index < 17; ++index) {
        for (float value : hostile) {
            effect->setParameter(effect, index, value);
            std::size_t written = 0;
            const std::string text = paramText(effect, effGetParamDisplay, index, &written);
            EXPECT_LE(written, 9u) << "parameter " << index << " at " << value << " shows \"" << text << '"';
        }
    }
}

TEST_F(ParametersAndPrograms, TheChosenProgramBecomesCurrentWithItsName) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);
    EXPECT_EQ(programName(effect), "Default!");

    dispatch(effect, effSetProgram, 0, 5);
    EXPECT_EQ(dispatch(effect, effGetProgram), 5);
    EXPECT_EQ(programName(effect), "Dual Distortion!");
    EXPECT_EQ(paramText(effect, effGetParamDisplay, 6), "5221");

    for (VstIntPtr bad : {VstIntPtr{9}, VstIntPtr{-1}, VstIntPtr{100}}) {
        dispatch(effect, effSetProgram, 0, bad);
        EXPECT_EQ(dispatch(effect, effGetProgram), 5) << "program number " << bad;
        EXPECT_EQ(programName(effect), "Dual Distortion!") << "program number " << bad;
        EXPECT_EQ(effect->getParameter(effect, 0), 0.3f) << "program number " << bad;
    }
}

TEST_F(ParametersAndPrograms, ListingProgramNamesByIndexKeepsTheUsersSettings) {
    // A host's preset menu, on a renamed program whose knobs the user turned.
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    dispatch(effect, effSetProgram, 0, 5);
    effect->setParameter(effect, 0, 0.63f);
    std::string renamed = "My dual";
    dispatch(effect, effSetProgramName, 0, 0, renamed.data());
    std::vector<float> before;
    for (VstInt32 index = 0; index < 17; ++index) {
        before.push_back(effect->getParameter(effect, index));
    }

    GuardedText names[9];
    for (VstInt32 program = 0; program < 9; ++program) {
        EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, program, -1, names[program].data()), 1);
    }
    EXPECT_EQ(names[5].text(), "My dual") << "the renamed program's own record";
    EXPECT_EQ(dispatch(effect, effGetProgram), 5);
    for (VstInt32 index = 0; index < 17; ++index) {
        EXPECT_EQ(effect->getParameter(effect, index), before[static_cast<std::size_t>(index)])
            << "parameter " << index;
    }
}

TEST_F(ParametersAndPrograms, HostProgramNamesAreKeptAndLongOnesCut) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    dispatch(effect, effSetProgram, 0, 8);
    std::string shortName = "Live set";
    dispatch(effect, effSetProgramName, 0, 0, shortName.data());
    EXPECT_EQ(programName(effect), "Live set");

    std::string longName = "A program name far longer than any host should send";
    dispatch(effect, effSetProgramName, 0, 0, longName.data());
    EXPECT_EQ(programName(effect), longName.substr(0, 23));
    GuardedText indexed;
    EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 8, -1, indexed.data()), 1);
    EXPECT_EQ(indexed.text(), longName.substr(0, 23));
    EXPECT_EQ(indexed.written(), 24u) << "23 characters and the terminator";

    dispatch(effect, effSetProgram, 0, 1);
    EXPECT_EQ(programName(effect), "Are you scared?");
}

}  // namespace
