#include "commands/analyze_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "analysis/analysis_session.h"
#include "analysis/data_files.h"
#include "analysis/plots.h"
#include "analysis/staging_directory.h"
#include "commands/exit_codes.h"
#include "commands/option_text.h"
#include "commands/tempo_options.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

#ifdef _WIN32
constexpr bool kPlotsWithoutGnuplot = true;
#else
constexpr bool kPlotsWithoutGnuplot = false;
#endif

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

std::string hertz(double value) {
    return value >= 1000.0 ? format("%.3g kHz", value / 1000.0) : format("%.0f Hz", value);
}

// "-20", "0", "+6"
std::string level(double dbfs) {
    return format(dbfs > 0.0 ? "%+.0f" : "%.0f", dbfs);
}

void printSummary(const AnalysisReport& report, std::ostream& out) {
    out << format("%-11s%s", "analyzed", report.plugin.c_str());
    if (!report.effectName.empty()) {
        out << " (" << report.effectName << ")";
    }
    if (!report.programName.empty()) {
        out << ", program \"" << report.programName << "\"";
    }
    out << format(", %.0f Hz", report.sampleRate);
    if (report.latency != 0) {
        out << format(", latency %d samples", report.latency);
    }
    out << "\n";
    if (report.transfer.staticFunction) {
        out << format("%-11slargest change of a sample %.3g of full scale\n", "transfer",
                      report.transfer.largestDeviation);
    } else {
        out << format(
            "%-11snot drawn: the output is no static function of the input (the input played backwards gives an "
            "output %.1f %% different, as with filters, delays or dynamics); the level curve shows what it does\n",
            "transfer", 100.0 * report.transfer.memory);
    }
    if (!report.level.empty()) {
        const LevelPoint& low = report.level.front();
        const LevelPoint& high = report.level.back();
        out << format("%-11s%.0f dBFS in: %.1f dBFS out; %.0f dBFS in: %.1f dBFS out\n", "level", low.inputDb,
                      low.outputDb, high.inputDb, high.outputDb);
    }
    for (const HarmonicsResult& result : report.harmonics) {
        out << format("%-11s%.0f dBFS: THD %.3g %%, THD+N %.3g %%\n", "harmonics", result.inputDb, result.thdPercent,
                      result.thdPlusNoisePercent);
    }
    const FrequencyResponse& response = report.response;
    if (!response.points.empty()) {
        double low = response.points.front().y, high = low;
        for (const CurvePoint& point : response.points) {
            low = std::min(low, point.y);
            high = std::max(high, point.y);
        }
        out << format("%-11s%.1f to %.1f dB from %s to %s", "response", low, high,
                      hertz(response.points.front().x).c_str(), hertz(response.points.back().x).c_str());
        std::vector<std::string> marks;
        for (const Crossover& crossover : response.crossovers) {
            marks.push_back(crossover.name + " crossover " + hertz(crossover.measured) +
                            (crossover.shown ? format(" (display says %.0f Hz)", *crossover.shown) : ""));
        }
        if (marks.empty()) {
            for (double corner : response.corners) {
                marks.push_back("3 dB below the peak at " + hertz(corner));
            }
        }
        out << (marks.empty() ? "" : "; " + joined(marks, ", ")) << "\n";
    }
    if (!response.groupDelay.empty()) {
        const auto byValue = [](const CurvePoint& a, const CurvePoint& b) { return a.y < b.y; };
        const auto [least, most] = std::minmax_element(response.phase.begin(), response.phase.end(), byValue);
        const auto longest = std::max_element(response.groupDelay.begin(), response.groupDelay.end(), byValue);
        out << format("%-11s%.1f to %.1f degrees; group delay up to %.3g ms (at %s)\n", "phase", least->y, most->y,
                      longest->y, hertz(longest->x).c_str());
    }
    const ImpulseResponse& impulse = report.impulse;
    out << format("%-11speak %.3g at %.3g ms, %s\n", "impulse", impulse.peak, impulse.peakMs,
                  impulse.decayMs ? format("60 dB down after %.3g ms", *impulse.decayMs).c_str()
                                  : "not 60 dB down within the 2 s rendered");
    std::vector<std::string> loudness;
    for (const LoudnessPoint& point : report.loudness) {
        if (std::lround(point.inputLufs) == -24 || std::lround(point.inputLufs) == 0) {
            loudness.push_back(
                format("%.0f LUFS in: %s out, true peak %.1f dBTP", point.inputLufs,
                       point.outputLufs > -399.0 ? format("%.1f LUFS", point.outputLufs).c_str() : "no loudness",
                       point.outputTruePeakDbtp));
        }
    }
    if (!loudness.empty()) {
        out << format("%-11spink noise, %s\n", "loudness", joined(loudness, "; ").c_str());
    }
    const DynamicsResult& dynamics = report.dynamics;
    if (!dynamics.gainMoves) {
        out << format("%-11sthe gain does not move with the level (%.2f dB from -60 to +6 dBFS)\n", "dynamics",
                      dynamics.spanDb);
    } else {
        const auto time = [](const std::optional<double>& ms) {
            return ms ? format("%.3g ms", *ms) : std::string("not settled");
        };
        out << format(
            "%-11sa step from %s to %s dBFS moves the gain %+.1f dB: attack %s, release %s (90 %% of the "
            "change)\n",
            "dynamics", level(dynamics.lowDbfs).c_str(), level(dynamics.highDbfs).c_str(),
            dynamics.highGainDb - dynamics.lowGainDb, time(dynamics.attackMs).c_str(),
            time(dynamics.releaseMs).c_str());
    }
    out << format("%-11s%s at %.0f dBFS: %.1f dB off the harmonic series\n", "aliasing",
                  hertz(report.aliasing.fundamental).c_str(), report.aliasing.inputDb, report.aliasing.offHarmonicDb);
    if (!report.cost.empty()) {
        std::vector<std::string> costs;
        for (const CostPoint& point : report.cost) {
            costs.push_back(format("block %d: %.1f ns/sample", point.blockSize, point.nanosecondsPerSample));
        }
        out << format("%-11s%s\n", "cost", joined(costs, ", ").c_str());
    }
}

}  // namespace

void addAnalyzeCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<AnalyzeOptions>();
    CLI::App* command = app.add_subcommand(
        "analyze",
        "Measure transfer curve, level curve, harmonics, frequency response and phase, impulse response, loudness, "
        "attack and release, aliasing and cost into DIR");
    command->add_option("PLUGIN", options->plugin, "The plug-in library file")->required();
    command->add_option("-d,--directory", options->directory, "Folder for the plots and data (created if missing)")
        ->required()
        ->type_name("DIR");
    command->add_option("--program", options->program, "Select program N first")
        ->check(CLI::Range(0, 100000))
        ->type_name("N");
    command
        ->add_option_function<std::vector<std::string>>(
            "--set",
            [options](const std::vector<std::string>& texts) {
                for (const std::string& text : texts) {
                    options->settings.push_back(parseSetting(text));
                }
            },
            "Set a parameter after the program: a normalised value (0..1) or the value as the plug-in displays "
            "it, with its unit ('Gain=+6 dB'); repeatable")
        ->type_name("NAME=VALUE");
    command
        ->add_option_function<std::string>(
            "--rate", [options](const std::string& text) { options->sampleRate = parseSampleRate(text, "--rate"); },
            "Sample rate of the measurements, in Hz (default 44100)")
        ->type_name("HZ");
    addTempoOptions(*command, options->tempo, false);
    command->add_flag("--json", options->json, "Also write every figure and data series into DIR/analysis.json");
    command->add_flag(
        "--no-plots", [options](std::int64_t) { options->plots = false; }, "Write the data only (no gnuplot needed)");
    command->add_flag(
        "--no-cost", [options](std::int64_t) { options->cost = false; },
        "Leave out the timing, whose figures differ from run to run");
    command->callback([options, &exitCode] { exitCode = runAnalyze(*options, std::cout); });
}

int runAnalyze(const AnalyzeOptions& options, std::ostream& out) {
    const std::string gnuplot = options.plots ? gnuplotProgram() : std::string();
    // Without gnuplot, Linux stops before measuring (one package away);
    // Windows writes the plot script with the data, to draw later.
    if (options.plots && gnuplot.empty() && !kPlotsWithoutGnuplot) {
        throw UsageError("gnuplot cannot be started: install it (Debian: apt install gnuplot-nox) or use --no-plots");
    }
    PluginModule module(options.plugin);
    AnalysisJob job;
    if (options.program >= 0) {
        job.program = options.program;
    }
    job.settings = options.settings;  // names are resolved on the first instance, before any measurement
    job.sampleRate = options.sampleRate;
    job.tempo = options.tempo;
    job.measureCost = options.cost;
    const AnalysisReport report = analyzePlugin(module, job);

    StagingDirectory staging(options.directory);
    for (const DataFile& file : csvFiles(report)) {
        staging.write(file.name, file.content);
    }
    if (options.json) {
        staging.write("analysis.json", reportJson(report));
    }
    if (options.plots) {
        const std::string title =
            report.programName.empty() ? report.effectName : report.effectName + ", \"" + report.programName + "\"";
        staging.write("plots.gp", plotScript(report, title.empty() ? "plug-in" : title));
        if (!gnuplot.empty()) {
            runGnuplot(gnuplot, staging.pathOf(""), "plots.gp");
            for (const std::string& name : plotFiles(report)) {
                staging.adopt(name);
            }
        }
    }
    // What a run with every option writes; of these, what this run did not
    // write would be left over from an earlier one.
    AnalysisReport everything = report;
    everything.cost.resize(1);
    everything.transfer.staticFunction = true;
    everything.dynamics.gainMoves = true;
    std::vector<std::string> obsolete = plotFiles(everything);
    for (const DataFile& file : csvFiles(everything)) {
        obsolete.push_back(file.name);
    }
    obsolete.push_back("analysis.json");
    obsolete.push_back("plots.gp");
    staging.commit(obsolete);

    printSummary(report, out);
    out << format("%-11s%zu files in %s\n", "wrote", staging.names().size(), options.directory.c_str());
    if (options.plots && gnuplot.empty()) {
        out.flush();
        std::cerr << "note: gnuplot.exe is not on PATH, so the plots are not drawn; to draw them, install gnuplot, "
                     "then run 'gnuplot plots.gp' in "
                  << options.directory << " (or add --no-plots to leave the script out)\n";
    }
    return kExitSuccess;
}
