// libFuzzer entry for the render and save-preset commands' option texts:
// each input is either one text for one parser (--set, --automate,
// --channels, --bit-depth, --dither, --rate, save-preset's --output) or a
// command line of words separated by zero bytes, parsed by the render
// options or the save-preset options as CLI11 reads them (--tempo,
// --time-signature, --output-rate, --program and --preset, the chain's
// --then with each plug-in's own --program, --preset, --set and
// --automate, and a batch's -d, --list, -j and --format among them), a
// render's then checked for options that do not go together. A text
// becomes a value within the promised ranges or a UsageError (a CLI11 parse
// error for the command line); anything else is a finding.
#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/automation.h"
#include "commands/option_text.h"
#include "commands/rendering_options.h"
#include "commands/save_preset_options.h"
#include "fuzz_failure.h"
#include "support/host_error.h"

namespace {

constexpr std::size_t kLargestText = 4096;
constexpr double kHighestRate = kHighestSampleRate;

void checkSetting(const ParameterSetting& setting) {
    FUZZ_REQUIRE(setting.value >= 0.0f && setting.value <= 1.0f, "value %g", static_cast<double>(setting.value));
    FUZZ_REQUIRE(!setting.display || !setting.display->text.empty(), "an empty display text");
    FUZZ_REQUIRE(!setting.display || !setting.display->number || std::isfinite(*setting.display->number),
                 "display number %g", *setting.display->number);
    FUZZ_REQUIRE(setting.parameter.index ? *setting.parameter.index >= 0 : !setting.parameter.name.empty(),
                 "a parameter with neither a name nor an index");
}

void checkAutomation(const AutomationRequest& request) {
    checkSetting({request.parameter, 0.0f});
    FUZZ_REQUIRE(!request.points.empty(), "automation without points");
    double previous = 0.0;
    for (const AutomationPoint& point : request.points) {
        FUZZ_REQUIRE(point.seconds >= previous && point.seconds <= kLatestAutomationSeconds, "time %g after %g",
                     point.seconds, previous);
        checkSetting({request.parameter, point.value});
        previous = point.seconds;
    }
    // The ramp at the highest rate, where the frames are largest.
    const ParameterRamp ramp(0, request.points, kHighestRate);
    const auto last = static_cast<std::size_t>(std::llround(request.points.back().seconds * kHighestRate));
    for (std::size_t frame : {std::size_t{0}, last / 2, last, last + 1}) {
        const float value = ramp.valueAt(frame);
        FUZZ_REQUIRE(value >= 0.0f && value <= 1.0f, "ramp value %g at frame %zu", static_cast<double>(value), frame);
        FUZZ_REQUIRE(ramp.nextUpdate(frame) > frame, "no progress at frame %zu", frame);
    }
}

void checkChannels(const std::vector<int>& outputs) {
    FUZZ_REQUIRE(outputs.size() <= 100000, "%zu outputs", outputs.size());
    for (int output : outputs) {
        FUZZ_REQUIRE(output >= 0 && output < 100000, "output %d", output);
    }
}

void parseOne(unsigned parser, const std::string& text) {
    switch (parser) {
        case 0:
            checkSetting(parseSetting(text));
            break;
        case 1:
            checkAutomation(parseAutomation(text));
            break;
        case 2:
            checkChannels(parseChannelList(text));
            break;
        case 3:
            (void)parseBitDepthOption(text);
            break;
        case 4:
            (void)parseDither(text);
            break;
        case 6: {
            const PresetContainer container = parsePresetOutput(text);
            FUZZ_REQUIRE(text.size() > 4 && text[text.size() - 4] == '.' &&
                             (container == PresetContainer::Program) == (std::tolower(text.back()) == 'p'),
                         "'%s' taken for a %s file", text.c_str(),
                         container == PresetContainer::Program ? "program" : "bank");
            break;
        }
        default: {
            const int rate = parseSampleRate(text, "--rate");
            FUZZ_REQUIRE(rate >= kLowestSampleRate && rate <= kHighestSampleRate, "rate %d", rate);
            break;
        }
    }
}

// The words separated by zero bytes, parsed as plughost's command line
// parses a command's options. False when CLI11 refused them.
bool parseWords(const char* command, const std::string& words, const std::function<void(CLI::App&)>& addOptions) {
    std::vector<std::string> arguments = {command};
    for (std::size_t start = 0; start <= words.size();) {
        const std::size_t end = std::min(words.find('\0', start), words.size());
        arguments.push_back(words.substr(start, end - start));
        start = end + 1;
    }
    CLI::App app(command, command);
    app.allow_windows_style_options(false);
    app.option_defaults()->disable_flag_override();  // as plughost's command line sets it
    addOptions(app);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
        return false;
    }
    return true;
}

