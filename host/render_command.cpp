#include "render_command.h"

#include <filesystem>
#include <optional>

#include "arguments.h"
#include "audio_file.h"
#include "host_error.h"
#include "plugin_module.h"
#include "progress_bar.h"
#include "render_session.h"
#include "test_signal.h"
#include "text_format.h"

namespace {

constexpr double kDefaultSampleRate = 44100.0;
constexpr int kDemoChannels = 2;

struct Source {
    AudioBuffer buffer;
    std::optional<AudioFileFormat> format;  // none for the embedded signal
    std::string description;
};

Source loadSource(const Arguments& arguments) {
    Source source;
    if (arguments.input.empty()) {
        source.buffer = makeDemoSignal(arguments.sampleRate.value_or(kDefaultSampleRate), kDemoChannels);
        source.description = "embedded plucked strings";
        return source;
    }
    LoadedAudio loaded = readAudioFile(arguments.input);
    if (arguments.sampleRate && *arguments.sampleRate != loaded.buffer.sampleRate) {
        throw HostError(format("--rate %.0f differs from the %.0f Hz of %s; plughost does not resample",
                               *arguments.sampleRate, loaded.buffer.sampleRate, arguments.input.c_str()));
    }
    source.buffer = std::move(loaded.buffer);
    source.format = loaded.format;
    source.description = arguments.input + " (" + loaded.format.describe() + ")";
    return source;
}

std::string speedText(double speed) {
    return speed > 0.0 ? format("%.1fx", speed) : "-";
}

}  // namespace

int runRender(const Arguments& arguments, std::ostream& out) {
    const Source source = loadSource(arguments);
    const AudioFileFormat outputFormat =
        chooseOutputFormat(arguments.output, source.format ? &*source.format : nullptr, arguments.wantFloat);
    PluginModule module(arguments.plugin);

    RenderJob job;
    job.program = arguments.program;
    job.settings = arguments.settings;
    job.blockSize = arguments.blockSize;
    job.showProgress = ProgressBar::isTerminal(stdout);
    const RenderReport report = renderWith(module, source.buffer, job);
    writeAudioFile(arguments.output, report.output, outputFormat);

    out << format("%-10s%s, %d channels, %.0f Hz, %.2f s\n", "input", source.description.c_str(),
                  source.buffer.channelCount(), source.buffer.sampleRate, source.buffer.seconds());
    out << format("%-10s%s (%s), %d channels\n", "output", arguments.output.c_str(), outputFormat.describe().c_str(),
                  report.output.channelCount());
    if (arguments.program) {
        out << format("%-10s%d %s\n", "program", *arguments.program, report.programName.c_str());
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

int runRenderPrograms(const Arguments& arguments, std::ostream& out) {
    const Source source = loadSource(arguments);
    PluginModule module(arguments.plugin);
    std::filesystem::create_directories(arguments.directory);

    const int programs = countPrograms(module);
    if (programs <= 0) {
        throw HostError("plug-in " + arguments.plugin + " has no programs to render");
    }

    out << format("%-8s %-24s %9s %9s %9s %9s %9s\n", "program", "name", "peak in", "RMS in", "peak out", "RMS out",
                  "speed");
    for (int program = 0; program < programs; ++program) {
        const std::string path =
            (std::filesystem::path(arguments.directory) / format("program-%d.wav", program)).string();
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
    out << format("%d files in %s\n", programs, arguments.directory.c_str());
    return 0;
}
