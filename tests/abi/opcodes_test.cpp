// The dispatcher's answers as a host receives them.
#include <cstdint>

#include "loaded_distortion.h"

namespace {

using Opcodes = LoadedDistortion;

TEST_F(Opcodes, TextAnswersWriteTheirTextAndExactlyTheirBytes) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    // Identity strings fill their whole buffers; program names by index end
    // at their terminator, for any category (the value argument).
    const struct {
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        const char* text;
        std::size_t bytes;
    } cases[] = {
        {effGetEffectName, 0, 0, "Distortion", 33},
        {effGetVendorString, 0, 0, "Velkaro", 65},
        {effGetProductString, 0, 0, "K Distortion", 65},
        {effGetProgramNameIndexed, 0, -1, "Default!", 9},
        {effGetProgramNameIndexed, 1, -1, "Are you scared?", 16},
        {effGetProgramNameIndexed, 2, 0, "Now we are sounding!", 21},
        {effGetProgramNameIndexed, 3, -1, "Brutal Distortion!", 19},
        {effGetProgramNameIndexed, 4, 7, "Acoustic Mult Dist!", 20},
        {effGetProgramNameIndexed, 5, -1, "Dual Distortion!", 17},
        {effGetProgramNameIndexed, 6, -1, "Multiband LowDist!", 19},
        {effGetProgramNameIndexed, 7, INT32_MIN, "Multiband MidDist!", 19},
        {effGetProgramNameIndexed, 8, -1, "Multiband HighDist!", 20},
    };
    for (const auto& c : cases) {
        GuardedText buffer;
        EXPECT_EQ(dispatch(effect, c.opcode, c.index, c.value, buffer.data()), 1)
            << "opcode " << c.opcode << ", index " << c.index;
        EXPECT_EQ(buffer.text(), c.text) << "opcode " << c.opcode << ", index " << c.index;
        EXPECT_EQ(buffer.written(), c.bytes) << "opcode " << c.opcode << ", index " << c.index;
        for (std::size_t i = std::strlen(c.text); i < c.bytes; ++i) {
            EXPECT_EQ(buffer.bytes[i], 0) << "padding byte " << i << " of opcode " << c.opcode;
        }
    }
}

TEST_F(Opcodes, VersionCategoryAndCapabilitiesAreTheInterfaceDefaults) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dispatch(effect, effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effect, effGetPlugCategory), 0);
    EXPECT_EQ(dispatch(effect, effGetVendorVersion), 1000);
    EXPECT_EQ(dispatch(effect, effGetTailSize), 0);
    EXPECT_EQ(dispatch(effect, effIdentify), 0x4E764566) << "'NvEf'";
    for (const char* capability :
         {"bypass", "receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "plugAsChannelInsert", "offline", ""}) {
        std::string text = capability;
        EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, text.data()), 0) << "canDo \"" << capability << "\"";
    }
    for (VstInt32 index : {0, 16, 17, -1, INT32_MAX}) {
        EXPECT_EQ(dispatch(effect, effCanBeAutomated, index), 1) << "index " << index;
    }
}

TEST_F(Opcodes, ChunksAndEditorAreAbsent) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    void* data = &data;
    EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(dispatch(effect, effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(data, &data) << "the data pointer is left alone";
    char chunk[16] = {};
    EXPECT_EQ(dispatch(effect, effSetChunk, 0, sizeof(chunk), chunk), 0);
    EXPECT_EQ(effect->flags & effFlagsHasEditor, 0);
    EXPECT_EQ(effect->flags & effFlagsProgramChunks, 0);

    void* rect = &rect;
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, &rect);
    for (VstInt32 opcode : {effEditOpen, effEditClose, effEditDraw, effEditMouse, effEditKey, effEditIdle, effEditTop,
                            effEditSleep, effEditKeyDown, effEditKeyUp, effSetEditKnobMode}) {
        EXPECT_EQ(dispatch(effect, opcode, 65, 1, nullptr, 1.0f), 0) << "opcode " << opcode;
    }
}

TEST_F(Opcodes, UnroutedAndUnknownOpcodesAnswerZeroAndTouchNothing) {
    AEffect* effect = create();
    ASSERT_NE(effect, nullptr);
    for (VstInt32 opcode : {28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 1000, -1, INT32_MIN}) {
        GuardedText buffer;
        EXPECT_EQ(dispatch(effect, opcode, 1, 1, buffer.data(), 1.0f), 0) << "opcode " << opcode;
        EXPECT_EQ(buffer.written(), 0u) << "opcode " << opcode;
    }
    for (VstInt32 program : {9, 10, -1, INT32_MIN, INT32_MAX}) {
        GuardedText indexed;
        EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, program, -1, indexed.data()), 0) << "program " << program;
        EXPECT_EQ(indexed.written(), 0u) << "program " << program;
    }
    GuardedText properties;
    EXPECT_EQ(dispatch(effect, effGetParameterProperties, 0, 0, properties.data()), 0);
    EXPECT_EQ(properties.written(), 0u);
    EXPECT_EQ(dispatch(effect, effSetBypass, 0, 1), 0);
    EXPECT_EQ(dispatch(effect, effGetVu), 0);
}

}  // namespace
