#include "commands/rendering_options.h"

#include <CLI/CLI.hpp>

#include "commands/option_text.h"
#include "commands/tempo_options.h"

namespace {

constexpr int kLargestBlock = 1 << 20;
constexpr double kLongestTailSeconds = 3600.0;

}  // namespace

void addRenderingOptions(CLI::App& command, RenderJob& job, bool& json) {
    command.add_option("PLUGIN", job.plugin, "The plug-in library file")->required();
    command
        .add_option("-i,--input", job.input,
                    "Input audio file, '-' for standard input; default: embedded plucked strings (an instrument gets "
                    "silence)")
        ->type_name("IN");
    command.add_option("--sidechain", job.sidechain, "Audio file for the inputs past the main ones")->type_name("FILE");
    command.add_option("--midi", job.midi, "Standard MIDI File to play into the plug-in")->type_name("FILE.mid");
    addTempoOptions(command, job.tempo, true);
    command
        .add_option_function<std::vector<std::string>>(
            "--set",
            [&job](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    job.settings.push_back(parseSetting(text));
                }
            },
            "Set a parameter (normalised 0..1) after the program; repeatable")
        ->type_name("NAME=VALUE|INDEX=VALUE");
    command.add_option("--block", job.blockSize, "Frames per process call")
        ->check(CLI::Range(1, kLargestBlock))
        ->capture_default_str();
    command
        .add_option_function<double>(
            "--rate", [&job](const double& rate) { job.sampleRate = rate; },
            "Sample rate without an input file (default 44100)")
        ->check(CLI::Range(8000.0, 768000.0))
        ->type_name("HZ");
    command
        .add_option_function<std::string>(
            "--bit-depth", [&job](const std::string& text) { job.bitDepth = parseBitDepthOption(text); },
            std::string("Output samples: ") + kBitDepthWords + " (default float where the format has it)")
        ->type_name("DEPTH");
    command
        .add_option_function<std::string>(
            "--dither", [&job](const std::string& text) { job.dither = parseDither(text); },
            "none (the default) or tpdf: triangular dither of one step for integer output")
        ->type_name("KIND");
    command.add_flag("--clip", job.clip, "Let an integer output clip instead of refusing it");
    command
        .add_option_function<double>(
            "--tail", [&job](const double& seconds) { job.tailSeconds = seconds; },
            "Seconds rendered after the input ends (default: the plug-in's tail, at most 10 s, ended once below "
            "-120 dBFS)")
        ->check(CLI::Range(0.0, kLongestTailSeconds))
        ->type_name("SECONDS");
    command.add_flag("--no-latency-compensation{false}", job.compensateLatency,
                     "Keep the plug-in's reported latency at the start of the output");
    command
        .add_option_function<std::string>(
            "--channels", [&job](const std::string& text) { job.channels = parseChannelList(text); },
            "Plug-in outputs to write, in order, e.g. 1,2 or 3-4")
        ->type_name("LIST");
    command.add_flag("--json", json, "Print the summary as JSON");
}
