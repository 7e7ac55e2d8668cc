#include "commands/rendering_options.h"

#include <CLI/CLI.hpp>

#include "commands/option_text.h"
#include "commands/tempo_options.h"
#include "support/host_error.h"

namespace {

constexpr int kLargestBlock = 1 << 20;
constexpr double kLongestTailSeconds = 3600.0;
constexpr int kMostJobs = 1024;

}  // namespace

void addRenderingOptions(CLI::App& command, RenderRequest& request) {
    command
        .add_option_function<std::string>(
            "PLUGIN", [&request](const std::string& path) { request.chain.front().path = path; },
            "The plug-in library file")
        ->required();
    command
        .add_option("-i,--input", request.inputs,
                    "Input audio file, '-' for standard input; default: embedded plucked strings (an instrument gets "
                    "silence)")
        ->type_name("IN");
    command.add_option("--sidechain", request.sidechain, "Audio file for the inputs past the main ones")
        ->type_name("FILE");
    command.add_option("--midi", request.midi, "Standard MIDI File to play into the plug-in")->type_name("FILE.mid");
    addTempoOptions(command, request.tempo, true);
    // Read as the command line goes, so that each --set reaches the plug-in
    // named before it.
    command
        .add_option_function<std::vector<std::string>>(
            "--set",
            [&request](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    request.current().setup.settings.push_back(parseSetting(text));
                }
            },
            "Set a parameter after the program and preset: a normalised value (0..1) or the value as the plug-in "
            "displays it, with its unit ('Gain=+6 dB'); repeatable")
        ->trigger_on_parse()
        ->type_name("NAME=VALUE|INDEX=VALUE");
    command.add_option("--block", request.blockSize, "Frames per process call")
        ->check(CLI::Range(1, kLargestBlock))
        ->capture_default_str();
    command
        .add_option_function<std::string>(
            "--rate", [&request](const std::string& text) { request.sampleRate = parseSampleRate(text, "--rate"); },
            "Sample rate the plug-ins run at, in Hz; an input file at another rate is resampled (default: the input "
            "file's, else 44100)")
        ->type_name("HZ");
    command
        .add_option_function<std::string>(
            "--output-rate",
            [&request](const std::string& text) { request.outputRate = parseSampleRate(text, "--output-rate"); },
            "Sample rate of the output file, in Hz, resampled from the plug-ins' (default: theirs)")
        ->type_name("HZ");
    command
        .add_option_function<std::string>(
            "--bit-depth", [&request](const std::string& text) { request.bitDepth = parseBitDepthOption(text); },
            std::string("Output samples: ") + kBitDepthWords + " (default float where the format has it)")
        ->type_name("DEPTH");
    command
        .add_option_function<std::string>(
            "--dither", [&request](const std::string& text) { request.dither = parseDither(text); },
            "none (the default) or tpdf: triangular dither of one step for integer output")
        ->type_name("KIND");
    command.add_flag("--clip", request.clip, "Let an integer output clip instead of refusing it");
    command
        .add_option_function<double>(
            "--tail", [&request](const double& seconds) { request.tailSeconds = seconds; },
            "Seconds rendered after the input ends (default: the plug-in's tail, at most 10 s, ended once below "
            "-120 dBFS)")
        ->check(CLI::Range(0.0, kLongestTailSeconds))
        ->type_name("SECONDS");
    command.add_flag(
        "--no-latency-compensation", [&request](std::int64_t) { request.compensateLatency = false; },
        "Keep the plug-in's reported latency at the start of the output");
    command
        .add_option_function<std::string>(
            "--channels", [&request](const std::string& text) { request.channels = parseChannelList(text); },
            "Plug-in outputs to write, in order, e.g. 1,2 or 3-4")
        ->type_name("LIST");
    command.add_flag("--json", request.json, "Print the summary as JSON");
}

void addRenderOptions(CLI::App& command, RenderRequest& request) {
    command
        .add_option("-o,--output", request.output,
                    "Output file; its extension chooses the format (.wav, .flac, .aiff, .caf, .ogg, .mp3, ...); "
                    "'-' streams WAV or FLAC (--format) to standard output")
        ->type_name("OUT");
    // Read as the command line goes, so that each reaches the plug-in named
    // before it.
    command
        .add_option_function<int>(
            "--program", [&request](const int& program) { request.current().setup.program = program; },
            "Select program N before the --preset and --set values")
        ->check(CLI::Range(0, 1 << 30))
        ->trigger_on_parse()
        ->type_name("N");
    command
        .add_option_function<std::string>(
            "--preset", [&request](const std::string& path) { request.current().setup.presetPath = path; },
            "Load a program (.fxp) or bank (.fxb) file after --program and before --set; of a bank, --program N "
            "plays program N")
        ->trigger_on_parse()
        ->type_name("FILE");
    command
        .add_option_function<std::vector<std::string>>(
            "--automate",
            [&request](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    request.current().setup.automation.push_back(parseAutomation(text));
                }
            },
            "Move a parameter in straight lines between values at times in seconds; repeatable")
        ->trigger_on_parse()
        ->type_name("NAME_OR_INDEX:TIME=VALUE,...");
    command
        .add_option_function<std::string>(
            "--then",
            [&request](const std::string& path) {
                request.chain.push_back({path, {}});
            },
            "Then run the output through this plug-in too, in the same pass; the --program, --preset, --set and "
            "--automate after it are its own; repeatable")
        ->trigger_on_parse()
        ->type_name("PLUGIN");
    command.add_option("-d,--directory", request.directory, "A batch: write one file per input into DIR")
        ->type_name("DIR");
    command.add_option("--list", request.listFile, "A batch: a file naming one input a line")->type_name("FILE");
    command
        .add_option_function<int>(
            "-j,--jobs", [&request](const int& jobs) { request.jobs = jobs; },
            "A batch: render N files at once, each in a process of its own (default: one per processor core)")
        ->check(CLI::Range(1, kMostJobs))
        ->type_name("N");
    command
        .add_option("--format", request.format,
                    "Extension that chooses the format of -o - (wav or flac; default wav) and of a batch's files "
                    "(default wav)")
        ->type_name("EXT");
}

// Options that only make sense together, checked before anything is
// opened.
void refuseMismatchedOptions(const RenderRequest& request) {
    const bool batch = !request.directory.empty();
    if (!batch && request.output.empty()) {
        throw UsageError("--output is required: -o OUT (or -o - for standard output), or -d DIR for a batch");
    }
    if (batch && !request.output.empty()) {
        throw UsageError(
            "--output (-o) names one output and --directory (-d) the directory of a batch: give one of "
            "them");
    }
    if (!batch && (request.inputs.size() > 1 || !request.listFile.empty())) {
        throw UsageError(
            "--input given several times (or --list) makes a batch, whose files go into a directory: "
            "give -d DIR instead of -o");
    }
    if (!batch && request.jobs) {
        throw UsageError("--jobs (-j) runs the files of a batch side by side: give the inputs with -d DIR");
    }
    if (!batch && !request.format.empty() && request.output != kStandardOutput) {
        throw UsageError("--format chooses the format of -o - and of a batch's files; the extension of " +
                         request.output + " chooses it here");
    }
}
