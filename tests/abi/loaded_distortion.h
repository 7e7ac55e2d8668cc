// Test fixture that sees the distortion plug-in only as a host does: the
// library is loaded from its file, instances come from the exported entry
// point with RecordingHost's callback, and every call goes through the record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "aeffect.h"
#include "opcodes.h"
#include "plugin_library.h"
#include "recording_host.h"

// The library under test: the build's own, or the one named on the command line.
const char* distortionLibraryPath();

class LoadedDistortion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.load(distortionLibraryPath())) << library.error();
        entry = library.entry();
        ASSERT_NE(entry, nullptr) << "no VSTPluginMain or main in " << distortionLibraryPath();
    }

    // Instances a test left open are closed before the library goes away.
    void TearDown() override {
        for (AEffect* effect : open) {
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        }
        open.clear();
    }

    AEffect* create() {
        AEffect* effect = entry(RecordingHost::callback);
        if (effect != nullptr) {
            open.push_back(effect);
        }
        return effect;
    }

    VstIntPtr close(AEffect* effect) {
        open.erase(std::remove(open.begin(), open.end(), effect), open.end());
        return effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }

    static VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                              void* ptr = nullptr, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    RecordingHost host;
    PluginLibrary library;
    PluginEntryProc entry = nullptr;
    std::vector<AEffect*> open;
};

// A host buffer with guard bytes, to see exactly how many bytes a call wrote.
struct GuardedText {
    static constexpr char kGuard = '\x7f';
    std::array<char, 128> bytes;
    GuardedText() { bytes.fill(kGuard); }
    char* data() { return bytes.data(); }
    // Up to the first zero byte, or the whole buffer when nothing terminated it.
    std::string text() const { return std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), '\0')); }
    std::size_t written() const {
        std::size_t last = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] != kGuard) {
                last = i + 1;
            }
        }
        return last;
    }
};

// A fixed integer sequence, the same in every build.
class Sequence {
public:
    explicit Sequence(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_;
    }
    // In [0, 1), on a grid of 2^-24: every value is exact in a float.
    float unit() { return static_cast<float>(next() >> 8) / 16777216.0f; }

private:
    std::uint32_t state_;
};

// Noise in [-0.9, 0.9), then one sample of 1 and a silence long enough for
// the filter memories to decay below the float normal range: every path of
// the signal chain, the slow-to-settle tail included. The same floats in
// every build.
inline std::vector<float> noiseImpulseAndSilence(std::size_t noiseFrames, std::size_t silenceFrames,
                                                 std::uint32_t seed = 2024u) {
    std::vector<float> input(noiseFrames + silenceFrames, 0.0f);
    Sequence sequence(seed);
    for (std::size_t i = 0; i < noiseFrames; ++i) {
        input[i] = 0.9f * (2.0f * sequence.unit() - 1.0f);
    }
    if (silenceFrames > 0) {
        input[noiseFrames] = 1.0f;
    }
    return input;
}
