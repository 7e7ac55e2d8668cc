// The host-visible side of the effect interface: integer types, the effect
// record that a host holds, the function-pointer shapes that cross the
// boundary, capability flag bits and four-character codes.
//
// The record's layout is a binary contract with hosts built by other people:
// every offset below is checked at compile time for both pointer widths.
#pragma once

#include <cstddef>
#include <cstdint>

using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

// All record pointers and the host callback use the C calling convention
// (the caller removes the arguments). Only 32-bit Windows has a choice.
#if defined(_WIN32) && !defined(_WIN64)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

struct AEffect;

using audioMasterCallback = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                    void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALLBACK*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                      void* ptr, float opt);
using AEffectProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(VSTCALLBACK*)(AEffect* effect, double** inputs, double** outputs,
                                                    VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALLBACK*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float(VSTCALLBACK*)(AEffect* effect, VstInt32 index);

// A four-character code: the first character lands in the most significant byte.
constexpr VstInt32 fourCharCode(char a, char b, char c, char d) {
    return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

constexpr VstInt32 kEffectMagic = fourCharCode('V', 's', 't', 'P');
constexpr VstInt32 kDefaultUniqueId = fourCharCode('N', 'o', 'E', 'f');
constexpr VstInt32 kIdentifyAnswer = fourCharCode('N', 'v', 'E', 'f');

constexpr VstInt32 kVstVersion = 2400;

// Text limits of the interface, in characters (a buffer holds one byte more).
constexpr VstInt32 kVstMaxProgNameLen = 24;  // whole buffer, terminator included
constexpr VstInt32 kVstMaxParamStrLen = 8;
constexpr VstInt32 kVstMaxEffectNameLen = 32;
constexpr VstInt32 kVstMaxVendorStrLen = 64;
constexpr VstInt32 kVstMaxProductStrLen = 64;

enum VstAEffectFlags : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
    effFlagsCanDoubleReplacing = 1 << 12,
};

enum VstPlugCategory : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(AEffect) == 144, "32-bit record is 144 bytes");
static_assert(offsetof(AEffect, magic) == 0x00);
static_assert(offsetof(AEffect, dispatcher) == 0x04);
static_assert(offsetof(AEffect, process) == 0x08);
static_assert(offsetof(AEffect, setParameter) == 0x0C);
static_assert(offsetof(AEffect, getParameter) == 0x10);
static_assert(offsetof(AEffect, numPrograms) == 0x14);
static_assert(offsetof(AEffect, numParams) == 0x18);
static_assert(offsetof(AEffect, numInputs) == 0x1C);
static_assert(offsetof(AEffect, numOutputs) == 0x20);
static_assert(offsetof(AEffect, flags) == 0x24);
static_assert(offsetof(AEffect, resvd1) == 0x28);
static_assert(offsetof(AEffect, resvd2) == 0x2C);
static_assert(offsetof(AEffect, initialDelay) == 0x30);
static_assert(offsetof(AEffect, realQualities) == 0x34);
static_assert(offsetof(AEffect, offQualities) == 0x38);
static_assert(offsetof(AEffect, ioRatio) == 0x3C);
static_assert(offsetof(AEffect, object) == 0x40);
static_assert(offsetof(AEffect, user) == 0x44);
static_assert(offsetof(AEffect, uniqueID) == 0x48);
static_assert(offsetof(AEffect, version) == 0x4C);
static_assert(offsetof(AEffect, processReplacing) == 0x50);
static_assert(offsetof(AEffect, processDoubleReplacing) == 0x54);
static_assert(offsetof(AEffect, future) == 0x58);
#else
// 64-bit: same fields and order, pointer-sized fields at 8 bytes, natural alignment.
static_assert(sizeof(AEffect) == 192, "64-bit record is 192 bytes");
static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, process) == 16);
static_assert(offsetof(AEffect, setParameter) == 24);
static_assert(offsetof(AEffect, getParameter) == 32);
static_assert(offsetof(AEffect, numPrograms) == 40);
static_assert(offsetof(AEffect, numParams) == 44);
static_assert(offsetof(AEffect, numInputs) == 48);
static_assert(offsetof(AEffect, numOutputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, resvd2) == 72);
static_assert(offsetof(AEffect, initialDelay) == 80);
static_assert(offsetof(AEffect, realQualities) == 84);
static_assert(offsetof(AEffect, offQualities) == 88);
static_assert(offsetof(AEffect, ioRatio) == 92);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, user) == 104);
static_assert(offsetof(AEffect, uniqueID) == 112);
static_assert(offsetof(AEffect, version) == 116);
static_assert(offsetof(AEffect, processReplacing) == 120);
static_assert(offsetof(AEffect, processDoubleReplacing) == 128);
static_assert(offsetof(AEffect, future) == 136);
#endif
