#include "analysis/data_files.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace {

// Enough digits to read back what was measured; plain decimal, never "nan".
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", std::isfinite(value) ? value : 0.0);
    return text;
}

std::string curveCsv(const char* header, const std::vector<CurvePoint>& points) {
    std::string text = std::string(header) + "\n";
    for (const CurvePoint& point : points) {
        text += number(point.x) + "," + number(point.y) + "\n";
    }
    return text;
}

std::string seriesCsv(const std::vector<HarmonicLevel>& harmonics) {
    std::string text = "order,frequency_hz,level_dbfs,relative_db\n";
    for (const HarmonicLevel& h : harmonics) {
        text += std::to_string(h.order) + "," + number(h.frequency) + "," + number(h.levelDb) + "," +
                number(h.relativeDb) + "\n";
    }
    return text;
}

std::string responseCsv(const FrequencyResponse& response) {
    std::string text = "frequency_hz,gain_db";
    for (const auto& band : response.bands) {
        text += "," + band.first + "_db";
    }
    text += "\n";
    for (std::size_t i = 0; i < response.points.size(); ++i) {
        text += number(response.points[i].x) + "," + number(response.points[i].y);
        for (const auto& band : response.bands) {
            text += "," + (i < band.second.size() ? number(band.second[i].y) : std::string("0"));
        }
        text += "\n";
    }
    return text;
}

nlohmann::json optionalNumber(const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json curveJson(const std::vector<CurvePoint>& points) {
    nlohmann::json array = nlohmann::json::array();
    for (const CurvePoint& point : points) {
        array.push_back({point.x, point.y});
    }
    return array;
}

nlohmann::json harmonicsJson(const std::vector<HarmonicLevel>& harmonics) {
    nlohmann::json array = nlohmann::json::array();
    for (const HarmonicLevel& h : harmonics) {
        array.push_back({{"order", h.order},
                         {"frequency_hz", h.frequency},
                         {"level_dbfs", h.levelDb},
                         {"relative_db", h.relativeDb}});
    }
    return array;
}

}  // namespace

std::string harmonicsStem(const HarmonicsResult& result) {
    return "harmonics" + std::to_string(static_cast<int>(std::lround(result.inputDb))) + "dBFS";
}

std::vector<DataFile> csvFiles(const AnalysisReport& report) {
    std::vector<DataFile> files;
    std::string transfer = "input,low,mean,high\n";
    for (const TransferBin& bin : report.transfer.bins) {
        transfer += number(bin.input) + "," + number(bin.low) + "," + number(bin.mean) + "," + number(bin.high) + "\n";
    }
    files.push_back({"transfer.csv", transfer});
    std::string level = "input_dbfs,output_dbfs,fundamental_dbfs\n";
    for (const LevelPoint& point : report.level) {
        level += number(point.inputDb) + "," + number(point.outputDb) + "," + number(point.fundamentalDb) + "\n";
    }
    files.push_back({"level.csv", level});
    for (const HarmonicsResult& result : report.harmonics) {
        files.push_back({harmonicsStem(result) + ".csv", curveCsv("frequency_hz,level_dbfs", result.spectrum)});
        files.push_back({harmonicsStem(result) + "-series.csv", seriesCsv(result.harmonics)});
    }
    files.push_back({"response.csv", responseCsv(report.response)});
    std::string phase = "frequency_hz,phase_deg,group_delay_ms\n";
    for (std::size_t i = 0; i < report.response.phase.size() && i < report.response.groupDelay.size(); ++i) {
        phase += number(report.response.phase[i].x) + "," + number(report.response.phase[i].y) + "," +
                 number(report.response.groupDelay[i].y) + "\n";
    }
    files.push_back({"phase.csv", phase});
    files.push_back({"impulse.csv", curveCsv("time_ms,amplitude", report.impulse.points)});
    std::string loudness = "input_lufs,output_lufs,output_true_peak_dbtp\n";
    for (const LoudnessPoint& point : report.loudness) {
        loudness +=
            number(point.inputLufs) + "," + number(point.outputLufs) + "," + number(point.outputTruePeakDbtp) + "\n";
    }
    files.push_back({"loudness.csv", loudness});
    const DynamicsResult& dynamics = report.dynamics;
    if (dynamics.gainMoves) {
        std::string steps = "time_ms,attack_gain_db,release_gain_db\n";
        for (std::size_t i = 0; i < dynamics.attack.size() && i < dynamics.release.size(); ++i) {
            steps += number(dynamics.attack[i].x) + "," + number(dynamics.attack[i].y) + "," +
                     number(dynamics.release[i].y) + "\n";
        }
        files.push_back({"dynamics.csv", steps});
    }
    files.push_back({"aliasing.csv", curveCsv("frequency_hz,level_dbfs", report.aliasing.spectrum)});
    if (report.cost.empty()) {
        return files;
    }
    std::string cost = "block_size,ns_per_sample\n";
    for (const CostPoint& point : report.cost) {
        cost += std::to_string(point.blockSize) + "," + number(point.nanosecondsPerSample) + "\n";
    }
    files.push_back({"cost.csv", cost});
    return files;
}

