// `plughost render` and `render-programs` as a user runs them, on stub
// plug-ins whose output shows what the host did. Every case asserts on the
// written file or on levels that only the processed signal has.
#include <gtest/gtest.h>
#include <smf.h>
#include <sndfile.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_command.h"

namespace {

namespace fs = std::filesystem;
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

std::string writeAudio(const std::string& name, const Channels& channels,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    const std::string path = work(name);
    SF_INFO info{};
    info.samplerate = kRate;
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
    std::size_t frames() const { return channels.empty() ? 0 : channels.front().size(); }
};

ReadBack readAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ReadBack read;
    if (file == nullptr) {
        return read;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    const auto frames = static_cast<std::size_t>(sf_readf_float(file, interleaved.data(), info.frames));
    sf_close(file);
    read.format = info.format;
    read.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < read.channels.size(); ++channel) {
            read.channels[channel][frame] = interleaved[frame * read.channels.size() + channel];
        }
    }
    return read;
}

std::string contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

Channels sine(double level, double seconds, int channels = 2) {
    Channels result(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(seconds * kRate)));
    for (auto& channel : result) {
        for (std::size_t i = 0; i < channel.size(); ++i) {
            channel[i] = static_cast<float>(level * std::sin(2.0 * M_PI * 441.0 * static_cast<double>(i) / kRate));
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
    } kCases[] = {
        {stub("effect"), {"--program", "1", "--bit-depth", "16"}, 1, "would clip: 22050 samples", 0.0f},
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
        const std::string output = work("refused.wav");
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
        }
        EXPECT_FALSE(partialFilesIn(KD_TEST_WORK_DIR));
    }
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

TEST(Render, NeverWritesOverItsInputOrThePlugin) {
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

TEST(Render, TheFormatComesFromTheNameAndIsCheckedBeforeRendering) {
    const struct {
        const char* plugin;
        const char* output;
        int exitCode;
        const char* message;
        int format;  // major format of the written file
        std::size_t channels;
    } kCases[] = {
        {"wide", "wide.flac", 2, "FLAC files cannot hold 98 channels", 0, 0},
        {"wide", "wide.wav", 0, "", SF_FORMAT_WAV, 98},
        {"effect", "out.xyz", 2, "cannot write .xyz files", 0, 0},
        {"effect", "out.mp3", 0, "", SF_FORMAT_MPEG, 2},
    };
    for (const auto& entry : kCases) {
        const std::string output = work(entry.output);
        fs::remove(output);
        const CommandResult run = plughost({"render", stub(entry.plugin), "-o", output});
        EXPECT_EQ(run.exitCode, entry.exitCode) << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
        const ReadBack read = readAudio(output);
        EXPECT_EQ(read.format & SF_FORMAT_TYPEMASK, entry.format) << entry.output;
        EXPECT_EQ(read.channels.size(), entry.channels) << entry.output;
    }
}

TEST(Render, StreamsAWavFromAPipeWhoseHeaderClaimsFourGigabytes) {
    const std::string input = writeAudio("stream.wav", sine(0.5, 1.0));
    std::string bytes = contents(input);
    bytes.replace(4, 4, "\xff\xff\xff\xff");
    bytes.replace(bytes.find("data") + 4, 4, "\xff\xff\xff\xff");
    std::ofstream(input, std::ios::binary) << bytes;
    const std::string output = work("streamed.wav");
    const CommandResult run =
        runCommand({"/bin/sh", "-c",
                    std::string(KD_PLUGHOST) + " render " + stub("effect") + " -i - -o " + output + " < " + input});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readAudio(output).frames(), static_cast<std::size_t>(kRate));
}

// A write that fails halfway, on the thread that writes, ends the render
// with the file error's exit code and leaves neither output nor part file.
TEST(Render, AWriteThatFailsHalfwayLeavesNoFile) {
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
    // The ramp: 0.25 * 2 * t, sent at least every 32 frames.
    const CommandResult run =
        plughost({"render", stub("effect"), "-i", input, "-o", work("ramp.wav"), "--automate", "gain:0=0,1=1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
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
    } kCases[] = {
        {{}, 21900, 22050},
        {{"--no-latency-compensation"}, 21964, 22050},
        {{"--set", "Echo=0.5"}, 21900, 23801},  // the echo falls below -120 dBFS after 0.5^19
        {{"--set", "Echo=0.5", "--tail", "0.25"}, 21900, 22050 + 11025},
        {{"--set", "Echo=0.5", "--tail", "0"}, 21900, 22050},
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
    }
}

std::string writeMidi(const std::string& name, double on, double off) {
    const std::string path = work(name);
    smf_t* smf = smf_new();
    smf_track_t* track = smf_track_new();
    smf_add_track(smf, track);
    smf_track_add_event_seconds(track, smf_event_new_from_bytes(0x90, 60, 127), on);
    smf_track_add_event_seconds(track, smf_event_new_from_bytes(0x80, 60, 0), off);
    EXPECT_EQ(smf_save(smf, path.c_str()), 0);
    smf_delete(smf);
    return path;
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
    const CommandResult phrase = plughost({"render", stub("instrument"), "-o", work("phrase.wav")});
    EXPECT_EQ(phrase.exitCode, 0);
    EXPECT_TRUE(contains(phrase.err, "it played the built-in phrase")) << phrase.err;
    EXPECT_TRUE(contains(phrase.out, "out       -2.1 dBFS")) << phrase.out;
    const CommandResult silent = plughost({"render", stub("effect"), "-o", work("silent.wav"), "--set", "Gain=0"});
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_TRUE(contains(silent.err, "warning: the output is silent")) << silent.err;
}

TEST(Render, JsonCarriesTheFiguresOfTheSummary) {
    const std::string input = writeAudio("json.wav", sine(0.5, 0.5));
    const CommandResult run = plughost({"render", stub("effect"), "-i", input, "-o", work("json-out.wav"), "--json",
                                        "--program", "1", "--set", "Poison=1"});
    EXPECT_EQ(run.exitCode, 1);
    const nlohmann::json json = nlohmann::json::parse(run.out);
    EXPECT_NEAR(json["levels"]["in"]["peak_dbfs"].get<double>(), -6.02, 0.01);
    EXPECT_EQ(json["levels"]["out"]["peak_dbfs"], "+inf");
    EXPECT_EQ(json["levels"]["out"]["first_non_finite"]["frame"], 1000);
    EXPECT_EQ(json["output"]["written"], false);
    EXPECT_EQ(json["program"], "1 Double");
    EXPECT_GT(json["speed"]["plugin_seconds"].get<double>(), 0.0);
}

}  // namespace
