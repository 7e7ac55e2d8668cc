#include "commands/render_summary.h"

#include <cmath>

#include "audio/resampler.h"
#include "plugin/preset_file.h"
#include "support/text_format.h"

namespace {

// Levels in JSON: dBFS, null for silence, the strings "NaN" and "+inf" for
// broken output (JSON has no numbers for them).
nlohmann::json decibels(double linear) {
    if (std::isnan(linear)) {
        return "NaN";
    }
    const double value = toDecibels(linear);
    if (std::isinf(value)) {
        return value > 0 ? nlohmann::json("+inf") : nlohmann::json(nullptr);
    }
    return value;
}

nlohmann::json levels(const SignalStats& stats) {
    return {{"peak_dbfs", decibels(stats.peak)},
            {"rms_dbfs", decibels(stats.rms())},
            {"nan", stats.nans},
            {"infinite", stats.infinities},
            {"subnormal", stats.subnormals},
            {"beyond_full_scale", stats.overFullScale}};
}

// "3 Brutal Distortion!"; empty for a plug-in without programs.
std::string programText(const PluginReport& plugin) {
    return plugin.program ? format("%d %s", *plugin.program, plugin.programName.c_str()) : std::string();
}

// "the input 48000 -> 44100 Hz, the output 44100 -> 96000 Hz"
std::string resamplingText(const std::vector<Resampling>& resampled) {
    std::string text;
    for (const Resampling& entry : resampled) {
        text += format("%s%s %.0f -> %.0f Hz", text.empty() ? "" : ", ", entry.stream.c_str(), entry.from, entry.to);
    }
    return text;
}

// The rate the input file has: resampled from, or the plug-ins'.
double inputFileRate(const FileRenderOutcome& outcome) {
    for (const Resampling& entry : outcome.resampled) {
        if (entry.stream == "input") {
            return entry.from;
        }
    }
    return outcome.report.sampleRate;
}

nlohmann::json parameterJson(const ParameterRef& parameter) {
    return {{"index", parameter.index ? nlohmann::json(*parameter.index) : nlohmann::json(nullptr)},
            {"name", parameter.name}};
}

}  // namespace

std::string speedText(double speed) {
    return speed > 0.0 ? format("%.1fx", speed) : "-";
}

void printRenderSummary(const FileRenderOutcome& outcome, const RenderRequest& request, std::ostream& out) {
    const RenderReport& report = outcome.report;
    const double rate = report.sampleRate;
    const std::string channels = outcome.inputChannels > 1    ? format("%d channels, ", outcome.inputChannels)
                                 : outcome.inputChannels == 1 ? std::string("1 channel, ")
                                                              : std::string();
    out << format("%-10s%s, %s%.0f Hz, %.2f s\n", "input", outcome.input.c_str(), channels.c_str(),
                  inputFileRate(outcome), static_cast<double>(report.inputFrames) / rate);
    if (!outcome.midi.empty()) {
        out << format("%-10s%s\n", "midi", outcome.midi.c_str());
    }
    if (!outcome.resampled.empty()) {
        out << format("%-10s%s (%s)\n", "resampled", resamplingText(outcome.resampled).c_str(), kResamplingQuality);
    }
    const std::size_t plugins = report.plugins.size();
    if (plugins > 1) {
        std::string chain;
        for (std::size_t k = 0; k < plugins; ++k) {
            chain += format("%s%zu %s", k == 0 ? "" : ", then ", k + 1, request.chain[k].path.c_str());
        }
        out << format("%-10s%s\n", "chain", chain.c_str());
    }
    out << format("%-10s%s\n", "inputs", outcome.inputMapping.c_str());
    out << format("%-10s%s\n", "outputs", outcome.outputMapping.c_str());
    std::string programs;
    for (std::size_t k = 0; k < plugins; ++k) {
        if (report.plugins[k].program) {
            programs += (programs.empty() ? "" : ", ") + (plugins > 1 ? format("%zu: ", k + 1) : std::string()) +
                        programText(report.plugins[k]);
        }
    }
    if (!programs.empty()) {
        out << format("%-10s%s\n", "program", programs.c_str());
    }
    std::string presets;
    for (std::size_t k = 0; k < outcome.plan.plugins.size(); ++k) {
        const PluginSetup& setup = outcome.plan.plugins[k];
        if (setup.preset) {
            presets += (presets.empty() ? "" : "; ") + (plugins > 1 ? format("%zu: ", k + 1) : std::string()) +
                       setup.presetPath + ": " + describePreset(*setup.preset);
        }
    }
    if (!presets.empty()) {
        out << format("%-10s%s\n", "preset", presets.c_str());
    }
    if (report.latency != 0) {
        std::string parts;
        for (std::size_t k = 0; plugins > 1 && k < plugins; ++k) {
            parts += format("%s%d", k == 0 ? ": " : " + ", report.plugins[k].latency);
        }
        out << format("%-10s%d samples%s (%s)\n", "latency", report.latency, parts.c_str(),
                      report.latencySkipped > 0 ? "compensated" : "left in the output");
    }
    out << format("%-10s%.2f s%s\n", "tail", static_cast<double>(report.tailFrames) / rate,
                  report.tailEndedQuiet ? " (ended once quiet)" : "");
    const std::string path = outcome.output.path == kStandardOutput ? "standard output" : outcome.output.path;
    out << format("%-10s%s (%s), %d channel%s, %.0f Hz, %.2f s%s\n", "output", path.c_str(),
                  outcome.output.format.describe().c_str(), outcome.output.channels,
                  outcome.output.channels == 1 ? "" : "s", report.outputRate,
                  static_cast<double>(report.outputFrames) / report.outputRate,
                  outcome.kept()                           ? ""
                  : outcome.output.path == kStandardOutput ? ", NOT TO BE TRUSTED"
                                                           : ", NOT WRITTEN");
    out << format("%-10s%-12s%-12s\n", "", "peak", "RMS");
    out << format("%-10s%-12s%-12s\n", "in", formatDecibels(report.in.peak).c_str(),
                  formatDecibels(report.in.rms()).c_str());
    out << format("%-10s%-12s%-12s\n", "out", formatDecibels(report.out.peak).c_str(),
                  formatDecibels(report.out.rms()).c_str());
    out << format("%-10s%s real time in the plug-in%s, %s overall\n", "speed", speedText(report.speed()).c_str(),
                  plugins > 1 ? "s" : "", speedText(report.overallSpeed()).c_str());
}

