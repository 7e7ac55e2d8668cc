// What one render is asked to do, in typed values: the render commands parse
// their options into it at the edge, and every layer below reads it from
// there. The streams a render reads and writes are opened from it per run.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "aeffect.h"
#include "audio/automation.h"
#include "audio/output_format.h"
#include "audio/sample_quantizer.h"
#include "plugin/parameter_ref.h"
#include "plugin/preset_file.h"
#include "plugin/tempo_map.h"

struct RenderJob {
    std::string plugin;
    std::string input;  // empty: the embedded signal (or silence for an instrument); "-": standard input
    std::string sidechain;
    std::string midi;
    TempoSettings tempo;  // the clock without --midi, and until the MIDI file's own tempo events
    std::string output;
    std::optional<int> program;
    std::string preset;  // a program or bank file (--preset, --bank), loaded after the program
    std::shared_ptr<const PresetFile> presetContents;  // read from `preset` before the plug-in loads
    std::vector<ParameterSetting> settings;            // applied after the program and preset, in order
    std::vector<AutomationRequest> automation;
    VstInt32 blockSize = 512;
    std::optional<double> sampleRate;  // without an input file; 44100 when not given
    BitDepth bitDepth = BitDepth::Default;
    Dither dither = Dither::None;
    bool clip = false;                  // let an integer output clip
    std::optional<double> tailSeconds;  // none: automatic
    bool compensateLatency = true;
    std::vector<int> channels;  // plug-in outputs counted from 0, in file order; empty: all
    bool showProgress = false;
};
