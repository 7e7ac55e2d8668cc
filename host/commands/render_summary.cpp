#include "commands/render_summary.h"

#include <cmath>

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

nlohmann::json optionalNumber(const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json levels(const SignalStats& stats, const LoudnessFigures& loudness) {
    return {{"peak_dbfs", decibels(stats.peak)},
            {"rms_dbfs", decibels(stats.rms())},
            {"integrated_lufs", optionalNumber(loudness.integratedLufs)},
            {"loudness_range_lu", optionalNumber(loudness.rangeLu)},
            {"true_peak_dbtp", decibels(loudness.truePeak)},
            {"nan", stats.nans},
            {"infinite", stats.infinities},
            {"subnormal", stats.subnormals},
            {"beyond_full_scale", stats.overFullScale}};
}

// "3 Brutal Distortion!"; empty for a plug-in without programs.
std::string programText(const RenderReport& report) {
    return report.program ? format("%d %s", *report.program, report.programName.c_str()) : std::string();
}

nlohmann::json parameterJson(const ParameterRef& parameter) {
    return {{"index", parameter.index ? nlohmann::json(*parameter.index) : nlohmann::json(nullptr)},
            {"name", parameter.name}};
}

}  // namespace

std::string speedText(double speed) {
    return speed > 0.0 ? format("%.1fx", speed) : "-";
}

std::string integratedText(const LoudnessFigures& figures) {
    return figures.integratedLufs ? format("%.1f LUFS", *figures.integratedLufs) : "-";
}

std::string rangeText(const LoudnessFigures& figures) {
    return figures.rangeLu ? format("%.1f LU", *figures.rangeLu) : "-";
}

std::string truePeakText(const LoudnessFigures& figures) {
    std::string text = formatDecibels(figures.truePeak);
    const std::size_t unit = text.rfind(" dBFS");
    return unit == std::string::npos ? text : text.replace(unit, std::string::npos, " dBTP");
}

void printRenderSummary(const FileRenderOutcome& outcome, const RenderJob& job, std::ostream& out) {
    const RenderReport& report = outcome.report;
    const double rate = report.sampleRate;
    const std::string channels = outcome.inputChannels > 1    ? format("%d channels, ", outcome.inputChannels)
                                 : outcome.inputChannels == 1 ? std::string("1 channel, ")
                                                              : std::string();
    out << format("%-10s%s, %s%.0f Hz, %.2f s\n", "input", outcome.input.c_str(), channels.c_str(), rate,
                  static_cast<double>(report.inputFrames) / rate);
    if (!outcome.midi.empty()) {
        out << format("%-10s%s\n", "midi", outcome.midi.c_str());
    }
    out << format("%-10s%s\n", "inputs", outcome.inputMapping.c_str());
    out << format("%-10s%s\n", "outputs", outcome.outputMapping.c_str());
    if (report.program) {
        out << format("%-10s%s\n", "program", programText(report).c_str());
    }
    if (report.latency != 0) {
        out << format("%-10s%d samples (%s)\n", "latency", report.latency,
                      report.latencySkipped > 0 ? "compensated" : "left in the output");
    }
    out << format("%-10s%.2f s%s\n", "tail", static_cast<double>(report.tailFrames) / rate,
                  report.tailEndedQuiet ? " (ended once quiet)" : "");
    out << format("%-10s%s (%s), %d channel%s, %.2f s%s\n", "output", job.output.c_str(),
                  outcome.format.describe().c_str(), outcome.outputChannels, outcome.outputChannels == 1 ? "" : "s",
                  static_cast<double>(report.outputFrames) / rate, outcome.kept() ? "" : ", NOT WRITTEN");
    out << format("%-10s%-12s%-12s%-12s%-10s%s\n", "", "peak", "RMS", "loudness", "range", "true peak");
    const auto row = [&out](const char* name, const SignalStats& stats, const LoudnessFigures& loudness) {
        out << format("%-10s%-12s%-12s%-12s%-10s%s\n", name, formatDecibels(stats.peak).c_str(),
                      formatDecibels(stats.rms()).c_str(), integratedText(loudness).c_str(),
                      rangeText(loudness).c_str(), truePeakText(loudness).c_str());
    };
    row("in", report.in, report.inLoudness);
    row("out", report.out, report.outLoudness);
    out << format("%-10s%s real time in the plug-in, %s overall\n", "speed", speedText(report.speed()).c_str(),
                  speedText(report.overallSpeed()).c_str());
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
        err << "plughost: no output file was written\n";
    }
}

nlohmann::json renderJson(const FileRenderOutcome& outcome, const RenderJob& job) {
    const RenderReport& report = outcome.report;
    const double rate = report.sampleRate;
    nlohmann::json settings = nlohmann::json::array();
    for (const ParameterSetting& setting : report.settings) {
        settings.push_back({{"parameter", parameterJson(setting.parameter)}, {"value", setting.value}});
    }
    nlohmann::json automation = nlohmann::json::array();
    for (const AutomationRequest& request : report.automation) {
        nlohmann::json points = nlohmann::json::array();
        for (const AutomationPoint& point : request.points) {
            points.push_back({{"seconds", point.seconds}, {"value", point.value}});
        }
        automation.push_back({{"parameter", parameterJson(request.parameter)}, {"points", points}});
    }
    nlohmann::json json = {
        {"plugin", job.plugin},
        {"program", report.program ? nlohmann::json(programText(report)) : nlohmann::json(nullptr)},
        {"settings", settings},
        {"automation", automation},
        {"input", {{"source", outcome.input}, {"channels", outcome.inputChannels}, {"frames", report.inputFrames}}},
        {"sample_rate", rate},
        {"mapping", {{"inputs", outcome.inputMapping}, {"outputs", outcome.outputMapping}}},
        {"output",
         {{"path", job.output},
          {"format", outcome.format.describe()},
          {"channels", outcome.outputChannels},
          {"frames", report.outputFrames},
          {"written", outcome.kept()}}},
        {"latency_samples", report.latency},
        {"latency_compensated", report.latencySkipped > 0},
        {"tail_seconds", static_cast<double>(report.tailFrames) / rate},
        {"tail_ended_quiet", report.tailEndedQuiet},
        {"levels", {{"in", levels(report.in, report.inLoudness)}, {"out", levels(report.out, report.outLoudness)}}},
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
