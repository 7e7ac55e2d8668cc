#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "distortion_k.h"
#include "effect_driver.h"
#include "opcodes.h"
#include "plugin_factory.h"
#include "recording_host.h"

namespace {

VstIntPtr dispatch(DistortionK& effect, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
    return effect.getAeffect()->dispatcher(effect.getAeffect(), opcode, 0, value, ptr, 0.0f);
}

}  // namespace

TEST(EffectInstance, AnnouncesItsShapeInTheRecord) {
    DistortionK effect{nullptr};
    const AEffect& record = *effect.getAeffect();
    EXPECT_EQ(record.numPrograms, 9);
    EXPECT_EQ(record.numParams, 17);
    EXPECT_EQ(record.numInputs, 2);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.uniqueID, 0x4B727678) << "'Krvx' with K in the most significant byte";
    EXPECT_EQ(record.flags, effFlagsCanReplacing) << "replacing only; no double precision";
    EXPECT_EQ(record.object, static_cast<AudioEffect*>(&effect));
}

TEST(EffectInstance, IdentityTextsFillTheirWholeBuffers) {
    DistortionK effect{nullptr};
    const struct {
        VstInt32 opcode;
        const char* text;
        std::size_t bytes;
    } cases[] = {
        {effGetEffectName, "Distortion", 33},
        {effGetVendorString, "Velkaro", 65},
        {effGetProductString, "K Distortion", 65},
    };
    for (const auto& c : cases) {
        std::array<char, 100> buffer;
        buffer.fill('\x7f');
        EXPECT_EQ(dispatch(effect, c.opcode, 0, buffer.data()), 1) << "opcode " << c.opcode;
        EXPECT_STREQ(buffer.data(), c.text);
        for (std::size_t i = std::strlen(c.text); i < c.bytes; ++i) {
            ASSERT_EQ(buffer[i], 0) << "byte " << i << " for opcode " << c.opcode;
        }
        for (std::size_t i = c.bytes; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], '\x7f') << "byte " << i << " for opcode " << c.opcode << " is beyond the limit";
        }
    }
    EXPECT_EQ(effect.getVendorVersion(), 1000);
    EXPECT_EQ(dispatch(effect, effGetVendorVersion), 1000);
}

TEST(EffectInstance, NeverCallsTheHost) {
    RecordingHost host;
    AudioEffect* created = createEffectInstance(RecordingHost::callback);
    ASSERT_NE(created, nullptr);
    auto& effect = static_cast<DistortionK&>(*created);
    dispatch(effect, effOpen);
    dispatch(effect, effMainsChanged, 1);
    dispatch(effect, effSetProgram, 4);
    run(effect, noise(64));
    dispatch(effect, effMainsChanged, 0);
    AEffect* record = effect.getAeffect();
    EXPECT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(host.calls.empty()) << host.calls.size() << " host calls, the first with opcode "
                                    << host.calls.front().opcode;
}

TEST(EffectInstance, ResumeLeavesParametersAndNamesAlone) {
    DistortionK effect{nullptr};
    effect.setProgram(6);
    effect.setParameter(kHighLevel, 0.77f);
    char name[] = "Kept";
    effect.setProgramName(name);
    effect.resume();
    dispatch(effect, effMainsChanged, 0);
    dispatch(effect, effMainsChanged, 1);
    EXPECT_EQ(effect.getParameter(kHighLevel), 0.77f);
    EXPECT_EQ(effect.getParameter(kLowDistAmount), 0.91f);
    char text[24] = {};
    effect.getProgramName(text);
    EXPECT_STREQ(text, "Kept");
}

TEST(EffectInstance, CreatingAndClosingManyInstancesLeavesNothingBehind) {
    // Run under the sanitizer build, LeakSanitizer reports any program table
    // or instance that closing failed to release.
    for (int i = 0; i < 1000; ++i) {
        AudioEffect* effect = createEffectInstance(RecordingHost::callback);
        ASSERT_NE(effect, nullptr) << "instance " << i;
        AEffect* record = effect->getAeffect();
        record->dispatcher(record, effSetProgram, 0, i % 9, nullptr, 0.0f);
        ASSERT_EQ(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f), 1) << "instance " << i;
    }
}
