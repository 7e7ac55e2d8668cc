// Test fixture that sees FrameTestPlugin only as a host does: the library is
// loaded from its file, instances come from the exported entry point with
// RecordingHost's callback, and every call goes through the record.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <utility>
#include <vector>

#include "aeffect.h"
#include "frame_test_events.h"
#include "opcodes.h"
#include "plugin_library.h"
#include "recording_host.h"

#ifndef FRAME_TEST_PLUGIN_PATH
#error "FRAME_TEST_PLUGIN_PATH must name the built FrameTestPlugin library"
#endif

struct Report {
    VstInt32 tag;
    VstIntPtr value;
    bool operator==(const Report& other) const { return tag == other.tag && value == other.value; }
};

inline void PrintTo(const Report& report, std::ostream* os) {
    const auto tag = static_cast<unsigned>(report.tag);
    *os << '\'' << static_cast<char>(tag >> 24) << static_cast<char>(tag >> 16) << static_cast<char>(tag >> 8)
        << static_cast<char>(tag) << "' " << report.value;
}

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library.load(FRAME_TEST_PLUGIN_PATH)) << library.error();
        entry = library.entry();
        ASSERT_NE(entry, nullptr) << "no VSTPluginMain or main in " << FRAME_TEST_PLUGIN_PATH;
    }

    // Instances the test left open are closed before the library goes away.
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

    VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }

    VstIntPtr close(AEffect* effect) {
        open.erase(std::remove(open.begin(), open.end(), effect), open.end());
        return effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }

    // What the instance behind `effect` reported, in order, since the last clearReports().
    std::vector<Report> reports(const AEffect* effect) const {
        std::vector<Report> found;
        for (const HostCall& call : host.calls) {
            if (call.opcode == frame_test::kReportOpcode && call.effect == effect) {
                found.push_back(Report{call.index, call.value});
            }
        }
        return found;
    }

    void clearReports() { host.calls.clear(); }

    RecordingHost host;
    PluginLibrary library;
    PluginEntryProc entry = nullptr;
    std::vector<AEffect*> open;
};
