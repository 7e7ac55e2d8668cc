#include "commands/batch_render.h"

#include <unistd.h>
#include <CLI/CLI.hpp>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

#include "audio/output_format.h"
#include "audio/sound_file.h"
#include "commands/exit_codes.h"
#include "commands/render_command.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"
#include "plugin/preset_state.h"
#include "support/host_error.h"
#include "support/parallel_runs.h"
#include "support/text_format.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultExtension = "wav";

std::vector<std::string> listedInputs(const std::string& listFile) {
    std::ifstream list(listFile);
    if (!list) {
        throw FileError("cannot read the list of inputs " + listFile);
    }
    std::vector<std::string> inputs;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            inputs.push_back(line);
        }
    }
    return inputs;
}

bool writable(const std::string& extension) {
    std::istringstream list(writableExtensions());
    for (std::string known; std::getline(list >> std::ws, known, ',');) {
        if (known == extension) {
            return true;
        }
    }
    return false;
}

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

// What one job's process gave: its exit code, its JSON summary when it got
// that far, and what it said on its error stream.
struct JobResult {
    int exitCode = 0;
    std::optional<nlohmann::json> summary;
    std::vector<std::string> messages;
};

JobResult resultOf(FinishedRun&& run) {
    JobResult result;
    result.exitCode = run.exitCode;
    if (!run.out.empty()) {
        result.summary = nlohmann::json::parse(run.out, nullptr, false);
        if (result.summary->is_discarded()) {
            result.summary.reset();
        }
    }
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            result.messages.push_back(line);
        }
    }
    return result;
}

std::string resultText(const JobResult& result) {
    if (result.exitCode >= 128) {
        return format("ended by signal %d", result.exitCode - 128);
    }
    if (result.summary && result.exitCode <= kExitProblemFound) {
        return (*result.summary)["output"].value("written", false) ? "written" : "NOT WRITTEN";
    }
    return format("failed (exit %d)", result.exitCode);
}

// A level from a summary: "-6.0 dBFS", "-inf dBFS" for null, the text for
// "NaN" and "+inf".
std::string levelText(const nlohmann::json& level) {
    if (level.is_number()) {
        return format("%.1f dBFS", level.get<double>());
    }
    return level.is_string() ? level.get<std::string>() + (level == "+inf" ? " dB" : "") : "-inf dBFS";
}

// A loudness figure from a summary: "-23.0 LUFS"; "-" for null (no figure).
std::string figureText(const nlohmann::json& figure, const char* unit) {
    return figure.is_number() ? format("%.1f %s", figure.get<double>(), unit) : "-";
}

// A true peak from a summary, as levelText gives levels but in dBTP.
std::string truePeakText(const nlohmann::json& level) {
    std::string text = levelText(level);
    const std::size_t unit = text.rfind(" dBFS");
    return unit == std::string::npos ? text : text.replace(unit, std::string::npos, " dBTP");
}

void printRow(const BatchEntry& entry, const JobResult& result, std::ostream& out) {
    std::string length = "-";
    std::string in = "-";
    std::string outLevel = "-";
    std::string loudness = "-";
    std::string range = "-";
    std::string truePeak = "-";
    std::string speed = "-";
    if (result.summary) {
        const nlohmann::json& summary = *result.summary;
        const double rate = summary["output"].value("sample_rate", 0.0);
        if (rate > 0.0) {
            length = format("%.2f s", summary["output"].value("frames", 0.0) / rate);
        }
        in = levelText(summary["levels"]["in"]["peak_dbfs"]);
        const nlohmann::json& written = summary["levels"]["out"];
        outLevel = levelText(written["peak_dbfs"]);
        loudness = figureText(written["integrated_lufs"], "LUFS");
        range = figureText(written["loudness_range_lu"], "LU");
        truePeak = truePeakText(written["true_peak_dbtp"]);
        const double factor = summary["speed"].value("realtime_factor", 0.0);
        speed = factor > 0.0 ? format("%.1fx", factor) : "-";
    }
    out << format("%-32s %-18s %10s %11s %11s %11s %8s %11s %9s\n", entry.input.c_str(), resultText(result).c_str(),
                  length.c_str(), in.c_str(), outLevel.c_str(), loudness.c_str(), range.c_str(), truePeak.c_str(),
                  speed.c_str());
    out.flush();
}

}  // namespace

void addBatchJobOptions(CLI::App& command, BatchJobOptions& options) {
    // No group: not shown in --help.
    command.add_option("--batch-input", options.input)->group("");
    command.add_option("--batch-output", options.output)->group("");
}

