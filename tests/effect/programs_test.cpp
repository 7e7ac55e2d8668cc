#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "distortion_k.h"
#include "effect_driver.h"
#include "opcodes.h"

namespace {

constexpr const char* kProgramNames[9] = {
    "Default!",         "Are you scared?",    "Now we are sounding!", "Brutal Distortion!",  "Acoustic Mult Dist!",
    "Dual Distortion!", "Multiband LowDist!", "Multiband MidDist!",   "Multiband HighDist!",
};

VstIntPtr dispatch(DistortionK& effect, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return effect.getAeffect()->dispatcher(effect.getAeffect(), opcode, 0, value, ptr, 0.0f);
}

// The host's view: the program name through effGetProgramName into a guarded
// 24-byte buffer; the terminator must land inside the 24 bytes.
std::string programName(DistortionK& effect) {
    std::array<char, 40> buffer;
    buffer.fill('\x7f');
    dispatch(effect, effGetProgramName, 0, buffer.data());
    for (std::size_t i = 24; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], '\x7f') << "byte " << i << " beyond the 24-byte name was written";
    }
    return std::string(buffer.data());
}

std::string display(DistortionK& effect, VstInt32 index) {
    char text[16] = {};
    effect.getParameterDisplay(index, text);
    return text;
}

std::array<float, kParameterCount> snapshot(DistortionK& effect) {
    std::array<float, kParameterCount> values{};
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        values[i] = effect.getParameter(i);
    }
    return values;
}

}  // namespace

TEST(FactoryPrograms, AfterConstructionProgramZeroIsCurrentAndNamed) {
    DistortionK effect{nullptr};
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);
    EXPECT_EQ(programName(effect), "Default!");
    EXPECT_EQ(display(effect, kMainDistAmount), "70");
    EXPECT_EQ(display(effect, kMidHighCrossover), "5032");
    EXPECT_EQ(effect.getParameter(kMainDistOn), 0.5f) << "the switch is on yet displays 0";
    EXPECT_EQ(display(effect, kMainDistOn), "0");
}

TEST(FactoryPrograms, SelectingAProgramWritesAllSeventeenParametersAndItsName) {
    for (VstInt32 program = 0; program < 9; ++program) {
        DistortionK effect{nullptr};
        for (VstInt32 i = 0; i < kParameterCount; ++i) {
            effect.setParameter(i, 123.0f);
        }
        dispatch(effect, effSetProgram, program);
        for (VstInt32 i = 0; i < kParameterCount; ++i) {
            EXPECT_NE(effect.getParameter(i), 123.0f) << "program " << program << " left parameter " << i;
            EXPECT_GE(effect.getParameter(i), 0.0f) << "program " << program << ", parameter " << i;
            EXPECT_LE(effect.getParameter(i), 1.0f) << "program " << program << ", parameter " << i;
        }
        EXPECT_EQ(programName(effect), kProgramNames[program]) << "program " << program;
        EXPECT_EQ(dispatch(effect, effGetProgram), program) << "the host's choice becomes the current program";
    }
}

TEST(FactoryPrograms, ProgramsShowTheirDocumentedSettings) {
    DistortionK effect{nullptr};
    effect.setProgram(5);
    EXPECT_EQ(display(effect, kGain), "-7");
    EXPECT_EQ(display(effect, kMidHighCrossover), "5221");
    EXPECT_EQ(display(effect, kHighDistAmount), "51");
    EXPECT_EQ(display(effect, kHighDistGain), "-3");

    effect.setProgram(4);
    EXPECT_EQ(display(effect, kLowMidCrossover), "271");
    EXPECT_EQ(display(effect, kLowDistGain), "-2");

    for (VstInt32 program = 0; program < 4; ++program) {
        effect.setProgram(program);
        EXPECT_EQ(effect.getParameter(kMainDistOn), 0.5f) << "program " << program;
        EXPECT_LT(effect.getParameter(kEqOn), 0.5f) << "program " << program;
    }
}

