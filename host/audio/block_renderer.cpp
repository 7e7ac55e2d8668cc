#include "audio/block_renderer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "plugin/plugin_instance.h"

int sourceChannelFor(int input, int available) {
    return available <= 0 ? -1 : input % available;
}

RenderResult renderThrough(PluginInstance& instance, const AudioBuffer& input, const RenderOptions& options) {
    const int inputs = instance.numInputs();
    const int outputs = instance.numOutputs();
    const std::size_t block = static_cast<std::size_t>(std::max<VstInt32>(1, options.blockSize));
    const std::size_t frames = input.frameCount();

    // Scratch blocks for every channel the plug-in declares, so that it may
    // scribble over its inputs without touching the caller's buffer. Arrays of
    // at least one entry keep the pointers valid for plug-ins without inputs.
    std::vector<std::vector<float>> inBlocks(static_cast<std::size_t>(std::max(inputs, 1)),
                                             std::vector<float>(block, 0.0f));
    std::vector<std::vector<float>> outBlocks(static_cast<std::size_t>(std::max(outputs, 1)),
                                              std::vector<float>(block, 0.0f));
    std::vector<float*> inPointers;
    std::vector<float*> outPointers;
    for (auto& channel : inBlocks) {
        inPointers.push_back(channel.data());
    }
    for (auto& channel : outBlocks) {
        outPointers.push_back(channel.data());
    }

    RenderResult result;
    result.output = AudioBuffer(outputs, frames, input.sampleRate);
    std::chrono::steady_clock::duration busy{};

    for (std::size_t offset = 0; offset < frames; offset += block) {
        const std::size_t count = std::min(block, frames - offset);
        for (int channel = 0; channel < inputs; ++channel) {
            const int source = sourceChannelFor(channel, input.channelCount());
            float* target = inBlocks[static_cast<std::size_t>(channel)].data();
            if (source < 0) {
                std::fill(target, target + count, 0.0f);
            } else {
                std::memcpy(target, input.channels[static_cast<std::size_t>(source)].data() + offset,
                            count * sizeof(float));
            }
        }
        const auto started = std::chrono::steady_clock::now();
        instance.process(inPointers.data(), outPointers.data(), static_cast<VstInt32>(count));
        busy += std::chrono::steady_clock::now() - started;
        for (int channel = 0; channel < outputs; ++channel) {
            std::memcpy(result.output.channels[static_cast<std::size_t>(channel)].data() + offset,
                        outBlocks[static_cast<std::size_t>(channel)].data(), count * sizeof(float));
        }
        if (options.progress) {
            options.progress(static_cast<double>(offset + count) / static_cast<double>(frames));
        }
    }
    result.processSeconds = std::chrono::duration<double>(busy).count();
    return result;
}
