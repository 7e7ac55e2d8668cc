#include "commands/rendering_options.h"

#include <CLI/CLI.hpp>

#include "audio/output_format.h"
#include "commands/tempo_options.h"
#include "plugin/parameter_lookup.h"

namespace {

constexpr int kLargestBlock = 1 << 20;
constexpr double kLongestTailSeconds = 3600.0;

}  // namespace

void addRenderingOptions(CLI::App& command, RenderingOptions& options) {
    command.add_option("PLUGIN", options.plugin, "The plug-in library file")->required();
    command
        .add_option("-i,--input", options.input,
                    "Input audio file, '-' for standard input; default: embedded plucked strings (an instrument gets "
                    "silence)")
        ->type_name("IN");
    command.add_option("--sidechain", options.sidechain, "Audio file for the inputs past the main ones")
        ->type_name("FILE");
    command.add_option("--midi", options.midi, "Standard MIDI File to play into the plug-in")->type_name("FILE.mid");
    addTempoOptions(command, options.tempo, true);
    command.add_option("--set", options.settings, "Set a parameter (normalised 0..1) after the program; repeatable")
        ->check(CLI::Validator(settingProblem, ""))
        ->type_name("NAME=VALUE|INDEX=VALUE");
    command.add_option("--block", options.blockSize, "Frames per process call")
        ->check(CLI::Range(1, kLargestBlock))
        ->capture_default_str();
    command.add_option("--rate", options.sampleRate, "Sample rate without an input file (default 44100)")
        ->check(CLI::Range(8000.0, 768000.0))
        ->type_name("HZ");
    command
        .add_option("--bit-depth", options.bitDepth,
                    std::string("Output samples: ") + kBitDepthWords + " (default float where the format has it)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return parseBitDepth(text) ? std::string() : std::string("takes ") + kBitDepthWords;
            },
            ""))
        ->type_name("DEPTH");
    command.add_flag("--clip", options.clip, "Let an integer output clip instead of refusing it");
    command
        .add_option("--tail", options.tailSeconds,
                    "Seconds rendered after the input ends (default: the plug-in's tail, at most 10 s, ended once "
                    "below -120 dBFS)")
        ->check(CLI::Range(0.0, kLongestTailSeconds))
        ->type_name("SECONDS");
    command.add_flag("--no-latency-compensation{false}", options.compensateLatency,
                     "Keep the plug-in's reported latency at the start of the output");
    command.add_option("--channels", options.channels, "Plug-in outputs to write, in order, e.g. 1,2 or 3-4")
        ->type_name("LIST");
    command.add_flag("--json", options.json, "Print the summary as JSON");
}