TEST(FactoryPrograms, ReturningToProgramZeroRestoresEveryValue) {
    DistortionK fresh{nullptr};
    DistortionK effect{nullptr};
    effect.setProgram(8);
    EXPECT_NE(snapshot(effect), snapshot(fresh));
    effect.setProgram(0);
    EXPECT_EQ(snapshot(effect), snapshot(fresh));
    EXPECT_EQ(programName(effect), "Default!");
}

TEST(FactoryPrograms, NumbersOutsideTheNineChangeNothing) {
    DistortionK effect{nullptr};
    effect.setProgram(2);
    effect.setParameter(kGain, 0.123f);
    const std::array<float, kParameterCount> before = snapshot(effect);

    dispatch(effect, effSetProgram, 9);
    dispatch(effect, effSetProgram, -1);
    for (VstInt32 bad : {9, 10, -1, INT32_MIN}) {
        effect.setProgram(bad);
    }
    EXPECT_EQ(snapshot(effect), before);
    EXPECT_EQ(programName(effect), "Now we are sounding!");
    EXPECT_EQ(dispatch(effect, effGetProgram), 2);
}

TEST(ProgramNames, AHostNameIsKeptUntilTheNextProgramChange) {
    DistortionK effect{nullptr};
    char name[] = "My Crunch";
    dispatch(effect, effSetProgramName, 0, name);
    EXPECT_EQ(programName(effect), "My Crunch");
    effect.setParameter(kGain, 0.9f);
    EXPECT_EQ(programName(effect), "My Crunch") << "parameter changes keep the name";

    dispatch(effect, effSetProgram, 3);
    EXPECT_EQ(programName(effect), "Brutal Distortion!");
}

TEST(ProgramNames, EachProgramKeepsItsOwnName) {
    DistortionK effect{nullptr};
    effect.setProgram(8);
    char mine[] = "Eight";
    effect.setProgramName(mine);
    effect.setProgram(7);
    EXPECT_EQ(programName(effect), "Multiband MidDist!");
    char other[] = "Seven";
    effect.setProgramName(other);
    EXPECT_EQ(programName(effect), "Seven");
}

// An effect built on this one that watches the names it is given.
class NameWatchingDistortion : public DistortionK {
public:
    using DistortionK::DistortionK;
    void setProgramName(char* name) override {
        seen.emplace_back(name);
        DistortionK::setProgramName(name);
    }
    std::vector<std::string> seen;
};

TEST(ProgramNames, SelectingAProgramNamesItThroughTheOverridableOperation) {
    NameWatchingDistortion effect{nullptr};
    effect.setProgram(3);
    dispatch(effect, effSetProgram, 6);
    EXPECT_EQ(effect.seen, (std::vector<std::string>{"Brutal Distortion!", "Multiband LowDist!"}));
    EXPECT_EQ(programName(effect), "Multiband LowDist!");
}

TEST(ProgramNames, ALongHostNameIsCutToTwentyThreeCharacters) {
    DistortionK effect{nullptr};
    // The last program's record ends the table, so a write past the name
    // would leave the allocation (AddressSanitizer reports it).
    effect.setProgram(8);
    char longName[] = "An exceedingly long program name from a host";
    effect.setProgramName(longName);
    EXPECT_EQ(programName(effect), std::string(longName, 23));

    char exact[] = "Exactly twenty-three ch";
    effect.setProgramName(exact);
    EXPECT_EQ(programName(effect), exact);
}

TEST(ProgramNames, ResumeKeepsTheNameAndTheParameters) {
    DistortionK effect{nullptr};
    effect.setProgram(6);
    effect.setParameter(kHighLevel, 0.77f);
    char name[] = "Kept";
    effect.setProgramName(name);
    const std::array<float, kParameterCount> before = snapshot(effect);
    dispatch(effect, effMainsChanged, 0);
    dispatch(effect, effMainsChanged, 1);
    EXPECT_EQ(snapshot(effect), before);
    EXPECT_EQ(programName(effect), "Kept");
}