std::string reportJson(const AnalysisReport& report) {
    nlohmann::json json;
    json["plugin"] = report.plugin;
    json["effect_name"] = report.effectName;
    json["program_name"] = report.programName;
    json["sample_rate"] = report.sampleRate;
    json["latency_samples"] = report.latency;
    nlohmann::json bins = nlohmann::json::array();
    for (const TransferBin& bin : report.transfer.bins) {
        bins.push_back({bin.input, bin.low, bin.mean, bin.high});
    }
    json["transfer"] = {{"largest_deviation", report.transfer.largestDeviation},
                        {"static_function", report.transfer.staticFunction},
                        {"memory", report.transfer.memory},
                        {"columns", {"input", "low", "mean", "high"}},
                        {"bins", bins}};
    nlohmann::json level = nlohmann::json::array();
    for (const LevelPoint& point : report.level) {
        level.push_back({{"input_dbfs", point.inputDb},
                         {"output_dbfs", point.outputDb},
                         {"fundamental_dbfs", point.fundamentalDb}});
    }
    json["level"] = level;
    nlohmann::json harmonics = nlohmann::json::array();
    for (const HarmonicsResult& result : report.harmonics) {
        harmonics.push_back({{"input_dbfs", result.inputDb},
                             {"fundamental_hz", result.fundamental},
                             {"thd_percent", result.thdPercent},
                             {"thd_plus_noise_percent", result.thdPlusNoisePercent},
                             {"harmonics", harmonicsJson(result.harmonics)},
                             {"spectrum", curveJson(result.spectrum)}});
    }
    json["harmonics"] = harmonics;
    nlohmann::json response = {{"input_dbfs", report.response.inputDb},
                               {"points", curveJson(report.response.points)},
                               {"phase_deg", curveJson(report.response.phase)},
                               {"group_delay_ms", curveJson(report.response.groupDelay)},
                               {"corners_hz", report.response.corners}};
    nlohmann::json bands = nlohmann::json::object();
    for (const auto& band : report.response.bands) {
        bands[band.first] = curveJson(band.second);
    }
    response["bands"] = bands;
    nlohmann::json crossovers = nlohmann::json::array();
    for (const Crossover& crossover : report.response.crossovers) {
        nlohmann::json entry = {{"name", crossover.name}, {"measured_hz", crossover.measured}};
        entry["shown_hz"] = crossover.shown ? nlohmann::json(*crossover.shown) : nlohmann::json(nullptr);
        crossovers.push_back(entry);
    }
    response["crossovers"] = crossovers;
    json["response"] = response;
    const ImpulseResponse& impulse = report.impulse;
    json["impulse"] = {{"peak", impulse.peak},
                       {"peak_ms", impulse.peakMs},
                       {"decay_60db_ms", optionalNumber(impulse.decayMs)},
                       {"points", curveJson(impulse.points)}};
    nlohmann::json loudness = nlohmann::json::array();
    for (const LoudnessPoint& point : report.loudness) {
        loudness.push_back({{"input_lufs", point.inputLufs},
                            {"output_lufs", point.outputLufs},
                            {"output_true_peak_dbtp", point.outputTruePeakDbtp}});
    }
    json["loudness"] = loudness;
    const DynamicsResult& dynamics = report.dynamics;
    json["dynamics"] = {{"gain_moves", dynamics.gainMoves}, {"level_curve_span_db", dynamics.spanDb}};
    if (dynamics.gainMoves) {
        json["dynamics"].update({{"low_dbfs", dynamics.lowDbfs},
                                 {"high_dbfs", dynamics.highDbfs},
                                 {"low_gain_db", dynamics.lowGainDb},
                                 {"high_gain_db", dynamics.highGainDb},
                                 {"attack_ms", optionalNumber(dynamics.attackMs)},
                                 {"release_ms", optionalNumber(dynamics.releaseMs)},
                                 {"attack", curveJson(dynamics.attack)},
                                 {"release", curveJson(dynamics.release)}});
    }
    json["aliasing"] = {{"input_dbfs", report.aliasing.inputDb},
                        {"fundamental_hz", report.aliasing.fundamental},
                        {"off_harmonic_db", report.aliasing.offHarmonicDb},
                        {"harmonics", harmonicsJson(report.aliasing.harmonics)},
                        {"spectrum", curveJson(report.aliasing.spectrum)}};
    nlohmann::json cost = nlohmann::json::array();
    for (const CostPoint& point : report.cost) {
        cost.push_back({{"block_size", point.blockSize}, {"ns_per_sample", point.nanosecondsPerSample}});
    }
    json["cost"] = cost;
    return json.dump(2) + "\n";
}
