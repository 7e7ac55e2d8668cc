// Runs audio through a prepared plug-in instance block by block, the way a
// host does while rendering.
#pragma once

#include <functional>

#include "aeffect.h"
#include "audio/audio_buffer.h"

class PluginInstance;

struct RenderOptions {
    VstInt32 blockSize = 512;
    // Called after each block with the fraction done (0..1); may be empty.
    std::function<void(double)> progress;
};

struct RenderResult {
    AudioBuffer output;           // as many channels as the plug-in has outputs
    double processSeconds = 0.0;  // wall-clock time spent inside process calls
};

// The instance must be open, with sample rate and block size sent and
// switched on. Input channels are handed to the plug-in's inputs in turn,
// repeating from the first when the plug-in has more inputs than the buffer
// has channels; extra channels of the buffer are left out.
RenderResult renderThrough(PluginInstance& instance, const AudioBuffer& input, const RenderOptions& options);

// Which channel of a buffer with `available` channels feeds plug-in input
// `input`; -1 when the buffer has no channels at all.
int sourceChannelFor(int input, int available);