// The words as save-preset's options read them; the job must come out in
// range.
void parseSavePresetLine(const std::string& words) {
    SavePresetJob job;
    if (!parseWords("save-preset", words, [&job](CLI::App& app) { addSavePresetOptions(app, job); })) {
        return;
    }
    FUZZ_REQUIRE(!job.output.empty() && job.container == parsePresetOutput(job.output), "output '%s'",
                 job.output.c_str());
    FUZZ_REQUIRE(!job.setup.program || (*job.setup.program >= 0 && *job.setup.program <= (1 << 30)), "program %d",
                 *job.setup.program);
    FUZZ_REQUIRE(!job.setup.preset, "a preset file read while the command line is");
    for (const ParameterSetting& setting : job.setup.settings) {
        checkSetting(setting);
    }
}

// The words as the render options read them; the request must come out in
// range, its options going together.
void parseCommandLine(const std::string& words) {
    RenderRequest job;
    if (!parseWords("render", words, [&job](CLI::App& app) {
            addRenderingOptions(app, job);
            addRenderOptions(app, job);
        })) {
        return;
    }
    refuseMismatchedOptions(job);
    FUZZ_REQUIRE(job.blockSize >= 1 && job.blockSize <= (1 << 20), "block %d", static_cast<int>(job.blockSize));
    for (const std::optional<int>& rate : {job.sampleRate, job.outputRate}) {
        FUZZ_REQUIRE(!rate || (*rate >= kLowestSampleRate && *rate <= kHighestSampleRate), "rate %d", *rate);
    }
    FUZZ_REQUIRE(!job.jobs || (*job.jobs >= 1 && *job.jobs <= 1024), "jobs %d", *job.jobs);
    FUZZ_REQUIRE(!job.chain.empty(), "a render without a plug-in");
    FUZZ_REQUIRE(!job.directory.empty() || !job.output.empty(), "neither an output nor a directory");
    FUZZ_REQUIRE(!job.tailSeconds || (*job.tailSeconds >= 0.0 && *job.tailSeconds <= 3600.0), "tail %g",
                 *job.tailSeconds);
    for (const PluginRequest& plugin : job.chain) {
        FUZZ_REQUIRE(!plugin.setup.program || *plugin.setup.program >= 0, "program %d", *plugin.setup.program);
        FUZZ_REQUIRE(!plugin.setup.preset, "a preset file read while the command line is");
        for (const ParameterSetting& setting : plugin.setup.settings) {
            checkSetting(setting);
        }
        for (const AutomationRequest& request : plugin.setup.automation) {
            checkAutomation(request);
        }
    }
    checkChannels(job.channels);
    const double bpm = job.tempo.bpm.value_or(kDefaultTempo);
    FUZZ_REQUIRE(bpm >= kSlowestTempo && bpm <= kFastestTempo, "tempo %g", bpm);
    const TimeSignature meter = job.tempo.meter.value_or(TimeSignature{});
    const int denominator = meter.denominator;
    FUZZ_REQUIRE(meter.numerator >= 1 && meter.numerator <= kLargestMeterNumerator && denominator >= 1 &&
                     denominator <= kLargestMeterDenominator && (denominator & (denominator - 1)) == 0,
                 "time signature %d/%d", meter.numerator, denominator);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > kLargestText) {
        return 0;
    }
    const unsigned choice = data[0] % 9;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        if (choice == 5) {
            parseCommandLine(text);
        } else if (choice == 7) {
            parseSavePresetLine(text);
        } else {
            // Words on a command line end at the first zero byte.
            parseOne(choice, text.substr(0, std::strlen(text.c_str())));
        }
    } catch (const HostError& error) {
        FUZZ_REQUIRE(error.kind() == ErrorKind::Usage, "a %d error for option text: %s", static_cast<int>(error.kind()),
                     error.what());
        FUZZ_REQUIRE(std::strncmp(error.what(), "--", 2) == 0, "a refusal that names no option: %s", error.what());
    }
    return 0;
}
