// How FrameTestPlugin reports what the frame called: each reported operation
// becomes one host call audioMasterVendorSpecific with the operation's tag
// as index and its argument as value, so a test sees the calls in order
// through its host callback.
#pragma once

#include "aeffect.h"
#include "opcodes.h"

namespace frame_test {

constexpr VstInt32 kReportOpcode = audioMasterVendorSpecific;

constexpr VstInt32 kConstructed = fourCharCode('c', 't', 'o', 'r');
constexpr VstInt32 kOpened = fourCharCode('o', 'p', 'e', 'n');
constexpr VstInt32 kClosed = fourCharCode('c', 'l', 'o', 's');
constexpr VstInt32 kSuspended = fourCharCode('s', 'u', 's', 'p');
constexpr VstInt32 kResumed = fourCharCode('r', 's', 'u', 'm');
constexpr VstInt32 kProgramSet = fourCharCode('p', 'r', 'o', 'g');     // value: the program number
constexpr VstInt32 kSampleRateSet = fourCharCode('r', 'a', 't', 'e');  // value: the rate, truncated
constexpr VstInt32 kBlockSizeSet = fourCharCode('b', 'l', 'o', 'k');   // value: the block size
constexpr VstInt32 kDestroyed = fourCharCode('d', 't', 'o', 'r');

// A host that answers this to the construction report makes the constructor
// throw, as a failed allocation would.
constexpr VstIntPtr kRefuseConstruction = fourCharCode('f', 'a', 'i', 'l');

constexpr VstInt32 kUniqueId = fourCharCode('K', 'd', 'F', 't');
constexpr VstInt32 kNumPrograms = 3;
constexpr VstInt32 kNumParams = 4;

// processReplacing writes input * kGain to every output channel.
constexpr float kGain = 0.5f;

}  // namespace frame_test
