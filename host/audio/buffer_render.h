// A signal held in memory through a fresh instance, the output back in
// memory with the input's length: no tail, the latency left in. For
// measurements that compare input and output sample for sample and line
// them up themselves; files go through render() instead.
#pragma once

#include "audio/audio_buffer.h"
#include "audio/plugin_setup.h"
#include "audio/render_session.h"
#include "plugin/tempo_map.h"

class PluginModule;

struct BufferRender {
    AudioBuffer output;  // one channel per plug-in output
    RenderReport report;
};

// Resolves `setup` against the fresh instance and applies it; the plug-in's
// clock follows `tempoMap`. Throws HostError as resolveSetup() and render()
// do, and LoadError for a plug-in without outputs.
BufferRender renderBuffer(const PluginModule& module, const AudioBuffer& input, const PluginSetup& setup,
                          VstInt32 blockSize, const TempoMap& tempoMap = TempoMap());
