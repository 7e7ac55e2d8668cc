#include "audio/buffer_render.h"

#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"

BufferRender renderBuffer(const PluginModule& module, const AudioBuffer& input, const PluginSetup& setup,
                          VstInt32 blockSize, const TempoMap& tempoMap) {
    const auto rate = static_cast<float>(input.sampleRate);
    PluginInstance instance(module, rate, blockSize);
    instance.host().processingLevel = ProcessLevel::Offline;
    instance.openForPlayback(rate, blockSize);
    if (instance.numOutputs() <= 0) {
        throw LoadError("plug-in " + module.path() + " has no audio outputs");
    }
    BufferSource source(input);
    RenderStreams streams;
    streams.main = &source;
    RenderPlan plan;
    plan.sampleRate = input.sampleRate;
    plan.outputRate = input.sampleRate;
    plan.blockSize = blockSize;
    std::vector<std::string> warnings;  // of a program or bank file, which measurements are not given
    plan.plugins = {resolveSetup(instance, setup, warnings)};
    plan.channels = mapChannels(input.channelCount(), 0, instance.numInputs(), instance.numOutputs(), {});
    plan.tempoMap = tempoMap;
    plan.tailFrames = 0;
    plan.compensateLatency = false;

    BufferRender result;
    result.output = AudioBuffer(instance.numOutputs(), 0, input.sampleRate);
    for (auto& channel : result.output.channels) {
        channel.reserve(input.frameCount());
    }
    result.report = render({&instance}, plan, streams, [&result](const float* const* channels, std::size_t frames) {
        for (std::size_t channel = 0; channel < result.output.channels.size(); ++channel) {
            result.output.channels[channel].insert(result.output.channels[channel].end(), channels[channel],
                                                   channels[channel] + frames);
        }
    });
    return result;
}
