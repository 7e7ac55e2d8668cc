#include "audio/buffer_render.h"

#include <gtest/gtest.h>

#include <string>

#include "plugin/plugin_module.h"
#include "structures.h"

namespace {

// Measurements line input and output up themselves: the output keeps the
// input's length and the plug-in's latency.
TEST(BufferRender, GivesTheOutputInMemoryWithTheLatencyLeftIn) {
    PluginModule module(std::string(KD_STUB_DIR) + "/stub_delayed" KD_LIBRARY_SUFFIX);
    AudioBuffer impulse(2, 1000, 48000.0);
    impulse.channels[1][10] = 0.5f;
    for (int program : {0, 1}) {
        PluginSetup setup;
        setup.program = program;
        const BufferRender rendered = renderBuffer(module, impulse, setup, 100);
        ASSERT_EQ(rendered.output.channelCount(), 2);
        ASSERT_EQ(rendered.output.frameCount(), 1000u);
        EXPECT_EQ(rendered.report.latency, 64);
        EXPECT_FLOAT_EQ(rendered.output.channels[1][74], program == 0 ? 0.5f : 1.0f) << "program " << program;
        EXPECT_EQ(rendered.output.channels[0][74], 0.0f);
    }
}

// The clock moves on with every block from position 0 and follows the tempo
// map: 120 BPM in 4/4, from 0.5 s 240 BPM in 3/4 (a bar from quarter note 1).
TEST(BufferRender, ThePluginsClockAdvancesWithEveryBlockAlongTheTempoMap) {
    PluginModule module(std::string(KD_STUB_DIR) + "/stub_clock" KD_LIBRARY_SUFFIX);
    const AudioBuffer input(1, 96000, 48000.0);
    TempoMap tempoMap;
    tempoMap.changeTempo(0.5, 240.0);
    tempoMap.changeMeter(0.5, {3, 4});
    const BufferRender rendered = renderBuffer(module, input, PluginSetup(), 480, tempoMap);
    ASSERT_EQ(rendered.output.channelCount(), 8);
    const auto& out = rendered.output.channels;
    const struct {
        std::size_t frame;
        float quarters, bpm, barStart, meter;
    } kCases[] = {
        {0, 0.0f, 120.0f, 0.0f, 4004.0f},     {12000, 0.5f, 120.0f, 0.0f, 4004.0f},
        {24000, 1.0f, 240.0f, 1.0f, 3004.0f}, {48000, 3.0f, 240.0f, 1.0f, 3004.0f},
        {60000, 4.0f, 240.0f, 4.0f, 3004.0f}, {72000, 5.0f, 240.0f, 4.0f, 3004.0f},
    };
    for (const auto& entry : kCases) {
        const std::size_t at = entry.frame + 479;  // the block's last frame: the value of its start
        EXPECT_EQ(out[0][at], static_cast<float>(entry.frame));
        EXPECT_NEAR(out[1][at], entry.quarters, 1e-5) << "frame " << entry.frame;
        EXPECT_EQ(out[2][at], entry.bpm) << "frame " << entry.frame;
        EXPECT_NEAR(out[3][at], entry.barStart, 1e-5) << "frame " << entry.frame;
        EXPECT_EQ(out[4][at], entry.meter) << "frame " << entry.frame;
        EXPECT_EQ(out[7][at], 48000.0f);
    }
    const float filled = kVstNanosValid | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid |
                         kVstClockValid | kVstTransportPlaying;
    EXPECT_EQ(out[5][0], filled + kVstTransportChanged) << "the transport starts with the first block";
    EXPECT_EQ(out[5][480], filled);
}

}  // namespace
