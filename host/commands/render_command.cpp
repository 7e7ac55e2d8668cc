#include "commands/render_command.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "audio/audio_file.h"
#include "audio/progress_bar.h"
#include "audio/render_session.h"
#include "audio/test_signal.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

constexpr double kDefaultSampleRate = 44100.0;
constexpr int kDemoChannels = 2;

struct Source {
    AudioBuffer buffer;
    std::optional<AudioFileFormat> format;  // none for the embedded signal
    std::string description;
};

Source loadSource(const RenderingOptions& arguments) {
    Source source;
    if (arguments.input.empty()) {
        source.buffer =
            makeDemoSignal(arguments.sampleRate > 0.0 ? arguments.sampleRate : kDefaultSampleRate, kDemoChannels);
        source.description = "embedded plucked strings";
        return source;
    }
    LoadedAudio loaded = readAudioFile(arguments.input);
    if (arguments.sampleRate > 0.0 && arguments.sampleRate != loaded.buffer.sampleRate) {
        throw UsageError(format("--rate %.0f differs from the %.0f Hz of %s; plughost does not resample",
                                arguments.sampleRate, loaded.buffer.sampleRate, arguments.input.c_str()));
    }
    source.buffer = std::move(loaded.buffer);
    source.format = loaded.format;
    source.description = arguments.input + " (" + loaded.format.describe() + ")";
    return source;
}

constexpr int kLargestBlock = 1 << 20;

// INDEX=VALUE with a normalised value; an empty text when it is one.
std::string settingProblem(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        return "needs INDEX=VALUE, not '" + text + "'";
    }
    const std::string index = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(index.c_str(), &end, 10);
    if (index.empty() || *end != '\0' || errno != 0 || number < 0 || number > 100000) {
        return "INDEX needs a whole number from 0, not '" + index + "'";
    }
    const double level = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(level >= 0.0 && level <= 1.0)) {
        return "VALUE is a normalised parameter value from 0 to 1, not '" + value + "'";
    }
    return "";
}

ParameterSetting parseSetting(const std::string& text) {
    const auto equals = text.find('=');
    return ParameterSetting{std::atoi(text.substr(0, equals).c_str()),
                            static_cast<float>(std::strtod(text.c_str() + equals + 1, nullptr))};
}

void addRenderingOptions(CLI::App& command, RenderingOptions& options) {
    command.add_option("PLUGIN", options.plugin, "The plug-in library file")->required();
    command.add_option("-i,--input", options.input, "Input file (WAV, AIFF, FLAC); default: embedded plucked strings")
        ->type_name("IN");
    command.add_option("--block", options.blockSize, "Frames per process call")
        ->check(CLI::Range(1, kLargestBlock))
        ->capture_default_str();
    command.add_option("--rate", options.sampleRate, "Sample rate of the embedded input (default 44100)")
        ->check(CLI::Range(8000.0, 768000.0))
        ->type_name("HZ");
    command.add_flag("--float", options.wantFloat, "Write 32-bit float samples");
}

std::string speedText(double speed) {
    return speed > 0.0 ? format("%.1fx", speed) : "-";
}

}  // namespace

void addRenderCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderCommandOptions>();
    CLI::App* command = app.add_subcommand("render", "Run audio through the plug-in into a file");
    addRenderingOptions(*command, options->rendering);
    command->add_option("-o,--output", options->output, "Output file")->required()->type_name("OUT");
    command->add_option("--program", options->program, "Select program N first")
        ->check(CLI::Range(0, 100000))
        ->type_name("N");
    command->add_option("--set", options->settings, "Set a parameter (normalised 0..1) after the program; repeatable")
        ->check(CLI::Validator(settingProblem, ""))
        ->type_name("INDEX=VALUE");
    command->callback([options, &exitCode] { exitCode = runRender(*options, std::cout); });
}

void addRenderProgramsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RenderProgramsCommandOptions>();
    CLI::App* command = app.add_subcommand(
        "render-programs", "Render through every program into DIR/program-N.wav and print a table of levels");
    addRenderingOptions(*command, options->rendering);
    command->add_option("-d,--directory", options->directory, "Output directory")->required()->type_name("DIR");
    command->callback([options, &exitCode] { exitCode = runRenderPrograms(*options, std::cout); });
}

int runRender(const RenderCommandOptions& options, std::ostream& out) {
    const RenderingOptions& arguments = options.rendering;
    const Source source = loadSource(arguments);
    const AudioFileFormat outputFormat =
        chooseOutputFormat(options.output, source.format ? &*source.format : nullptr, arguments.wantFloat);
    PluginModule module(arguments.plugin);

    RenderJob job;
    if (options.program >= 0) {
        job.program = options.program;
    }
    for (const std::string& setting : options.settings) {
        job.settings.push_back(parseSetting(setting));
    }
    job.blockSize = arguments.blockSize;
    job.showProgress = ProgressBar::isTerminal(stdout);
    const RenderReport report = renderWith(module, source.buffer, job);
    writeAudioFile(options.output, report.output, outputFormat);

    out << format("%-10s%s, %d channels, %.0f Hz, %.2f s\n", "input", source.description.c_str(),
                  source.buffer.channelCount(), source.buffer.sampleRate, source.buffer.seconds());
    out << format("%-10s%s (%s), %d channels\n", "output", options.output.c_str(), outputFormat.describe().c_str(),
                  report.output.channelCount());
    if (job.program) {
        out << format("%-10s%d %s\n", "program", *job.program, report.programName.c_str());
    }
    out << format("%-10s%-12s%-12s\n", "", "peak", "RMS");
    out << format("%-10s%-12s%-12s\n", "in", formatDecibels(report.in.peak).c_str(),
                  formatDecibels(report.in.rms()).c_str());
    out << format("%-10s%-12s%-12s\n", "out", formatDecibels(report.out.peak).c_str(),
                  formatDecibels(report.out.rms()).c_str());
    if (!report.out.onlyNormalNumbers()) {
        out << "warning: the output held " << report.out.describeBadValues() << " values\n";
    }
    out << format("%-10s%s real time\n", "speed", speedText(report.speed()).c_str());
    return 0;
}

int runRenderPrograms(const RenderProgramsCommandOptions& options, std::ostream& out) {
    const RenderingOptions& arguments = options.rendering;
    const Source source = loadSource(arguments);
    PluginModule module(arguments.plugin);
    std::filesystem::create_directories(options.directory);

    const int programs = countPrograms(module);
    if (programs <= 0) {
        throw LoadError("plug-in " + arguments.plugin + " has no programs to render");
    }

    out << format("%-8s %-24s %9s %9s %9s %9s %9s\n", "program", "name", "peak in", "RMS in", "peak out", "RMS out",
                  "speed");
    for (int program = 0; program < programs; ++program) {
        const std::string path =
            (std::filesystem::path(options.directory) / format("program-%d.wav", program)).string();
        const AudioFileFormat outputFormat =
            chooseOutputFormat(path, source.format ? &*source.format : nullptr, arguments.wantFloat);
        RenderJob job;
        job.program = program;
        job.blockSize = arguments.blockSize;
        const RenderReport report = renderWith(module, source.buffer, job);
        writeAudioFile(path, report.output, outputFormat);
        out << format("%-8d %-24s %9s %9s %9s %9s %9s\n", program, report.programName.c_str(),
                      formatDecibels(report.in.peak).c_str(), formatDecibels(report.in.rms()).c_str(),
                      formatDecibels(report.out.peak).c_str(), formatDecibels(report.out.rms()).c_str(),
                      speedText(report.speed()).c_str());
        out.flush();
    }
    out << format("%d files in %s\n", programs, options.directory.c_str());
    return 0;
}