std::vector<BatchEntry> planBatch(const RenderRequest& request) {
    std::vector<std::string> inputs = request.inputs;
    if (!request.listFile.empty()) {
        const std::vector<std::string> listed = listedInputs(request.listFile);
        inputs.insert(inputs.end(), listed.begin(), listed.end());
    }
    if (inputs.empty()) {
        throw UsageError("the batch has no inputs: give them with -i FILE (repeatable) or --list FILE");
    }
    const std::string extension = request.format.empty() ? kDefaultExtension : request.format;
    if (!writable(extension)) {
        throw UsageError("--format " + extension +
                         ": cannot write such files; these can be written: " + writableExtensions());
    }
    std::vector<BatchEntry> entries;
    std::map<std::string, std::string> taken;  // output -> the input written there
    for (const std::string& input : inputs) {
        if (input == kStandardInput) {
            throw UsageError("a batch reads its inputs from files, not standard input");
        }
        const std::string output = (fs::path(request.directory) / (fs::path(input).stem().string() + "." + extension))
                                       .lexically_normal()
                                       .generic_string();
        const auto [at, added] = taken.emplace(output, input);
        if (!added) {
            throw UsageError(at->second + " and " + input + " would both be written to " + output +
                             ": render them in separate batches, or rename one");
        }
        std::error_code error;
        if (fs::equivalent(input, output, error)) {
            throw UsageError("the output " + output + " is the same file as the input " + input +
                             "; choose another directory or --format");
        }
        entries.push_back({input, output});
    }
    return entries;
}

int runBatchJob(const RenderRequest& requested, const BatchJobOptions& job) {
    RenderRequest request = requested;
    request.inputs = {job.input};
    request.listFile.clear();
    request.directory.clear();
    request.format.clear();
    request.output = job.output;
    request.json = true;
    // Standard output carries the summary alone; what the plug-in prints
    // goes to the error stream.
    std::fflush(stdout);
    const int report = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    std::ostringstream summary;
    const int exitCode = runRender(request, summary, std::cerr);
    writeAll(report, summary.str());
    close(report);
    return exitCode;
}

int runBatch(const RenderRequest& request, const std::vector<std::string>& words, std::ostream& out,
             std::ostream& err) {
    const std::vector<BatchEntry> entries = planBatch(request);
    // A plug-in that cannot load, or a program or bank file that cannot be
    // read or is another plug-in's, fails the batch once, not once a file.
    for (const PluginRequest& plugin : request.chain) {
        PluginSetup setup = plugin.setup;
        readPreset(setup);
        PluginModule module(plugin.path);
        if (setup.preset) {
            PluginInstance instance(module);
            instance.open();
            (void)checkPresetFits(instance, *setup.preset, setup.presetPath);  // its warnings come with every file
        }
    }
    std::error_code error;
    fs::create_directories(request.directory, error);
    if (error) {
        throw FileError("cannot create the directory " + request.directory + ": " + error.message());
    }
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int processes = std::min(request.jobs.value_or(cores), static_cast<int>(entries.size()));

    std::vector<std::vector<std::string>> runs;
    for (const BatchEntry& entry : entries) {
        std::vector<std::string> arguments(words.begin() + 1, words.end());
        arguments.insert(arguments.end(), {"--batch-input", entry.input, "--batch-output", entry.output});
        runs.push_back(std::move(arguments));
    }
    if (!request.json) {
        out << format("%-32s %-18s %10s %11s %11s %11s %8s %11s %9s\n", "input", "result", "length", "peak in",
                      "peak out", "LUFS out", "LRA out", "dBTP out", "speed");
        out.flush();
    }
    std::vector<std::optional<JobResult>> results(entries.size());
    std::size_t shown = 0;  // rows are shown in the inputs' order, as soon as they can be
    const auto started = std::chrono::steady_clock::now();
    runSelfInParallel(runs, processes, [&](std::size_t index, FinishedRun&& run) {
        results[index] = resultOf(std::move(run));
        for (; shown < results.size() && results[shown]; ++shown) {
            if (!request.json) {
                printRow(entries[shown], *results[shown], out);
            }
            for (const std::string& message : results[shown]->messages) {
                err << entries[shown].input << ": " << message << "\n";
            }
        }
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    int worst = kExitSuccess;
    int written = 0;
    nlohmann::json renders = nlohmann::json::array();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const JobResult& result = *results[i];
        worst = std::max(worst, result.exitCode);
        const bool kept = resultText(result) == "written";
        written += kept ? 1 : 0;
        renders.push_back({{"input", entries[i].input},
                           {"output", entries[i].output},
                           {"exit_code", result.exitCode},
                           {"written", kept},
                           {"summary", result.summary ? *result.summary : nlohmann::json(nullptr)},
                           {"messages", result.messages}});
    }
    if (request.json) {
        const nlohmann::json batch = {{"directory", request.directory},
                                      {"files", entries.size()},
                                      {"written", written},
                                      {"processes", processes},
                                      {"seconds", seconds},
                                      {"exit_code", worst},
                                      {"renders", renders}};
        out << batch.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        out << format("%d of %zu files written into %s (%d process%s at once, %.1f s)", written, entries.size(),
                      request.directory.c_str(), processes, processes == 1 ? "" : "es", seconds);
        out << (written < static_cast<int>(entries.size()) ? "; the others are named above\n" : "\n");
    }
    out.flush();
    return worst;
}