void printRenderMessages(const FileRenderOutcome& outcome, std::ostream& err) {
    for (const std::string& note : outcome.notes) {
        err << "note: " << note << "\n";
    }
    for (const std::string& warning : outcome.warnings) {
        err << "warning: " << warning << "\n";
    }
    for (const std::string& problem : outcome.problems) {
        err << "plughost: " << problem << "\n";
    }
    if (!outcome.kept()) {
        err << (outcome.output.path == kStandardOutput
                    ? "plughost: the stream on standard output holds it all the same: do not use it\n"
                    : "plughost: no output file was written\n");
    }
}

namespace {

nlohmann::json setupJson(const PluginSetup& setup) {
    nlohmann::json settings = nlohmann::json::array();
    for (const ParameterSetting& setting : setup.settings) {
        settings.push_back({{"parameter", parameterJson(setting.parameter)}, {"value", setting.value}});
        if (setting.display) {
            settings.back()["display"] = setting.display->text;
        }
    }
    nlohmann::json automation = nlohmann::json::array();
    for (const AutomationRequest& request : setup.automation) {
        nlohmann::json points = nlohmann::json::array();
        for (const AutomationPoint& point : request.points) {
            points.push_back({{"seconds", point.seconds}, {"value", point.value}});
        }
        automation.push_back({{"parameter", parameterJson(request.parameter)}, {"points", points}});
    }
    const nlohmann::json preset =
        setup.preset ? nlohmann::json{{"path", setup.presetPath}, {"contents", describePreset(*setup.preset)}}
                     : nlohmann::json(nullptr);
    return {{"preset", preset}, {"settings", settings}, {"automation", automation}};
}

}  // namespace

nlohmann::json renderJson(const FileRenderOutcome& outcome, const RenderRequest& request) {
    const RenderReport& report = outcome.report;
    const double rate = report.sampleRate;
    nlohmann::json chain = nlohmann::json::array();
    for (std::size_t k = 0; k < report.plugins.size() && k < outcome.plan.plugins.size(); ++k) {
        const PluginReport& plugin = report.plugins[k];
        nlohmann::json entry = setupJson(outcome.plan.plugins[k]);
        entry["plugin"] = request.chain[k].path;
        entry["program"] = plugin.program ? nlohmann::json(programText(plugin)) : nlohmann::json(nullptr);
        entry["latency_samples"] = plugin.latency;
        chain.push_back(entry);
    }
    nlohmann::json resampled = nlohmann::json::array();
    for (const Resampling& entry : outcome.resampled) {
        resampled.push_back({{"stream", entry.stream}, {"from_hz", entry.from}, {"to_hz", entry.to}});
    }
    const nlohmann::json first = chain.empty() ? nlohmann::json::object() : chain.front();
    nlohmann::json json = {
        {"plugin", request.chain.front().path},
        {"program", first.value("program", nlohmann::json(nullptr))},
        {"preset", first.value("preset", nlohmann::json(nullptr))},
        {"settings", first.value("settings", nlohmann::json::array())},
        {"automation", first.value("automation", nlohmann::json::array())},
        {"chain", chain},
        {"input", {{"source", outcome.input}, {"channels", outcome.inputChannels}, {"frames", report.inputFrames}}},
        {"sample_rate", rate},
        {"resampled", resampled},
        {"mapping", {{"inputs", outcome.inputMapping}, {"outputs", outcome.outputMapping}}},
        {"output",
         {{"path", outcome.output.path},
          {"format", outcome.output.format.describe()},
          {"channels", outcome.output.channels},
          {"sample_rate", report.outputRate},
          {"frames", report.outputFrames},
          {"written", outcome.kept() || outcome.output.path == kStandardOutput},
          {"trusted", outcome.kept()}}},
        {"latency_samples", report.latency},
        {"latency_compensated", report.latencySkipped > 0},
        {"tail_seconds", static_cast<double>(report.tailFrames) / rate},
        {"tail_ended_quiet", report.tailEndedQuiet},
        {"levels", {{"in", levels(report.in)}, {"out", levels(report.out)}}},
        {"speed",
         {{"plugin_seconds", report.processSeconds},
          {"total_seconds", report.totalSeconds},
          {"realtime_factor", report.speed()},
          {"overall_realtime_factor", report.overallSpeed()}}},
        {"notes", outcome.notes},
        {"warnings", outcome.warnings},
        {"problems", outcome.problems},
    };
    if (report.out.firstNonFinite) {
        json["levels"]["out"]["first_non_finite"] = {{"frame", report.out.firstNonFinite->frame},
                                                     {"channel", report.out.firstNonFinite->channel + 1}};
    }
    if (!outcome.midi.empty()) {
        json["midi"] = outcome.midi;
    }
    return json;
}
