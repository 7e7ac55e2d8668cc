// `plughost render` and `render-programs` as a user runs them, on stub
// plug-ins whose output shows what the host did. Every case asserts on the
// written file or on levels that only the processed signal has.
#define _USE_MATH_DEFINES  // M_PI in the Windows C library's <cmath>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>

#include <nlohmann/json.hpp>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "midi_bytes.h"
#include "run_command.h"
#include "support/child_process.h"

namespace {

namespace fs = std::filesystem;

// Cases that run plughost through a POSIX shell (pipelines, signals,
// ulimit, /proc, symbolic links) run where there is one.
#ifdef _WIN32
#define SKIP_WITHOUT_POSIX_SHELL() GTEST_SKIP() << "needs a POSIX shell"
#else
#define SKIP_WITHOUT_POSIX_SHELL() static_cast<void>(0)
#endif

using Channels = std::vector<std::vector<float>>;
constexpr int kRate = 44100;

std::string work(const std::string& name) {
    return std::string(KD_TEST_WORK_DIR) + "/render-" + name;
}

std::string stub(const char* name) {
    return std::string(KD_STUB_DIR) + "/stub_" + name + KD_LIBRARY_SUFFIX;
}

CommandResult plughost(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), KD_PLUGHOST);
    CommandResult run = runCommand(arguments, 120);
    EXPECT_EQ(run.err.find("never on"), std::string::npos) << "the host switched off an instance never switched on";
    return run;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The loudness figures of a file as a render reads it at its own rate (the
// stub's program 0 passes it through): what a render that wrote the file
// must give as its output's.
nlohmann::json loudnessAsRead(const std::string& path) {
    const CommandResult run = plughost({"render", stub("effect"), "-i", path, "-o", work("reread.wav"), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json in = nlohmann::json::parse(run.out)["levels"]["in"];
    return {{"integrated_lufs", in["integrated_lufs"]},
            {"loudness_range_lu", in["loudness_range_lu"]},
            {"true_peak_dbtp", in["true_peak_dbtp"]}};
}

// Whether `levels` (a summary's "levels"."out") holds the loudness figures of
// the file at `path`.
::testing::AssertionResult measuresAsWritten(const nlohmann::json& levels, const std::string& path) {
    const nlohmann::json written = loudnessAsRead(path);
    for (const auto& [name, value] : written.items()) {
        if (levels[name] != value) {
            return ::testing::AssertionFailure()
                   << "the summary's " << name << " is " << levels[name] << ", the file's " << value;
        }
    }
    return ::testing::AssertionSuccess();
}

std::string writeAudio(const std::string& name, const Channels& channels, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                       int rate = kRate) {
    const std::string path = work(name);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = static_cast<int>(channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> interleaved;
    for (std::size_t frame = 0; frame < channels.front().size(); ++frame) {
        for (const auto& channel : channels) {
            interleaved.push_back(channel[frame]);
        }
    }
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(channels.front().size()));
    sf_close(file);
    return path;
}

struct ReadBack {
    Channels channels;
    int format = 0;
    int rate = 0;
    std::optional<double> peakChunk;  // what a PEAK chunk claims, when there is one
    std::size_t frames() const { return channels.empty() ? 0 : channels.front().size(); }
};

ReadBack readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ReadBack read;
    if (file == nullptr) {
        return read;
    }
    // Read to the end: a stream's header may promise any length.
    std::vector<float> interleaved;
    std::vector<float> part(static_cast<std::size_t>(4096 * info.channels));
    for (sf_count_t got; (got = sf_readf_float(file, part.data(), 4096)) > 0;) {
        interleaved.insert(interleaved.end(), part.begin(), part.begin() + got * info.channels);
    }
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(info.channels);
    double peak = 0.0;
    if (sf_command(file, SFC_GET_SIGNAL_MAX, &peak, sizeof peak) == SF_TRUE) {
        read.peakChunk = peak;
    }
    sf_close(file);
    read.format = info.format;
    read.rate = info.samplerate;
    read.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < read.channels.size(); ++channel) {
            read.channels[channel][frame] = interleaved[frame * read.channels.size() + channel];
        }
    }
    return read;
}

// Interleaved samples as libsndfile's integers (the sample in the top bits).
std::vector<int> readIntegers(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return {};
    }
    std::vector<int> samples(static_cast<std::size_t>(info.frames * info.channels));
    samples.resize(static_cast<std::size_t>(sf_readf_int(file, samples.data(), info.frames) * info.channels));
    sf_close(file);
    return samples;
}

std::string contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

Channels sine(double level, double seconds, int channels = 2, double frequency = 441.0) {
    Channels result(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(seconds * kRate)));
    for (auto& channel : result) {
        for (std::size_t i = 0; i < channel.size(); ++i) {
            channel[i] = static_cast<float>(level * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / kRate));
        }
    }
    return result;
}

Channels constant(const std::vector<float>& levels, std::size_t frames) {
    Channels result;
    for (float level : levels) {
        result.emplace_back(frames, level);
    }
    return result;
}

std::size_t firstNonZero(const std::vector<float>& samples) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] != 0.0f) {
            return i;
        }
    }
    return samples.size();
}

bool partialFilesIn(const std::string& directory) {
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().extension() == ".part") {
            return true;
        }
    }
    return false;
}

