// Small effects and an editor for exercising the frame: plain ones that keep
// every default, and a mock editor that sees what the dispatchers call.
#pragma once

#include <gmock/gmock.h>

#include <cstring>

#include "audio_effect_x.h"
#include "effect_editor.h"

// Keeps every default of the base class; processReplacing is the one
// operation it must supply.
class PlainEffect : public AudioEffect {
public:
    explicit PlainEffect(audioMasterCallback host = nullptr, VstInt32 programs = 4, VstInt32 params = 3)
        : AudioEffect(host, programs, params) {}
    void processReplacing(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) override {}
};

// Keeps every default of the version-2 layer.
class PlainEffectX : public AudioEffectX {
public:
    explicit PlainEffectX(audioMasterCallback host = nullptr, VstInt32 programs = 4, VstInt32 params = 3)
        : AudioEffectX(host, programs, params) {}
    void processReplacing(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) override {}
};

// The instance owns its editor, so the mock reports its own destruction.
class MockEditor : public EffectEditor {
public:
    ~MockEditor() override { destroyed(); }
    MOCK_METHOD(void, destroyed, ());
    MOCK_METHOD(bool, getRect, (void* rect), (override));
    MOCK_METHOD(bool, open, (void* parentWindow), (override));
    MOCK_METHOD(void, close, (), (override));
    MOCK_METHOD(void, idle, (), (override));
    MOCK_METHOD(bool, onKeyDown, (VstKeyCode & keyCode), (override));
    MOCK_METHOD(bool, onKeyUp, (VstKeyCode & keyCode), (override));
    MOCK_METHOD(bool, setKnobMode, (VstInt32 mode), (override));
};

// A buffer with guard bytes behind it, to see what a routine writes and
// where it stops.
template <std::size_t Size>
struct PatternBuffer {
    static constexpr unsigned char kPattern = 0x5A;
    char bytes[Size];
    PatternBuffer() { std::memset(bytes, kPattern, Size); }
    bool untouched() const {
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) != kPattern) {
                return false;
            }
        }
        return true;
    }
};
