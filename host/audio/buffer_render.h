// A signal held in memory through a fresh instance, the output back in
// memory with the input's length: no tail, the latency left in. For
// measurements that compare input and output sample for sample and line
// them up themselves; files go through render() instead.
#pragma once

#include <optional>

#include "audio/audio_buffer.h"
#include "audio/render_session.h"

class PluginModule;

struct BufferRender {
    AudioBuffer output;  // one channel per plug-in output
    RenderReport report;
};

// Uses the job's program, settings, automation and block size; its tail
// and latency fields are set here. The plug-in's clock follows `tempoMap`,
// or the job's tempo when none is given. Throws HostError as render() does,
// and LoadError for a plug-in without outputs.
BufferRender renderBuffer(const PluginModule& module, const AudioBuffer& input, RenderJob job,
                          const std::optional<TempoMap>& tempoMap = std::nullopt);
