// Version-1 opcodes sent through the record's dispatcher of a loaded library,
// checked by what reaches the effect's operations and what comes back.
#include <cstring>
#include <string>

#include "loaded_plugin.h"

using namespace frame_test;

namespace {

class Version1Opcodes : public LoadedPlugin {
protected:
    void SetUp() override {
        LoadedPlugin::SetUp();
        if (!HasFatalFailure()) {
            effect = create();
            ASSERT_NE(effect, nullptr);
            clearReports();
        }
    }

    AEffect* effect = nullptr;
};

TEST_F(Version1Opcodes, ProgramNumbersBelowTheCountReachTheEffect) {
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);

    EXPECT_EQ(dispatch(effect, effSetProgram, 0, kNumPrograms - 1), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), kNumPrograms - 1);
    EXPECT_EQ(dispatch(effect, effSetProgram, 0, 0), 0);
    EXPECT_EQ(dispatch(effect, effGetProgram), 0);

    EXPECT_EQ(reports(effect), (std::vector<Report>{{kProgramSet, kNumPrograms - 1}, {kProgramSet, 0}}));
}

TEST_F(Version1Opcodes, ProgramNumbersAtOrAboveTheCountAreDropped) {
    dispatch(effect, effSetProgram, 0, 1);
    clearReports();

    EXPECT_EQ(dispatch(effect, effSetProgram, 0, kNumPrograms), 0);
    EXPECT_EQ(dispatch(effect, effSetProgram, 0, 1000), 0);
    EXPECT_TRUE(reports(effect).empty());
    EXPECT_EQ(dispatch(effect, effGetProgram), 1);
}

// The bound is a signed comparison: a negative number is not caught by the
// dispatcher but left to the effect's setProgram.
TEST_F(Version1Opcodes, NegativeProgramNumbersAreLeftToTheEffect) {
    dispatch(effect, effSetProgram, 0, -1);
    EXPECT_EQ(reports(effect), (std::vector<Report>{{kProgramSet, -1}}));
}

TEST_F(Version1Opcodes, ProgramNameComesFromTheEffect) {
    dispatch(effect, effSetProgram, 0, 2);
    char name[kVstMaxProgNameLen + 8];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(dispatch(effect, effGetProgramName, 0, 0, name), 0);
    EXPECT_STREQ(name, "Program 2");
}

TEST_F(Version1Opcodes, ParameterNameHonoursTheEightCharacterLimit) {
    char name[kVstMaxParamStrLen + 8];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(dispatch(effect, effGetParamName, 3, 0, name), 0);
    EXPECT_STREQ(name, "Param 3");
    for (std::size_t i = kVstMaxParamStrLen + 1; i < sizeof(name); ++i) {
        EXPECT_EQ(name[i], 'x') << "byte " << i << " written past the limit";
    }
}

TEST_F(Version1Opcodes, IdentifyAnswersNvEf) {
    EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566);
}

TEST_F(Version1Opcodes, OpenReachesTheEffect) {
    EXPECT_EQ(dispatch(effect, effOpen), 0);
    EXPECT_EQ(reports(effect), (std::vector<Report>{{kOpened, 0}}));
}

TEST_F(Version1Opcodes, MainsChangedZeroSuspendsAnyOtherValueResumes) {
    for (VstIntPtr value : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{0}, VstIntPtr{2}, VstIntPtr{-1}}) {
        EXPECT_EQ(dispatch(effect, effMainsChanged, 0, value), 0);
    }
    EXPECT_EQ(reports(effect),
              (std::vector<Report>{{kSuspended, 0}, {kResumed, 0}, {kSuspended, 0}, {kResumed, 0}, {kResumed, 0}}));
}

// The float argument travels in a different place from the integers; on
// 32-bit Windows a calling-convention mismatch shows up here first.
TEST_F(Version1Opcodes, SampleRateAndBlockSizeReachTheEffect) {
    EXPECT_EQ(dispatch(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(dispatch(effect, effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(reports(effect), (std::vector<Report>{{kSampleRateSet, 48000}, {kBlockSizeSet, 512}}));
}

TEST_F(Version1Opcodes, OpcodesWithNothingBehindThemAnswerZero) {
    char buffer[64] = {};
    void* data = buffer;
    EXPECT_EQ(dispatch(effect, effGetVu), 0);
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &data), 0);
    EXPECT_EQ(dispatch(effect, effEditOpen), 0);
    EXPECT_EQ(dispatch(effect, effEditIdle), 0);
    EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, sizeof(buffer), buffer), 0);
    EXPECT_EQ(dispatch(effect, -1), 0);
    EXPECT_EQ(dispatch(effect, 1000), 0);
    EXPECT_TRUE(reports(effect).empty());
}

TEST_F(Version1Opcodes, CloseRunsCloseThenDestroysAndAnswersOne) {
    EXPECT_EQ(close(effect), 1);
    EXPECT_EQ(reports(effect), (std::vector<Report>{{kClosed, 0}, {kDestroyed, 0}}));
}

}  // namespace
