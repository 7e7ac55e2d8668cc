#include "audio/buffer_render.h"

#include <gtest/gtest.h>

#include <string>

#include "plugin/plugin_module.h"

namespace {

// Measurements line input and output up themselves: the output keeps the
// input's length and the plug-in's latency.
TEST(BufferRender, GivesTheOutputInMemoryWithTheLatencyLeftIn) {
    PluginModule module(std::string(KD_STUB_DIR) + "/stub_delayed" KD_LIBRARY_SUFFIX);
    AudioBuffer impulse(2, 1000, 48000.0);
    impulse.channels[1][10] = 0.5f;
    for (int program : {0, 1}) {
        RenderJob job;
        job.program = program;
        job.blockSize = 100;
        const BufferRender rendered = renderBuffer(module, impulse, job);
        ASSERT_EQ(rendered.output.channelCount(), 2);
        ASSERT_EQ(rendered.output.frameCount(), 1000u);
        EXPECT_EQ(rendered.report.latency, 64);
        EXPECT_FLOAT_EQ(rendered.output.channels[1][74], program == 0 ? 0.5f : 1.0f) << "program " << program;
        EXPECT_EQ(rendered.output.channels[0][74], 0.0f);
    }
}

}  // namespace