// Output that cannot be trusted is refused with the numbers, and then no
// file is written and an earlier one is left as it was.
TEST(Render, RefusesOutputItCannotTrustAndLeavesEarlierFilesAlone) {
    const std::string input = writeAudio("sine16.wav", sine(0.7071, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const struct {
        std::string plugin;
        std::vector<std::string> options;
        int exitCode;
        const char* message;
        float peak;  // of the written file; 0 when nothing may be written
        const char* extension = "wav";
    } kCases[] = {
        {stub("effect"),
         {"--program", "1", "--bit-depth", "16"},
         1,
         "WAV, Signed 16 bit PCM cannot hold. Write float (leave out --bit-depth, or --bit-depth float), lower the "
         "level, or allow it with --clip",
         0.0f},
        // Advice that works for a container without floats.
        {stub("effect"),
         {"--program", "1"},
         1,
         "which FLAC, Signed 24 bit PCM cannot hold. Write a format that keeps floats (a .wav, .caf or .w64 name)",
         0.0f,
         "flac"},
        {stub("effect"), {"--program", "1", "--bit-depth", "16", "--clip"}, 0, "clipped 22050 samples", 1.0f},
        {stub("effect"), {"--program", "1"}, 0, "", 1.4142f},
        {stub("effect"), {"--set", "Poison=1"}, 1, "the first at 0.022676 s (frame 1000, channel 1)", 0.0f},
        {KD_FAULTY_PLUGIN,
         {"--set", "0=1"},
         1,
         "NaN and 0 infinite samples, the first at 0.000000 s (frame 0, channel 1)",
         0.0f},
    };
    for (const auto& entry : kCases) {
        const std::string output = work(std::string("refused.") + entry.extension);
        std::ofstream(output) << "an earlier render";
        std::vector<std::string> words = {"render", entry.plugin, "-i", input, "-o", output};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        EXPECT_EQ(run.exitCode, entry.exitCode) << run.out << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
        if (entry.peak == 0.0f) {
            EXPECT_EQ(contents(output), "an earlier render");
            EXPECT_TRUE(contains(run.out, "out       NaN") || contains(run.out, "out       +inf dBFS") ||
                        contains(run.out, "NOT WRITTEN"))
                << run.out;
        } else {
            const ReadBack read = readAudio(output);
            ASSERT_EQ(read.frames(), 22050u) << run.err;
            float peak = 0.0f;
            for (float sample : read.channels[0]) {
                peak = std::max(peak, std::fabs(sample));
            }
            EXPECT_NEAR(peak, entry.peak, 1e-3f);
            // A peak chunk, when written, holds the true peak.
            EXPECT_NEAR(read.peakChunk.value_or(peak), peak, 1e-6) << "the file's peak chunk";
        }
        EXPECT_FALSE(partialFilesIn(KD_TEST_WORK_DIR));
    }
}

std::string writeIntegers(const std::string& name, const std::vector<int>& interleaved, int format) {
    const std::string path = work(name);
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_int(file, interleaved.data(), static_cast<sf_count_t>(interleaved.size() / 2));
    sf_close(file);
    return path;
}

// Integer output is rounded to the nearest step (ties to even), so that a
// render through a gain of exactly 1 gives an integer file back bit for bit.
TEST(Render, IntegerOutputIsRoundedToTheNearestStepAndUnityIsBitTransparent) {
    const struct {
        const char* extension;
        int container;
    } kContainers[] = {{"wav", SF_FORMAT_WAV},
                       {"aiff", SF_FORMAT_AIFF},
                       {"caf", SF_FORMAT_CAF},
                       {"w64", SF_FORMAT_W64},
                       {"flac", SF_FORMAT_FLAC}};
    const struct {
        const char* depth;
        int encoding;
        int step;  // one step of the depth, in libsndfile's integers
    } kDepths[] = {{"16", SF_FORMAT_PCM_16, 1 << 16}, {"24", SF_FORMAT_PCM_24, 1 << 8}};
    for (const auto& depth : kDepths) {
        std::vector<int> samples = {INT_MIN, INT_MAX - depth.step + 1, 0, depth.step, -depth.step};
        std::uint32_t state = 7;
        while (samples.size() < 2000) {
            state = state * 1664525u + 1013904223u;
            samples.push_back(static_cast<int>(state) / depth.step * depth.step);
        }
        for (const auto& container : kContainers) {
            const std::string name = std::string("transparent-") + depth.depth + "." + container.extension;
            const std::string input = writeIntegers("in-" + name, samples, container.container | depth.encoding);
            const std::string output = work("out-" + name);
            const CommandResult run =
                plughost({"render", stub("effect"), "-i", input, "-o", output, "--bit-depth", depth.depth});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const std::vector<int> back = readIntegers(output);
            ASSERT_EQ(back.size(), samples.size()) << name;
            std::size_t differing = 0;
            for (std::size_t i = 0; i < back.size(); ++i) {
                differing += back[i] != samples[i] ? 1 : 0;
            }
            EXPECT_EQ(differing, 0u) << name << ": samples that came back changed, the first "
                                     << std::distance(back.begin(),
                                                      std::mismatch(back.begin(), back.end(), samples.begin()).first);
            EXPECT_FALSE(contains(run.err, "rounded")) << run.err;
        }
    }

    // Float samples between the steps of 16 bits: to the nearest, ties to even.
    const struct {
        double steps;
        int expected;
    } kRounding[] = {{100.7, 101}, {99.7, 100}, {-0.3, 0},  {0.7, 1},  {1.7, 2},         {-1.3, -1},      {-1.7, -2},
                     {2.5, 2},     {3.5, 4},    {-2.5, -2}, {0.49, 0}, {32767.4, 32767}, {40000.0, 32767}};
    Channels between(2);
    for (const auto& entry : kRounding) {
        for (auto& channel : between) {
            channel.push_back(static_cast<float>(entry.steps / 32768.0));
        }
    }
    const std::string rounded = work("rounded.wav");
    const CommandResult run = plughost({"render", stub("effect"), "-i", writeAudio("between.wav", between), "-o",
                                        rounded, "--bit-depth", "16", "--clip"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "note: the output was rounded to 16 bits without dither; --dither tpdf dithers it"))
        << run.err;
    const std::vector<int> back = readIntegers(rounded);
    ASSERT_EQ(back.size(), 2 * std::size(kRounding));
    for (std::size_t i = 0; i < std::size(kRounding); ++i) {
        EXPECT_EQ(back[2 * i] / 65536, kRounding[i].expected) << kRounding[i].steps << " steps";
    }

    // Triangular dither: a level halfway between two steps comes out on
    // either side and on average where it was.
    const std::string dithered = work("dithered.wav");
    const CommandResult dither =
        plughost({"render", stub("effect"), "-i", writeAudio("halfway.wav", constant({100.5f / 32768, 0.0f}, 20000)),
                  "-o", dithered, "--bit-depth", "16", "--dither", "tpdf"});
    ASSERT_EQ(dither.exitCode, 0) << dither.err;
    EXPECT_FALSE(contains(dither.err, "without dither")) << dither.err;
    const std::vector<int> noisy = readIntegers(dithered);
    double sum = 0.0;
    int lowest = INT_MAX;
    int highest = INT_MIN;
    for (std::size_t i = 0; i < noisy.size(); i += 2) {
        const int step = noisy[i] / 65536;
        sum += step;
        lowest = std::min(lowest, step);
        highest = std::max(highest, step);
    }
    EXPECT_NEAR(sum / static_cast<double>(noisy.size() / 2), 100.5, 0.05);
    EXPECT_EQ(lowest, 100);
    EXPECT_EQ(highest, 101);
}

TEST(Render, RenderProgramsWritesOnlyTheProgramsThatFit) {
    const std::string input = writeAudio("sine16-programs.wav", sine(0.7071, 0.2), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string directory = work("programs");
    fs::remove_all(directory);
    const CommandResult run =
        plughost({"render-programs", stub("effect"), "-i", input, "-d", directory, "--bit-depth", "16"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(fs::exists(directory + "/program-0.wav"));
    EXPECT_FALSE(fs::exists(directory + "/program-1.wav"));
    EXPECT_TRUE(contains(run.out, "Double")) << run.out;
    EXPECT_TRUE(contains(run.err, "program 1: the output would clip")) << run.err;
}

// A 1 kHz sine at -23 dBFS in both channels is -23 LUFS, as broadcast
// meters are calibrated; the stub's program 1 doubles it (+6.02 dB).
TEST(Render, SummaryJsonAndProgramTableGiveLoudnessAndTruePeak) {
    const std::string input = writeAudio("loudness.wav", sine(std::pow(10.0, -23.0 / 20.0), 5.0, 2, 1000.0));
    const CommandResult run =
        plughost({"render", stub("effect"), "-i", input, "-o", work("loudness-out.wav"), "--program", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "          peak        RMS         loudness    range     true peak\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "in        -23.0 dBFS  -26.0 dBFS  -23.0 LUFS  0.0 LU    -23.0 dBTP\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "out       -17.0 dBFS  -20.0 dBFS  -17.0 LUFS  0.0 LU    -17.0 dBTP\n")) << run.out;

    const CommandResult json =
        plughost({"render", stub("effect"), "-i", input, "-o", work("loudness-out.wav"), "--program", "1", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const nlohmann::json levels = nlohmann::json::parse(json.out)["levels"];
    EXPECT_NEAR(levels["in"]["integrated_lufs"].get<double>(), -23.0, 0.05) << levels;
    EXPECT_NEAR(levels["out"]["integrated_lufs"].get<double>(), -23.0 + 6.02, 0.05) << levels;
    EXPECT_NEAR(levels["out"]["loudness_range_lu"].get<double>(), 0.0, 0.1) << levels;
    EXPECT_NEAR(levels["out"]["true_peak_dbtp"].get<double>(), -23.0 + 6.02, 0.05) << levels;

    // Each program's output in the table; a 0.2 s input is too short for
    // a loudness.
    const std::string directory = work("loudness-programs");
    fs::remove_all(directory);
    const CommandResult table = plughost({"render-programs", stub("effect"), "-i", input, "-d", directory});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_TRUE(contains(table.out, "RMS out    LUFS out  LRA out    dBTP out")) << table.out;
    EXPECT_TRUE(contains(table.out, "-26.0 dBFS  -23.0 LUFS   0.0 LU  -23.0 dBTP")) << table.out;
    EXPECT_TRUE(contains(table.out, "-20.0 dBFS  -17.0 LUFS   0.0 LU  -17.0 dBTP")) << table.out;
    const CommandResult brief = plughost(
        {"render", stub("effect"), "-i", writeAudio("brief.wav", sine(0.5, 0.2)), "-o", work("brief-out.wav")});
    ASSERT_EQ(brief.exitCode, 0) << brief.err;
    EXPECT_TRUE(contains(brief.out, "-9.0 dBFS   -           -         ")) << brief.out;
}

TEST(Render, NeverWritesOverItsInputOrThePlugin) {
    SKIP_WITHOUT_POSIX_SHELL();
    const std::string input = writeAudio("precious.wav", sine(0.5, 0.1));
    const std::string before = contents(input);
    const std::string link = work("link-to-precious.wav");
    fs::remove(link);
    fs::create_symlink(input, link);
    const std::string plugin = stub("effect");
    const std::string pluginCopy = work("plugin-copy" KD_LIBRARY_SUFFIX);
    fs::copy_file(plugin, pluginCopy, fs::copy_options::overwrite_existing);
    const std::string beside = fs::path(pluginCopy).parent_path().string() + "/../work/";
    for (const std::string& output : {std::string(KD_TEST_WORK_DIR) + "/./render-precious.wav", link,
                                      beside + fs::path(pluginCopy).filename().string()}) {
        const CommandResult run = plughost({"render", pluginCopy, "-i", input, "-o", output});
        EXPECT_EQ(run.exitCode, 2) << output;
        EXPECT_TRUE(contains(run.err, "is the same file as")) << run.err;
    }
    EXPECT_EQ(contents(input), before);
    EXPECT_EQ(contents(pluginCopy), contents(plugin));
}

// The plan step refuses before any file is touched: the output keeps what
// it held, and even the part file a killed render left beside it stays
// (the next render that writes there removes it).
TEST(Render, TheFormatRateParametersAndPresetAreCheckedBeforeAnyFileIsTouched) {
    const std::string folder = work("planned");
    fs::create_directories(folder);
    ASSERT_EQ(plughost({"save-preset", KD_FAULTY_PLUGIN, "-o", folder + "/faulty.fxp"}).exitCode, 0);
    ASSERT_EQ(plughost({"save-preset", stub("effect"), "-o", folder + "/saved.fxp"}).exitCode, 0);
    std::ofstream(folder + "/cut.fxp", std::ios::binary) << contents(folder + "/saved.fxp").substr(0, 62);
    const struct {
        const char* plugin;
        const char* output;
        std::vector<std::string> options;
        int exitCode;
        std::string message;
        int format;  // major format of the written file
        std::size_t channels;
        int rate = kRate;
    } kCases[] = {
        {"wide", "wide.flac", {}, 2, "FLAC files cannot hold 98 channels", 0, 0},
        {"wide", "wide.wav", {}, 0, "", SF_FORMAT_WAV, 98},
        {"effect", "out.xyz", {}, 2, "cannot write .xyz files", 0, 0},
        {"effect", "out.mp3", {}, 0, "", SF_FORMAT_MPEG, 2},
        {"effect",
         "out.opus",
         {},
         2,
         "OGG (Opus) files take 8000, 12000, 16000, 24000 or 48000 Hz, not 44100 Hz",
         0,
         0},
        {"effect",
         "out.mp3",
         {"--rate", "96000"},
         2,
         "files take 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100 or 48000 Hz, not 96000 Hz: resample the "
         "output with --output-rate 48000",
         0,
         0},
        {"effect", "out.flac", {"--rate", "768000"}, 2, "FLAC files take up to 655350 Hz, not 768000 Hz", 0, 0},
        {"effect", "out.opus", {"--output-rate", "48000"}, 0, "", SF_FORMAT_OGG, 2, 48000},
        {"effect", "out.wav", {"--automate", "Drive:0=1"}, 2, "the plug-in has no parameter called \"Drive\"", 0, 0},
        {"effect",
         "out.wav",
         {"--program", "1", "--set", "Gain=0.5", "--set", "9=0.5"},
         2,
         "parameter 9 does not exist: the plug-in has 3 parameters",
         0,
         0},
        {"effect",
         "out.wav",
         {"--preset", folder + "/faulty.fxp"},
         2,
         "faulty.fxp belongs to plug-in 'Flty', not to this one ('StbE')",
         0,
         0},
        {"effect",
         "out.wav",
         {"--preset", folder + "/cut.fxp"},
         3,
         "cannot read preset file " + folder + "/cut.fxp: the parameter values at byte 56 needs 12 bytes",
         0,
         0},
        {"effect", "out.wav", {"--preset", folder + "/none.fxp"}, 3, "none.fxp: it does not exist", 0, 0},
    };
    for (const auto& entry : kCases) {
        const std::string output = folder + "/" + entry.output;
        const std::string deadPart = folder + "/.left.wav.plughost-999999999.part";
        std::ofstream(output) << "an earlier render";
        std::ofstream(deadPart) << "left by a render killed outright";
        std::vector<std::string> words = {"render", stub(entry.plugin), "-o", output};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        EXPECT_EQ(run.exitCode, entry.exitCode) << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
        if (entry.exitCode != 0) {
            EXPECT_EQ(contents(output), "an earlier render") << entry.output;
            EXPECT_TRUE(fs::exists(deadPart)) << entry.output << ": a refused render touched the folder";
            continue;
        }
        const ReadBack read = readAudio(output);
        EXPECT_EQ(read.format & SF_FORMAT_TYPEMASK, entry.format) << entry.output;
        EXPECT_EQ(read.channels.size(), entry.channels) << entry.output;
        EXPECT_EQ(read.rate, entry.rate) << entry.output;
        EXPECT_FALSE(fs::exists(deadPart));
    }
}

// Every common container is read from a pipe as from a file; a header that
// promises more than the file holds is reported, file or pipe, and nothing
// is written; a streamed header that could not know the length is no such
// promise.
TEST(Render, ReadsPipesAsFilesAndRefusesInputsCutShort) {
    SKIP_WITHOUT_POSIX_SHELL();
    const Channels tone = sine(0.5, 0.5);
    const std::string whole = writeAudio("promise.wav", tone, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string flac = writeAudio("promise.flac", tone, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string caf = writeAudio("promise.caf", tone, SF_FORMAT_CAF | SF_FORMAT_PCM_16);
    const std::string wavBytes = contents(whole);
    const std::string cutWav = work("cut.wav");
    std::ofstream(cutWav, std::ios::binary) << wavBytes.substr(0, 44 + 4 * 4410);
    const std::string cutFlac = work("cut.flac");
    std::ofstream(cutFlac, std::ios::binary) << contents(flac).substr(0, contents(flac).size() / 3);
    std::string streamed = wavBytes;
    streamed.replace(4, 4, "\xff\xff\xff\xff");
    streamed.replace(streamed.find("data") + 4, 4, "\xff\xff\xff\xff");
    const std::string streamedWav = work("streamed.wav");
    std::ofstream(streamedWav, std::ios::binary) << streamed;
    const struct {
        std::string input;
        bool piped;
        int exitCode;
        std::size_t frames;  // written; 0 for none
        std::string message;
    } kCases[] = {
        {flac, true, 0, 22050, ""},
        {caf, true, 0, 22050, ""},
        {streamedWav, true, 0, 22050, ""},
        {cutWav, false, 1, 0,
         "the input " + cutWav + " is cut short: it ends after 0.10 s, but its header promises 0.50 s"},
        {cutWav, true, 1, 0,
         "the input standard input is cut short: it ends after 0.10 s, but its header promises 0.50 s"},
        {cutFlac, true, 1, 0, "is cut short"},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("piped.wav");
        fs::remove(output);
        const std::string command = std::string(KD_PLUGHOST) + " render " + stub("effect") + " -o " + output +
                                    (entry.piped ? " -i -" : " -i " + entry.input);
        const CommandResult run =
            runCommand({"/bin/sh", "-c", entry.piped ? "cat " + entry.input + " | " + command : command});
        EXPECT_EQ(run.exitCode, entry.exitCode) << entry.input << (entry.piped ? " piped: " : ": ") << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
        EXPECT_EQ(readAudio(output).frames(), entry.frames) << entry.input;
    }
}

// A write that fails halfway, on the thread that writes, ends the render
// with the file error's exit code and leaves neither output nor part file.
TEST(Render, AWriteThatFailsHalfwayLeavesNoFile) {
    SKIP_WITHOUT_POSIX_SHELL();
    const std::string input = writeAudio("three-seconds.wav", sine(0.5, 3.0));
    const std::string output = work("too-large.wav");
    std::remove(output.c_str());
    const CommandResult run = runCommand({"/bin/sh", "-c",
                                          "trap '' XFSZ; ulimit -f 256; exec " + std::string(KD_PLUGHOST) + " render " +
                                              stub("effect") + " -i " + input + " -o " + output});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_TRUE(contains(run.err, "cannot write audio file " + output)) << run.err;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(partialFilesIn(KD_TEST_WORK_DIR));
}

// A plug-in that crashes ends the render with its signal, after plughost
// has named the call and removed its temporary file, and so does a render
// that a signal stops while the plug-in hangs. One killed outright leaves
// its temporary file, and the process that wrote it is gone too; such
// files are removed by the next render there.
TEST(Render, NoPartFileOutlivesARenderThatCrashedOrWasKilled) {
    SKIP_WITHOUT_POSIX_SHELL();
    const std::string folder = work("parts");
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string earlier = folder + "/out.wav";
    std::ofstream(earlier) << "an earlier render";
    const CommandResult crash = plughost({"render", KD_FAULTY_PLUGIN, "-o", earlier, "--block", "17"});
    EXPECT_EQ(crash.signal, SIGSEGV) << crash.err;
    EXPECT_EQ(contents(earlier), "an earlier render");
    EXPECT_TRUE(
        contains(crash.err, "plughost: the plug-in crashed (signal 11, SIGSEGV) in a 17-frame processReplacing"))
        << crash.err;
    EXPECT_FALSE(partialFilesIn(folder));

    // The stub hangs in its first process call; once the temporary file is
    // there, a helper sends plughost the signal and says whether the process
    // that rendered (named in the file) still runs afterwards (a dead one
    // that nothing has reaped yet does not).
    const std::string helper = "(until ls -a " + folder + " | grep -q part; do sleep 0.02; done; renderer=$(ls -a " +
                               folder + " | sed -n 's/.*plughost-\\([0-9]*\\)\\.part/\\1/p'); kill -";
    const std::string rest =
        " $(awk '/^PPid/ {print $2}' /proc/$renderer/status); sleep 0.3; grep -qs '^State:.*[^Z] (' "
        "/proc/$renderer/status && echo renderer runs) & KD_STUB_END=hang KD_STUB_END_AT=process " +
        std::string(KD_PLUGHOST) + " render " + KD_FAULTY_PLUGIN + " -o " + earlier + "; echo status $?; wait";
    for (const char* signal : {"INT", "TERM"}) {
        const CommandResult stopped = runCommand({"/bin/sh", "-c", helper + signal + rest}, 60);
        EXPECT_EQ(stopped.out, std::string("status ") + (signal[0] == 'I' ? "130" : "143") + "\n") << signal;
        EXPECT_FALSE(contains(stopped.err, "plughost")) << "a stop is not reported as a crash: " << stopped.err;
        EXPECT_FALSE(partialFilesIn(folder)) << signal;
        EXPECT_EQ(contents(earlier), "an earlier render");
    }
    const CommandResult killed = runCommand({"/bin/sh", "-c", helper + "KILL" + rest}, 60);
    EXPECT_TRUE(contains(killed.out, "status 137\n")) << killed.out;
    EXPECT_FALSE(contains(killed.out, "renderer runs")) << killed.out;
    EXPECT_TRUE(partialFilesIn(folder));
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".part") {
            fs::remove(entry.path());
        }
    }

    // No process has this number; this test's own process does live.
    const std::string dead = folder + "/.out.wav.plughost-999999999.part";
    const std::string living = folder + "/.other.wav.plughost-" + std::to_string(currentProcessId()) + ".part";
    std::ofstream(dead) << "left by a render killed outright";
    std::ofstream(living) << "being written";
    const CommandResult next = plughost({"render", stub("effect"), "-o", folder + "/next.wav"});
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(living));
    fs::remove(living);
    EXPECT_FALSE(partialFilesIn(folder));
}

// Each file channel lands where the printed mapping says: the output shows
// the input levels in the mapped order.
TEST(Render, ChannelsGoWhereThePrintedMappingSays) {
    const std::string four = writeAudio("four.wav", constant({0.1f, 0.2f, 0.3f, 0.4f}, 1000));
    const std::string two = writeAudio("two.wav", constant({0.1f, 0.2f}, 1000));
    const std::string mono = writeAudio("mono.wav", constant({0.7f}, 1000));
    const struct {
        const char* plugin;
        std::vector<std::string> options;
        const char* mapping;
        std::vector<float> levels;
    } kCases[] = {
        {"effect", {"-i", two}, "inputs    file 1-2 -> in 1-2", {0.1f, 0.2f}},
        {"three", {"-i", four}, "inputs    file 1-3 -> in 1-3", {0.1f, 0.2f, 0.3f}},
        {"effect", {"-i", two, "--channels", "2,1"}, "outputs   out 2 -> file 1, out 1 -> file 2", {0.2f, 0.1f}},
        {"three", {"-i", two, "--sidechain", mono}, "sidechain 1 -> in 3", {0.1f, 0.2f, 0.7f}},
        {"effect", {"-i", mono}, "file 1 -> in 1, file 1 -> in 2", {0.7f, 0.7f}},
        // A mono sidechain feeds both sidechain inputs (the stub adds in 3
        // to out 1, in 4 to out 2).
        {"quad",
         {"-i", two, "--sidechain", mono},
         "file 1-2 -> in 1-2, sidechain 1 -> in 3, sidechain 1 -> in 4",
         {0.8f, 0.9f}},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("mapped.wav");
        std::vector<std::string> words = {"render", stub(entry.plugin), "-o", output};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(contains(run.out, entry.mapping)) << run.out;
        const ReadBack read = readAudio(output);
        ASSERT_EQ(read.channels.size(), entry.levels.size()) << entry.mapping;
        for (std::size_t channel = 0; channel < entry.levels.size(); ++channel) {
            EXPECT_FLOAT_EQ(read.channels[channel][500], entry.levels[channel]) << entry.mapping << " " << channel;
        }
    }
    const CommandResult dropped = plughost({"render", stub("three"), "-i", four, "-o", work("mapped.wav")});
    EXPECT_TRUE(contains(dropped.err, "warning: input file channel 4 is left out")) << dropped.err;
}

// --set comes after --program; automation moves in steps of at most 32
// frames; names and numbers out of range are errors.
TEST(Render, ParametersAreSetInOrderAndAutomatedFinely) {
    const std::string input = writeAudio("dc.wav", constant({0.25f, 0.25f}, kRate));
    const struct {
        std::vector<std::string> options;
        int exitCode;
        float level;  // at the last frame
        const char* message;
    } kCases[] = {
        {{"--program", "1"}, 0, 0.5f, ""},
        {{"--program", "1", "--set", "Gain=0.25"}, 0, 0.125f, ""},
        {{"--set", "0=0.75", "--program", "1"}, 0, 0.375f, ""},
        {{"--program", "2"}, 2, 0.0f, "program 2 does not exist: the plug-in has 2 programs (0 to 1)"},
        {{"--set", "3=0.5"}, 2, 0.0f, "parameter 3 does not exist: the plug-in has 3 parameters"},
        {{"--set", "Drive=0.5"}, 2, 0.0f, "no parameter called \"Drive\"; its parameters: 0 Gain, 1 Echo, 2 Poison"},
        // The value the plug-in displays as "-6.02 dB" is 0.25.
        {{"--program", "1", "--set", "Gain=-6.02dB"}, 0, 0.125f, ""},
        {{"--set", "Gain=+7 dB"},
         2,
         0.0f,
         "--set Gain=+7 dB: no value of parameter 0 \"Gain\" shows it; the nearest it shows: \"+6.02 dB\""},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("set.wav");
        fs::remove(output);
        std::vector<std::string> words = {"render", stub("effect"), "-i", input, "-o", output};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        EXPECT_EQ(run.exitCode, entry.exitCode) << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
        const ReadBack read = readAudio(output);
        EXPECT_NEAR(read.frames() > 0 ? read.channels[0].back() : 0.0f, entry.level, 1e-4f) << words.back();
    }
    // The ramp: 0.25 * 2 * t, sent at least every 32 frames. A point after
    // the end of the render is warned about; the summary names the program
    // in use though none was asked for.
    const CommandResult run = plughost({"render", stub("effect"), "-i", input, "-o", work("ramp.wav"), "--automate",
                                        "gain:0=0,1=1", "--automate", "Echo:0=0,30=0", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.err, "warning: --automate Echo: the point at 30.000 s lies after the end of the render"))
        << run.err;
    EXPECT_FALSE(contains(run.err, "--automate gain")) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["program"], "0 Unity");
    const ReadBack ramp = readAudio(work("ramp.wav"));
    ASSERT_EQ(ramp.frames(), static_cast<std::size_t>(kRate));
    double worst = 0.0;
    for (std::size_t frame = 0; frame < ramp.frames(); ++frame) {
        worst = std::max(worst, std::fabs(ramp.channels[0][frame] - 0.5 * static_cast<double>(frame) / kRate));
    }
    EXPECT_LE(worst, 0.5 * 32.0 / kRate + 1e-6) << "the value lagged more than 32 frames";
}

// An impulse near the end, through a plug-in with 64 frames of latency and
// a 100-frame echo: where it lands and how long the output runs.
TEST(Render, LatencyIsCompensatedAndTailsEndWhenTheyFallSilent) {
    Channels impulse = constant({0.0f, 0.0f}, 22050);
    impulse[0][21900] = impulse[1][21900] = 1.0f;
    const std::string input = writeAudio("impulse.wav", impulse);
    const struct {
        std::vector<std::string> options;
        std::size_t impulseAt;
        std::size_t frames;
        const char* warning;  // about a tail cut while audible; empty for none
    } kCases[] = {
        {{}, 21900, 22050, ""},
        {{"--no-latency-compensation"}, 21964, 22050, ""},
        {{"--set", "Echo=0.5"}, 21900, 23801, ""},  // the echo falls below -120 dBFS after 0.5^19
        {{"--set", "Echo=0.5", "--tail", "0.25"}, 21900, 22050 + 11025, ""},
        {{"--set", "Echo=0.5", "--tail", "0"}, 21900, 22050, ""},
        // The plug-in's tail size (0.1 s) ends the tail while its echoes, 0.99
        // down each, still peak at 0.99^37 in its last 20 ms; the quiet frames
        // after the last echo are not written.
        {{"--set", "Echo=0.99"},
         21900,
         26401,
         "warning: the tail was cut after 0.10 s (the plug-in's tail size) while still at -3.2 dBFS"},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("tail.wav");
        std::vector<std::string> words = {"render", stub("delayed"), "-i", input, "-o", output};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const ReadBack read = readAudio(output);
        EXPECT_EQ(firstNonZero(read.channels[1]), entry.impulseAt) << run.out;
        EXPECT_EQ(read.frames(), entry.frames) << run.out;
        EXPECT_EQ(contains(run.err, "the tail was cut"), *entry.warning != '\0') << run.err;
        EXPECT_TRUE(contains(run.err, entry.warning)) << run.err;
    }
    // An effect that does not know its tail rings on at full level: the
    // longest automatic tail cuts it, and says so.
    const CommandResult ringing =
        plughost({"render", stub("effect"), "-i", input, "-o", work("ringing.wav"), "--set", "Echo=1"});
    EXPECT_TRUE(contains(ringing.err, "warning: the tail was cut after 10.00 s (the longest automatic tail)"))
        << ringing.err;
}

std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One note from `on` to `off` seconds, at the default 120 BPM and 480 ticks
// per quarter note (960 ticks a second).
std::string writeMidi(const std::string& name, double on, double off) {
    using namespace midi_bytes;
    const auto ticks = [](double seconds) { return static_cast<std::uint32_t>(std::lround(seconds * 960.0)); };
    std::ofstream(work(name), std::ios::binary)
        << header(0, 1, 480) +
               track(event(ticks(on), message(0x90, 60, 127)) + event(ticks(off) - ticks(on), message(0x80, 60, 0)));
    return work(name);
}

TEST(Render, InstrumentsPlayTheirMidiToTheFrame) {
    const std::string midi = writeMidi("note.mid", 0.25, 0.5);
    for (const char* block : {"512", "100"}) {
        const std::string output = work("instrument.wav");
        const CommandResult run =
            plughost({"render", stub("instrument"), "--midi", midi, "-o", output, "--block", block});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const ReadBack read = readAudio(output);
        EXPECT_EQ(firstNonZero(read.channels[0]), 11025u) << "block " << block;
        EXPECT_EQ(read.frames(), 22051u) << "block " << block;
        EXPECT_FLOAT_EQ(read.channels[0][22049], 1.0f);
        EXPECT_FLOAT_EQ(read.channels[0][22050], 0.0f);
    }
    // A file cut short is refused, never played as something else.
    const std::string whole = contentsOf(midi);
    std::ofstream(work("cut.mid"), std::ios::binary) << whole.substr(0, whole.size() - 2);
    const CommandResult cut =
        plughost({"render", stub("instrument"), "--midi", work("cut.mid"), "-o", work("cut-midi.wav")});
    EXPECT_EQ(cut.exitCode, 3);
    EXPECT_TRUE(contains(cut.err, "cannot read MIDI file " + work("cut.mid") + ": the chunk at byte 14 claims"))
        << cut.err;
    EXPECT_FALSE(fs::exists(work("cut-midi.wav")));
    // Sent to an effect that takes no MIDI, a note never released: both said.
    const std::string held = work("held.mid");
    std::ofstream(held, std::ios::binary)
        << midi_bytes::header(0, 1, 480) + midi_bytes::track(midi_bytes::event(0, midi_bytes::message(0x90, 60, 1)));
    const CommandResult effect = plughost({"render", stub("effect"), "--midi", held, "-o", work("held.wav")});
    EXPECT_EQ(effect.exitCode, 0) << effect.err;
    EXPECT_TRUE(contains(effect.err, "warning: 1 note is still held when " + held + " ends")) << effect.err;
    EXPECT_TRUE(contains(effect.err, "warning: the plug-in takes no MIDI")) << effect.err;
    const CommandResult phrase = plughost({"render", stub("instrument"), "-o", work("phrase.wav")});
    EXPECT_EQ(phrase.exitCode, 0);
    EXPECT_TRUE(contains(phrase.err, "it played the built-in phrase")) << phrase.err;
    EXPECT_TRUE(contains(phrase.out, "out       -2.1 dBFS")) << phrase.out;
    const CommandResult silent = plughost({"render", stub("effect"), "-o", work("silent.wav"), "--set", "Gain=0"});
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_TRUE(contains(silent.err, "warning: the output is silent")) << silent.err;
}

// The stub writes what the clock told it into its outputs: 2 the tempo,
// 4 the time signature as numerator * 1000 + denominator.
TEST(Render, ThePluginsClockRunsAtTheTempoGivenOrTheMidiFilesOwn) {
    const std::string input = writeAudio("clock-in.wav", constant({0.0f}, 4410));
    const std::string midi = work("clock.mid");
    std::ofstream(midi, std::ios::binary)
        << midi_bytes::header(0, 1, 480) + midi_bytes::track(midi_bytes::event(0, midi_bytes::tempo(400000)));
    const struct {
        std::vector<std::string> options;
        float tempo, meter;
        const char* warning;
    } kCases[] = {
        {{}, 120.0f, 4004.0f, ""},
        {{"--tempo", "90", "--time-signature", "7/8"}, 90.0f, 7008.0f, ""},
        {{"--tempo", "90", "--time-signature", "7/8", "--midi", midi},
         150.0f,
         7008.0f,
         "the tempo given (90 BPM) is overridden from the start by the 150 BPM of"},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("clock.wav");
        std::vector<std::string> words = {"render", stub("clock"), "-i", input, "-o", output, "--tail", "0"};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const ReadBack read = readAudio(output);
        ASSERT_EQ(read.channels.size(), 8u);
        EXPECT_EQ(read.channels[2][4000], entry.tempo) << run.out;
        EXPECT_EQ(read.channels[4][4000], entry.meter) << run.out;
        EXPECT_TRUE(contains(run.err, entry.warning)) << run.err;
    }
    const CommandResult odd = plughost({"render", stub("clock"), "-o", work("odd.wav"), "--time-signature", "4/3"});
    EXPECT_EQ(odd.exitCode, 2);
    EXPECT_TRUE(contains(odd.err, "--time-signature: takes N/D")) << odd.err;
}

// A program file and a bank file saved after --program and --set play as
// those options do; a program file is no bank, and another version is
// warned about. (What the plan step refuses is in its table above.)
TEST(Render, PresetAndBankFilesPlayWhatWasSavedAndRefuseWhatIsNotThePluginsOwn) {
    const std::string input = writeAudio("preset-in.wav", sine(0.25, 0.2));
    const std::vector<std::string> chosen = {"--program", "1", "--set", "Echo=50 %"};
    const auto render = [&](const std::string& name, std::vector<std::string> options) {
        std::vector<std::string> words = {"render", stub("effect"), "-i", input, "-o", work(name)};
        words.insert(words.end(), options.begin(), options.end());
        return plughost(words);
    };
    ASSERT_EQ(render("chosen.wav", chosen).exitCode, 0);
    for (const char* file : {"saved.fxp", "saved.fxb"}) {
        std::vector<std::string> words = {"save-preset", stub("effect"), "-o", work(file)};
        words.insert(words.end(), chosen.begin(), chosen.end());
        const CommandResult saved = plughost(words);
        ASSERT_EQ(saved.exitCode, 0) << saved.err;
        const CommandResult played = render("played.wav", {"--preset", work(file), "--json"});
        ASSERT_EQ(played.exitCode, 0) << played.err;
        EXPECT_EQ(contents(work("played.wav")), contents(work("chosen.wav"))) << file;
        EXPECT_EQ(nlohmann::json::parse(played.out)["preset"]["path"], work(file));
    }
    const std::string directory = work("bank-programs");
    fs::remove_all(directory);
    const CommandResult bank =
        plughost({"render-programs", stub("effect"), "-i", input, "-d", directory, "--bank", work("saved.fxb")});
    ASSERT_EQ(bank.exitCode, 0) << bank.err;
    EXPECT_TRUE(contains(bank.out, "bank " + work("saved.fxb") + ": a bank of 2 programs")) << bank.out;
    EXPECT_EQ(contents(directory + "/program-1.wav"), contents(work("chosen.wav")));
    EXPECT_NE(contents(directory + "/program-0.wav"), contents(work("chosen.wav")));

    std::string newer = contents(work("saved.fxp"));
    newer[23] = 1;  // the plug-in version, the last byte of its field
    std::ofstream(work("newer.fxp"), std::ios::binary) << newer;
    const struct {
        std::vector<std::string> words;
        int exitCode;
        std::string message;
    } kCases[] = {
        {{"render-programs", stub("effect"), "-d", work("refused"), "--bank", work("saved.fxp")},
         2,
         "saved.fxp holds one program, not a bank: render it with render --preset"},
        {{"render", stub("effect"), "-o", work("refused.wav"), "--preset", work("newer.fxp")},
         0,
         "warning: " + work("newer.fxp") + " was saved by version 1 of the plug-in; this is version 0"},
    };
    for (const auto& entry : kCases) {
        fs::remove(work("refused.wav"));
        const CommandResult run = plughost(entry.words);
        EXPECT_EQ(run.exitCode, entry.exitCode) << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
        EXPECT_EQ(fs::exists(work("refused.wav")), entry.exitCode == 0);
        EXPECT_FALSE(fs::exists(work("refused")));
    }
}

TEST(Render, JsonCarriesTheFiguresOfTheSummary) {
    const std::string input = writeAudio("json.wav", sine(0.5, 0.5));
    const CommandResult run =
        plughost({"render", stub("effect"), "-i", input, "-o", work("json-out.wav"), "--json", "--program", "1",
                  "--set", "Poison=1", "--set", "Echo=0%", "--automate", "0:0=0.5,0.25=1"});
    EXPECT_EQ(run.exitCode, 1);
    const nlohmann::json json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["plugin"], stub("effect"));
    EXPECT_EQ(json["settings"], nlohmann::json::parse(R"([{"parameter": {"index": 2, "name": "Poison"}, "value": 1.0},
        {"parameter": {"index": 1, "name": "Echo"}, "value": 0.0, "display": "0%"}])"));
    EXPECT_EQ(json["automation"][0]["parameter"]["name"], "Gain");
    EXPECT_EQ(json["automation"][0]["points"][1], nlohmann::json::parse(R"({"seconds": 0.25, "value": 1.0})"));
    EXPECT_NEAR(json["levels"]["in"]["peak_dbfs"].get<double>(), -6.02, 0.01);
    EXPECT_EQ(json["levels"]["out"]["peak_dbfs"], "+inf");
    EXPECT_EQ(json["levels"]["out"]["first_non_finite"]["frame"], 1000);
    EXPECT_EQ(json["levels"]["out"]["true_peak_dbtp"], "+inf");
    EXPECT_TRUE(json["levels"]["out"]["integrated_lufs"].is_null()) << "an infinite output has no loudness";
    EXPECT_EQ(json["output"]["written"], false);
    EXPECT_EQ(json["program"], "1 Double");
    EXPECT_GT(json["speed"]["plugin_seconds"].get<double>(), 0.0);
    // Without --program, the program the plug-in was left in.
    const CommandResult unchosen =
        plughost({"render", stub("effect"), "-i", input, "-o", work("json-out.wav"), "--json"});
    ASSERT_EQ(unchosen.exitCode, 0) << unchosen.err;
    EXPECT_EQ(nlohmann::json::parse(unchosen.out)["program"], "0 Unity") << unchosen.out;
}

// A 441 Hz sine at `rate`, `seconds` long, at `level`.
Channels sineAt(double level, double seconds, int rate) {
    Channels result(2, std::vector<float>(static_cast<std::size_t>(std::llround(seconds * rate))));
    for (auto& channel : result) {
        for (std::size_t i = 0; i < channel.size(); ++i) {
            channel[i] = static_cast<float>(level * std::sin(2.0 * M_PI * 441.0 * static_cast<double>(i) / rate));
        }
    }
    return result;
}

// The largest difference from the same sine at the file's rate, away from
// the ends.
double differenceFromSine(const ReadBack& read, double level) {
    const Channels expected = sineAt(level, static_cast<double>(read.frames()) / read.rate, read.rate);
    const std::size_t margin = static_cast<std::size_t>(read.rate / 50);
    double worst = 0.0;
    for (std::size_t i = margin; i + margin < read.frames() && i < expected[0].size(); ++i) {
        worst = std::max(worst, static_cast<double>(std::fabs(read.channels[0][i] - expected[0][i])));
    }
    return worst;
}

// --rate resamples an input file at another rate, --output-rate the output;
// the sine comes out as the same sine at the new rate, the length scaled,
// and the summary says what was resampled.
TEST(Render, InputsAndOutputsAtOtherRatesAreResampledAndSaidSo) {
    const std::string at48 = writeAudio("at48.wav", sineAt(0.5, 0.5, 48000), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000);
    const std::string side = writeAudio("side44.wav", constant({0.25f}, 22050));
    const struct {
        std::string plugin;
        std::vector<std::string> options;
        int rate;  // of the output file
        const char* said;
        std::size_t frames;
    } kCases[] = {
        {"effect", {"--rate", "44100"}, 44100, "resampled input 48000 -> 44100 Hz (libsoxr, very high quality)", 22050},
        {"effect", {"--output-rate", "96000"}, 96000, "resampled output 48000 -> 96000 Hz", 48000},
        {"effect",
         {"--rate", "96000", "--output-rate", "44100"},
         44100,
         "resampled input 48000 -> 96000 Hz, output 96000 -> 44100 Hz",
         22050},
        // The sidechain (the stub adds inputs 3-4 to outputs 1-2) comes to
        // the main input's rate.
        {"quad", {"--sidechain", side}, 48000, "resampled sidechain 44100 -> 48000 Hz", 24000},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("resampled.wav");
        std::vector<std::string> words = {"render", stub(entry.plugin.c_str()), "-i", at48, "-o", output, "--tail",
                                          "0"};
        words.insert(words.end(), entry.options.begin(), entry.options.end());
        const CommandResult run = plughost(words);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(contains(run.out, entry.said)) << run.out;
        const ReadBack read = readAudio(output);
        EXPECT_EQ(read.rate, entry.rate) << entry.said;
        EXPECT_EQ(read.frames(), entry.frames) << entry.said;
        if (entry.plugin == "quad") {
            // 0.25 from the sidechain, added to the sine.
            EXPECT_NEAR(read.channels[0][12001], 0.25 + 0.5 * std::sin(2.0 * M_PI * 441.0 * 12001 / 48000), 1e-5);
        } else {
            EXPECT_LT(differenceFromSine(read, 0.5), 3e-5) << entry.said;
        }
    }
    const CommandResult json = plughost({"render", stub("effect"), "-i", at48, "-o", work("resampled.wav"), "--rate",
                                         "44100", "--output-rate", "48000", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    // The output's loudness is measured on what was written, at its rate.
    EXPECT_TRUE(measuresAsWritten(nlohmann::json::parse(json.out)["levels"]["out"], work("resampled.wav")));
    EXPECT_EQ(nlohmann::json::parse(json.out)["resampled"],
              nlohmann::json::parse(R"([{"stream": "input", "from_hz": 48000.0, "to_hz": 44100.0},
                                        {"stream": "output", "from_hz": 44100.0, "to_hz": 48000.0}])"));
}

// -o - streams the audio to standard output (the summary goes to the error
// stream), into a pipe or a file, as WAV or FLAC: read back it holds what
// the same render writes into a file. A stream read from standard input
// goes through a second plughost, pipes both ways.
TEST(Render, StandardOutputCarriesTheAudioAlone) {
    SKIP_WITHOUT_POSIX_SHELL();
    const std::string input = writeAudio("streamed-in.wav", sine(0.5, 0.5));
    const struct {
        std::vector<std::string> options;
        const char* extension;
        int encoding;
    } kCases[] = {
        {{}, "wav", SF_FORMAT_FLOAT},
        {{"--bit-depth", "24"}, "wav", SF_FORMAT_PCM_24},
        {{"--bit-depth", "16", "--dither", "tpdf"}, "wav", SF_FORMAT_PCM_16},
        {{"--bit-depth", "8"}, "wav", SF_FORMAT_PCM_U8},
        {{"--format", "flac"}, "flac", SF_FORMAT_PCM_24},
    };
    for (const auto& entry : kCases) {
        std::string options;      // of the streamed render
        std::string fileOptions;  // of the render into a file, whose name chooses the format
        for (std::size_t i = 0; i < entry.options.size(); ++i) {
            options += " " + entry.options[i];
            if (entry.options[i] == "--format") {
                ++i;
                options += " " + entry.options[i];
            } else {
                fileOptions += " " + entry.options[i];
            }
        }
        const std::string render = std::string(KD_PLUGHOST) + " render " + stub("effect") + " -i " + input;
        const std::string file = work(std::string("direct.") + entry.extension);
        ASSERT_EQ(runCommand({"/bin/sh", "-c", render + fileOptions + " -o " + file}).exitCode, 0);
        const ReadBack expected = readAudio(file);
        for (const char* how : {" | cat > ", " > "}) {
            const std::string streamed = work(std::string("streamed.") + entry.extension);
            const CommandResult run = runCommand({"/bin/sh", "-c", render + options + " -o -" + how + streamed});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_TRUE(contains(run.err, "input     " + input)) << "the summary goes to the error stream";
            const ReadBack read = readAudio(streamed);
            EXPECT_EQ(read.format & SF_FORMAT_SUBMASK, entry.encoding) << options << how;
            EXPECT_EQ(read.channels, expected.channels) << options << how;
        }
    }
    // The summary, on the error stream, measures the stream as written.
    const std::string measured = work("streamed-measured.wav");
    const CommandResult json = runCommand(
        {"/bin/sh", "-c",
         std::string(KD_PLUGHOST) + " render " + stub("effect") + " -i " + input + " --json -o - > " + measured});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_TRUE(measuresAsWritten(nlohmann::json::parse(json.err)["levels"]["out"], measured));

    const std::string back = work("both-ways.wav");
    const CommandResult twice =
        runCommand({"/bin/sh", "-c",
                    std::string(KD_PLUGHOST) + " render " + stub("effect") + " -i " + input + " -o - --program 1 | " +
                        KD_PLUGHOST + " render " + stub("effect") + " -i - -o " + back + " --program 1"});
    ASSERT_EQ(twice.exitCode, 0) << twice.err;
    EXPECT_NEAR(readAudio(back).channels[0][25], 4.0 * 0.5 * std::sin(2.0 * M_PI * 441.0 * 25 / kRate), 1e-5);
    EXPECT_TRUE(contains(twice.out, "input     standard input (WAV, 32 bit float)")) << twice.out;

    const CommandResult ogg = runCommand(
        {"/bin/sh", "-c", std::string(KD_PLUGHOST) + " render " + stub("effect") + " -o - --format ogg | cat"});
    EXPECT_EQ(ogg.exitCode, 0) << "the status of cat";
    EXPECT_TRUE(contains(ogg.err, "-o - streams WAV or FLAC (--format wav or --format flac), not 'ogg'")) << ogg.err;
    // Output that cannot be trusted has gone out all the same: said, with
    // exit code 1.
    const CommandResult clipped = runCommand({"/bin/sh", "-c",
                                              std::string(KD_PLUGHOST) + " render " + stub("effect") + " -i " +
                                                  writeAudio("streamed-loud.wav", sine(0.7071, 0.1)) +
                                                  " --program 1 --bit-depth 16 -o - > " + work("clipped.wav")});
    EXPECT_EQ(clipped.exitCode, 1) << clipped.err;
    EXPECT_TRUE(contains(clipped.err, "the stream on standard output holds it all the same: do not use it"))
        << clipped.err;
    EXPECT_EQ(readAudio(work("clipped.wav")).frames(), 4410u);
}

// --then runs plug-ins in series in one pass: each takes the --program,
// --preset, --set and --automate after it, the latencies add up and are
// compensated, the channels are matched as a file's are (or refused), and
// each plug-in has a clock of its own.
TEST(Render, AChainRunsThePluginsInSeriesEachWithItsOwnSettings) {
    Channels input = constant({0.25f, 0.25f}, 22050);
    input[0][21900] = input[1][21900] = 1.0f;
    const std::string path = writeAudio("chain-in.wav", input);
    const std::string doubled = work("chain-double.fxp");  // program 1: a gain of 2
    ASSERT_EQ(plughost({"save-preset", stub("effect"), "-o", doubled, "--program", "1"}).exitCode, 0);
    const std::string faulty = work("chain-faulty.fxp");
    ASSERT_EQ(plughost({"save-preset", KD_FAULTY_PLUGIN, "-o", faulty}).exitCode, 0);
    const struct {
        std::vector<std::string> words;  // after "render"
        int exitCode;
        float level;            // of channel 2 at frame 10000
        std::size_t impulseAt;  // the first frame of channel 2 above 0.3; 0: not looked for
        std::string message;    // in the summary or the error stream
    } kCases[] = {
        {{stub("effect"), "--program", "1", "--then", stub("effect"), "--set", "Gain=0.25"},
         0,
         0.25f,
         21900,
         "program   1: 1 Double, 2: 0 Unity"},
        {{stub("effect"), "--then", stub("effect"), "--program", "1"}, 0, 0.5f, 21900, "chain     1 "},
        {{stub("effect"), "--then", stub("effect"), "--preset", doubled},
         0,
         0.5f,
         21900,
         "preset    2: " + doubled + ": a program of 3 parameter values"},
        {{stub("effect"), "--preset", doubled, "--then", stub("effect"), "--set", "Gain=-6.02 dB"},
         0,
         0.25f,
         21900,
         "preset    1: " + doubled + ": "},
        {{stub("delayed"), "--then", stub("delayed")}, 0, 0.25f, 21900, "latency   128 samples: 64 + 64 (compensated)"},
        {{stub("delayed"), "--then", stub("delayed"), "--no-latency-compensation"},
         0,
         0.25f,
         22028,
         "(left in the output)"},
        {{stub("three"), "--then", stub("effect")},
         0,
         0.25f,
         21900,
         "'s output 3 is left out: plug-in 2 of the chain (" + stub("effect") + ") takes 2 inputs"},
        {{stub("effect"), "--then", stub("instrument")},
         2,
         0.0f,
         0,
         "plug-in 2 of the chain (" + stub("instrument") + ") has no audio inputs, so it cannot follow"},
        {{stub("effect"), "--then", stub("effect"), "--set", "Nope=1"},
         2,
         0.0f,
         0,
         "plug-in 2 of the chain (" + stub("effect") + "): the plug-in has no parameter called \"Nope\""},
        {{stub("effect"), "--then", stub("delayed"), "--preset", faulty},
         2,
         0.0f,
         0,
         "plug-in 2 of the chain (" + stub("delayed") + "): " + faulty + " belongs to plug-in 'Flty'"},
    };
    for (const auto& entry : kCases) {
        const std::string output = work("chain.wav");
        fs::remove(output);
        std::vector<std::string> words = {"render", "-i", path, "-o", output, "--tail", "0"};
        words.insert(words.end(), entry.words.begin(), entry.words.end());
        const CommandResult run = plughost(words);
        EXPECT_EQ(run.exitCode, entry.exitCode) << run.err;
        EXPECT_TRUE(contains(run.out + run.err, entry.message)) << run.out << run.err;
        const ReadBack read = readAudio(output);
        if (entry.exitCode != 0) {
            EXPECT_EQ(read.frames(), 0u);
            continue;
        }
        ASSERT_EQ(read.channels.size(), 2u) << run.out;
        EXPECT_FLOAT_EQ(read.channels[1][10000], entry.level) << run.out;
        std::size_t first = 0;
        while (first < read.frames() && read.channels[1][first] <= 0.3f * entry.level * 4.0f) {
            ++first;
        }
        EXPECT_EQ(first, entry.impulseAt) << run.out;
    }

    // The chain's output is what is measured: the second plug-in's gain
    // shows in the figures.
    const CommandResult measured =
        plughost({"render", "-i", writeAudio("chain-loud-in.wav", sine(0.25, 1.0)), "-o", work("chain-loud.wav"),
                  stub("effect"), "--then", stub("effect"), "--program", "1", "--json"});
    ASSERT_EQ(measured.exitCode, 0) << measured.err;
    const nlohmann::json levels = nlohmann::json::parse(measured.out)["levels"];
    EXPECT_NEAR(levels["out"]["integrated_lufs"].get<double>() - levels["in"]["integrated_lufs"].get<double>(), 6.02,
                0.01)
        << levels;
    EXPECT_TRUE(measuresAsWritten(levels["out"], work("chain-loud.wav")));

    // Each plug-in's clock counts the frames it processed itself: the
    // second clock in a chain reports the block's start, not twice it.
    const std::string clocked = work("chain-clock.wav");
    const CommandResult clock = plughost({"render", stub("clock"), "--then", stub("clock"), "-i",
                                          writeAudio("chain-clock-in.wav", constant({0.0f}, 4410)), "-o", clocked,
                                          "--tail", "0", "--tempo", "90"});
    ASSERT_EQ(clock.exitCode, 0) << clock.err;
    EXPECT_TRUE(contains(clock.err, "outputs 2 to 8 are left out")) << clock.err;
    const ReadBack times = readAudio(clocked);
    ASSERT_EQ(times.channels.size(), 8u);
    EXPECT_EQ(times.channels[0][4000], 3584.0f);
    EXPECT_EQ(times.channels[2][4000], 90.0f);

    // An instrument first: it hears the MIDI; the effect after it, which
    // takes none, is not warned about.
    const CommandResult played = plughost({"render", stub("instrument"), "--midi", writeMidi("chain.mid", 0.25, 0.5),
                                           "--then", stub("effect"), "--program", "1", "-o", work("played.wav")});
    ASSERT_EQ(played.exitCode, 0) << played.err;
    EXPECT_FALSE(contains(played.err, "takes no MIDI")) << played.err;
    EXPECT_FLOAT_EQ(readAudio(work("played.wav")).channels[0][11025], 2.0f);
}

// A batch renders each input in a process of its own, -j at a time: a
// file that cannot be read, one cut short and one whose render crashes the
// plug-in (blocks of 17 frames crash the faulty stub) fail on their own,
// the others are written, and the exit code is the worst.
TEST(Render, ABatchRendersEachFileOnItsOwnAndEndsWithTheWorst) {
    const std::string folder = work("batch-in");
    fs::remove_all(folder);
    fs::create_directories(folder + "/sub");
    const std::string good = writeAudio("batch-in/good.wav", constant({0.5f}, 1024));
    const std::string flac =
        writeAudio("batch-in/sub/other.flac", constant({0.25f}, 2048), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    const std::string crash = writeAudio("batch-in/crash.wav", constant({0.5f}, 512 + 17));
    const std::string junk = folder + "/junk.wav";
    std::ofstream(junk) << "not audio";
    const std::string whole =
        contents(writeAudio("batch-in/whole.wav", constant({0.5f}, 4096), SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    const std::string cut = folder + "/cut.wav";
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() / 2);
    const std::string list = folder + "/list.txt";
    std::ofstream(list) << flac << "\n\n" << cut << "\n";
    const std::string out = work("batch-out");
    fs::remove_all(out);

    const std::vector<std::string> batch = {
        "render", KD_FAULTY_PLUGIN, "-i", good,          "-i", junk, "-i", crash, "--list", list, "-d",
        out,      "--tail",         "0",  "--bit-depth", "24"};
    std::vector<std::string> json = batch;
    json.insert(json.end(), {"-j", "2", "--json"});
    const CommandResult run = plughost(json);
    const nlohmann::json report = nlohmann::json::parse(run.out);
    const struct {
        const char* output;
        int exitCode;  // -1: a crash (a signal, or the sanitizer's report)
        std::size_t frames;
    } kJobs[] = {
        {"good.wav", 0, 1024}, {"junk.wav", 3, 0}, {"crash.wav", -1, 0}, {"other.wav", 0, 2048}, {"cut.wav", 1, 0}};
    ASSERT_EQ(report["renders"].size(), std::size(kJobs)) << run.out;
    int worst = 0;
    std::vector<double> truePeaks;  // of the files written
    for (std::size_t i = 0; i < std::size(kJobs); ++i) {
        const nlohmann::json& job = report["renders"][i];
        const int exitCode = job["exit_code"].get<int>();
        worst = std::max(worst, exitCode);
        EXPECT_EQ(job["output"], out + "/" + kJobs[i].output);
        if (kJobs[i].exitCode >= 0) {
            EXPECT_EQ(exitCode, kJobs[i].exitCode) << job.dump();
        } else {
            EXPECT_NE(exitCode, 0) << job.dump();
        }
        const ReadBack read = readAudio(out + "/" + kJobs[i].output);
        EXPECT_EQ(read.frames(), kJobs[i].frames) << kJobs[i].output;
        EXPECT_EQ(job["written"], kJobs[i].frames > 0) << job.dump();
        if (read.frames() > 0) {
            EXPECT_EQ(read.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
            EXPECT_EQ(job["summary"]["output"]["frames"], kJobs[i].frames);
            truePeaks.push_back(job["summary"]["levels"]["out"]["true_peak_dbtp"].get<double>());
        }
    }
    // Each file measured on its own: a constant of 0.5, one of 0.25.
    ASSERT_EQ(truePeaks.size(), 2u);
    EXPECT_NEAR(truePeaks[0] - truePeaks[1], 6.02, 0.01) << truePeaks[0] << " " << truePeaks[1];
    EXPECT_EQ(run.exitCode, worst) << run.err;
    EXPECT_EQ(report["exit_code"], worst);
    EXPECT_GE(worst, 3);
    EXPECT_EQ(report["written"], 2);
    EXPECT_TRUE(contains(run.err, junk + ": plughost: cannot read audio file " + junk)) << run.err;

    // The table, one process at a time: the same verdicts, in the inputs'
    // order.
    std::vector<std::string> text = batch;
    text.insert(text.end(), {"-j", "1"});
    const CommandResult table = plughost(text);
    EXPECT_EQ(table.exitCode, worst) << table.err;
    EXPECT_LT(table.out.find(good), table.out.find(junk)) << table.out;
    EXPECT_TRUE(
        std::regex_search(table.out, std::regex("\n" + cut + " +NOT WRITTEN +[0-9.]+ s +-6.0 dBFS +-12.0 dBFS")))
        << table.out;
    EXPECT_TRUE(contains(table.out, "2 of 5 files written into " + out + " (1 process at once,")) << table.out;
    EXPECT_TRUE(contains(table.out, "peak out    LUFS out  LRA out    dBTP out")) << table.out;
}

#ifdef KD_KDISTORTION
// 64-bit FNV-1a.
std::uint64_t digest(const void* data, std::size_t size) {
    std::uint64_t hash = 14695981039346656037u;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211u;
    }
    return hash;
}

// K Distortion renders the same job into the same samples on Linux and on
// Windows (32 and 64-bit), in every format the Windows libraries are built
// for, and into the same bytes where the container holds nothing of its
// own run (an Ogg stream's serial number is random). The digests are the
// Linux build's; the input is made of integers, the same on every system.
// MP3 files are compared by their bytes alone: Debian's mpg123 decodes
// with code chosen for the processor, so the same file reads back a little
// differently on the two systems. The exceptions: Vorbis, which the
// Windows build of libvorbis encodes with the Windows C library's maths (its
// samples differ from Linux's by rounding), and MP3 in the 64-bit Windows
// build, whose LAME encodes other bytes.
TEST(KDistortion, EverySystemRendersTheSameSamplesAndBytes) {
    std::vector<int> noise;
    std::uint32_t state = 25;
    for (int i = 0; i < 2 * kRate; ++i) {
        state = state * 1664525u + 1013904223u;
        noise.push_back(static_cast<int>(state & 0xffff0000u) / 4 + (i % 441) * (1 << 19));
    }
    const std::string input = writeIntegers("same-input.wav", noise, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::uint64_t samples;  // of the samples read back as floats; 0: not compared
        std::uint64_t bytes;    // of the file; 0: not compared
        bool windowsToo;
        bool win64Too;
    } kRenders[] = {
        {"same.wav", {"--bit-depth", "16"}, 8753481830145331313u, 14566805722334918186u, true, true},
        {"same.flac",
         {"--bit-depth", "24", "--output-rate", "96000"},
         13885909698319233349u,
         9004503877014545919u,
         true,
         true},
        {"same.ogg", {}, 1527837577349497381u, 0, false, false},
        {"same.opus", {"--output-rate", "48000"}, 943298233435823297u, 0, true, true},
        {"same.mp3", {}, 0, 8641466965023074215u, true, false},
    };
    for (const auto& render : kRenders) {
        const std::string output = work(render.name);
        std::vector<std::string> words = {"render", KD_KDISTORTION, "-i", input, "-o", output, "--program", "3"};
        words.insert(words.end(), render.options.begin(), render.options.end());
        const CommandResult run = plughost(words);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const ReadBack read = readAudio(output);
        std::vector<float> interleaved;
        for (std::size_t frame = 0; frame < read.frames(); ++frame) {
            for (const auto& channel : read.channels) {
                interleaved.push_back(channel[frame]);
            }
        }
        const std::string bytes = contents(output);
#ifdef _WIN32
        if (!render.windowsToo) {
            continue;
        }
#endif
#ifdef _WIN64
        if (!render.win64Too) {
            continue;
        }
#endif
        EXPECT_GT(read.frames(), 0u) << render.name;
        if (render.samples != 0) {
            EXPECT_EQ(digest(interleaved.data(), interleaved.size() * sizeof(float)), render.samples)
                << render.name << ": other samples than Linux's, " << read.frames() << " frames";
        }
        if (render.bytes != 0) {
            EXPECT_EQ(digest(bytes.data(), bytes.size()), render.bytes)
                << render.name << ": other bytes than Linux's, " << bytes.size() << " bytes";
        }
    }
}

// Every example of the manual's render section runs as it is shown, in a
// folder that holds the files it names; one followed by a line
// "# plughost: ..." is refused with that message.
TEST(Manual, EveryRenderExampleRuns) {
    SKIP_WITHOUT_POSIX_SHELL();
    std::ifstream manual(std::string(KD_SOURCE_DIR) + "/docs/plughost.md");
    struct Example {
        std::string line;
        std::string refusal;  // empty: it succeeds
    };
    std::vector<Example> examples;
    bool inRender = false;
    bool inBlock = false;
    for (std::string line; std::getline(manual, line);) {
        if (line.rfind("## ", 0) == 0) {
            inRender = line == "## render";
        } else if (line.rfind("```", 0) == 0) {
            inBlock = inRender && !inBlock && line == "```sh";
        } else if (inBlock && line.rfind("# plughost: ", 0) == 0 && !examples.empty()) {
            examples.back().refusal = line.substr(2);
        } else if (inBlock && !line.empty() && line[0] != '#') {
            examples.push_back({line, ""});
        }
    }
    ASSERT_GE(examples.size(), 7u) << "the render section's examples were not found";

    const std::string folder = work("manual");
    fs::remove_all(folder);
    fs::create_directories(folder + "/bin");
    fs::create_symlink(KD_PLUGHOST, folder + "/bin/plughost");
    fs::create_symlink(KD_KDISTORTION, folder + "/KDistortion.so");
    fs::create_symlink(stub("delayed"), folder + "/delay.so");
    for (const char* name : {"in.wav", "a.wav", "c.wav"}) {
        fs::copy_file(writeAudio(std::string("manual-") + name, sine(0.25, 0.5), SF_FORMAT_WAV | SF_FORMAT_PCM_16),
                      folder + "/" + name);
    }
    fs::copy_file(writeAudio("manual-b.flac", sine(0.25, 0.5), SF_FORMAT_FLAC | SF_FORMAT_PCM_16), folder + "/b.flac");
    fs::copy_file(writeAudio("manual-in-48k.wav", sineAt(0.25, 0.5, 48000), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000),
                  folder + "/in-48k.wav");
    std::ofstream(folder + "/more.txt") << "c.wav\n";
    for (const Example& example : examples) {
        const CommandResult run =
            runCommand({"/bin/sh", "-c", "cd " + folder + " && PATH=" + folder + "/bin:$PATH && " + example.line});
        if (example.refusal.empty()) {
            EXPECT_EQ(run.exitCode, 0) << example.line << "\n" << run.out << run.err;
        } else {
            EXPECT_NE(run.exitCode, 0) << example.line << "\n" << run.out << run.err;
            EXPECT_TRUE(contains(run.err, example.refusal)) << example.line << "\n" << run.err;
        }
    }
    EXPECT_EQ(readAudio(folder + "/out.wav").rate, kRate);
    EXPECT_EQ(readAudio(folder + "/rendered/c.wav").frames(), 22050u);
}
#endif

}  // namespace
