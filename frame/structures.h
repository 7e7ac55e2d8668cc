// Structures that the frame itself builds or fills: the key record handed to
// an editor, and speaker arrangements. Everything else the interface passes
// between host and effect stays an opaque pointer.
#pragma once

#include <cstddef>

#include "aeffect.h"

struct VstKeyCode {
    VstInt32 character;
    unsigned char virt;
    unsigned char modifier;
};
static_assert(sizeof(VstKeyCode) == 8);
static_assert(offsetof(VstKeyCode, virt) == 4 && offsetof(VstKeyCode, modifier) == 5);

constexpr int kVstSpeakerNameLen = 64;

struct VstSpeakerProperties {
    float azimuth;
    float elevation;
    float radius;
    float reserved;
    char name[kVstSpeakerNameLen];
    VstInt32 type;
    char future[28];
};
static_assert(sizeof(VstSpeakerProperties) == 112);
static_assert(offsetof(VstSpeakerProperties, name) == 16 && offsetof(VstSpeakerProperties, type) == 80 &&
              offsetof(VstSpeakerProperties, future) == 84);

// A block for n channels is 8 + 112 * n bytes; `speakers` is declared with
// room for two so the common stereo case can live on the stack, but blocks
// made by allocateArrangement are sized to their channel count.
struct VstSpeakerArrangement {
    VstInt32 type;
    VstInt32 numChannels;
    VstSpeakerProperties speakers[2];
};
static_assert(offsetof(VstSpeakerArrangement, speakers) == 8);
static_assert(sizeof(VstSpeakerArrangement) == 8 + 2 * 112);

constexpr std::size_t speakerArrangementBytes(VstInt32 channels) {
    return offsetof(VstSpeakerArrangement, speakers) +
           sizeof(VstSpeakerProperties) * static_cast<std::size_t>(channels < 0 ? 0 : channels);
}

// Opaque to the frame: passed through between host and effect unread.
struct VstEvents;
struct VstTimeInfo;
struct VstParameterProperties;
struct VstPinProperties;
struct VstVariableIo;
struct VstPatchChunkInfo;
struct MidiProgramName;
struct MidiProgramCategory;
struct MidiKeyName;
struct VstFileSelect;
struct VstOfflineTask;
struct VstAudioFile;
struct VstWindow;
