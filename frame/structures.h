// Structures that the frame itself builds or fills: the key record handed to
// an editor, speaker arrangements, and the host's time information. Everything
// else the interface passes between host and effect stays an opaque pointer.
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

// The host's transport as the effect sees it (getTimeInfo): position, rate,
// tempo, musical position and time signature. The host fills the fields whose
// flag bits the effect asks for in its filter and marks them valid in `flags`;
// the others are unreliable. Positions are in samples (samplePos, from the
// start of the host's timeline) and in quarter notes (ppqPos, barStartPos,
// cycle positions). Same layout for both pointer widths: 88 bytes.
struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;  // system time
    double ppqPos;
    double tempo;        // beats per minute
    double barStartPos;  // quarter notes, the last bar start at or before ppqPos
    double cycleStartPos;
    double cycleEndPos;
    VstInt32 timeSigNumerator;
    VstInt32 timeSigDenominator;
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;  // to the next MIDI clock (24 per quarter note)
    VstInt32 flags;               // VstTimeInfoFlags
};
static_assert(sizeof(VstTimeInfo) == 88);
static_assert(offsetof(VstTimeInfo, sampleRate) == 8 && offsetof(VstTimeInfo, nanoSeconds) == 16 &&
              offsetof(VstTimeInfo, ppqPos) == 24 && offsetof(VstTimeInfo, tempo) == 32 &&
              offsetof(VstTimeInfo, barStartPos) == 40 && offsetof(VstTimeInfo, cycleStartPos) == 48 &&
              offsetof(VstTimeInfo, cycleEndPos) == 56);
static_assert(offsetof(VstTimeInfo, timeSigNumerator) == 64 && offsetof(VstTimeInfo, timeSigDenominator) == 68 &&
              offsetof(VstTimeInfo, smpteOffset) == 72 && offsetof(VstTimeInfo, smpteFrameRate) == 76 &&
              offsetof(VstTimeInfo, samplesToNextClock) == 80 && offsetof(VstTimeInfo, flags) == 84);

// Bits of VstTimeInfo::flags. The effect passes the `...Valid` bits it wants
// as the filter of its request; the host sets those it filled.
enum VstTimeInfoFlags : VstInt32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstAutomationWriting = 1 << 6,
    kVstAutomationReading = 1 << 7,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15,
};
static_assert(kVstAutomationReading == 128 && kVstNanosValid == 256 && kVstClockValid == 32768);

// Opaque to the frame: passed through between host and effect unread.
struct VstEvents;
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
