// Other people's plug-ins as black boxes: Debian's zam-plugins package, and
// one of lsp-plugins-vst for chunk state. The host must describe, render
// and check each without crashing or hanging; whatever faults the plug-ins
// have are the check's findings, not ours.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "run_command.h"

namespace {

constexpr const char* kPlugins[] = {"ZamComp", "ZamEQ2", "ZamTube"};
constexpr int kTimeLimitSeconds = 300;

std::string pathOf(const std::string& name) {
    return "/usr/lib/vst/" + name + "-vst.so";
}

class ZamPlugin : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        path_ = pathOf(GetParam());
        if (!std::ifstream(path_).good()) {
            GTEST_SKIP() << path_ << " is not installed (Debian package zam-plugins)";
        }
    }
    CommandResult plughost(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), KD_PLUGHOST);
        return runCommand(arguments, kTimeLimitSeconds);
    }
    std::string path_;
};

TEST_P(ZamPlugin, InfoDescribesIt) {
    const CommandResult run = plughost({"info", path_});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("effect +" + std::string(GetParam())))) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("unique id +'"))) << run.out;
    EXPECT_NE(run.out.find("parameters\nindex"), std::string::npos) << run.out;
}

TEST_P(ZamPlugin, RenderWritesAFile) {
    const std::string out = std::string(KD_TEST_WORK_DIR) + "/" + GetParam() + ".wav";
    const CommandResult run = plughost({"render", path_, "-o", out, "--block", "256"});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::ifstream(out).good());
    EXPECT_TRUE(std::regex_search(run.out, std::regex("out +-?[0-9.]+ dBFS"))) << run.out;
}

TEST_P(ZamPlugin, CheckRunsToTheEndAndReportsItsVerdicts) {
    const CommandResult run = plughost({"check", path_});
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.signal, 0);
    EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << "exit " << run.exitCode << "\n" << run.err;
    EXPECT_TRUE(
        std::regex_search(run.out, std::regex("\n[0-9]+ passed, [0-9]+ failed, [0-9]+ warnings, [0-9]+ not tested\n$")))
        << run.out;
    EXPECT_NE(run.out.find("PASS  entry-point  entry point gives an effect record"), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Debian, ZamPlugin, ::testing::ValuesIn(kPlugins));

// ZamDelay's "Sync BPM" takes its delay from the host's tempo: a quarter
// note. Without a clock it fell back on a guess of its own (7056 frames).
TEST(ZamDelay, SyncedToTheHostsTempoItsEchoComesOneQuarterNoteLater) {
    const std::string plugin = pathOf("ZamDelay");
    if (!std::ifstream(plugin).good()) {
        GTEST_SKIP() << plugin << " is not installed (Debian package zam-plugins)";
    }
    const std::string work = KD_TEST_WORK_DIR;
    SF_INFO format{};
    format.samplerate = 44100;
    format.channels = 1;
    format.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> impulse(50000, 0.0f);
    impulse[100] = 1.0f;
    SNDFILE* in = sf_open((work + "/zam-impulse.wav").c_str(), SFM_WRITE, &format);
    sf_writef_float(in, impulse.data(), static_cast<sf_count_t>(impulse.size()));
    sf_close(in);
    for (const auto& [tempo, echo] : {std::pair{"60", 100 + 44100}, std::pair{"150", 100 + 17640}}) {
        const std::string out = work + "/zam-delay-" + tempo + ".wav";
        const CommandResult run = runCommand({KD_PLUGHOST, "render", plugin, "-i", work + "/zam-impulse.wav", "-o", out,
                                              "--set", "Sync BPM=1", "--tempo", tempo, "--tail", "0"},
                                             kTimeLimitSeconds);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        SF_INFO info{};
        SNDFILE* file = sf_open(out.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        std::vector<float> output(static_cast<std::size_t>(info.frames));
        sf_readf_float(file, output.data(), info.frames);
        sf_close(file);
        int first = -1;
        for (int n = 200; n < static_cast<int>(output.size()) && first < 0; ++n) {
            first = std::fabs(output[static_cast<std::size_t>(n)]) > 0.01f ? n : -1;
        }
        EXPECT_EQ(first, echo) << "at " << tempo << " BPM";
    }
}

std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// LSP's plug-ins keep their state as opaque chunks: a program file and a
// bank file saved after --set play as the --set values do, sample for
// sample, and not as the defaults.
TEST(LspCompDelay, ChunkStateSavedInProgramAndBankFilesRendersAsTheSettingsDid) {
    const std::string plugin = "/usr/lib/vst/lsp-plugins/comp-delay-mono.so";
    if (!std::ifstream(plugin).good()) {
        GTEST_SKIP() << plugin << " is not installed (Debian package lsp-plugins-vst)";
    }
    const std::string work = std::string(KD_TEST_WORK_DIR) + "/lsp-";
    const std::vector<std::string> settings = {"--set", "samp=100 samp", "--set", "dry=-6dB", "--set", "wet=-3 dB"};
    const auto plughost = [&](const char* command, const std::vector<std::string>& options, bool withSettings) {
        // LSP's libraries leave memory behind when they are unloaded, which a
        // sanitizer build of plughost would report as a leak of its own.
        std::vector<std::string> words = {"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0", KD_PLUGHOST, command, plugin};
        words.insert(words.end(), options.begin(), options.end());
        if (withSettings) {
            words.insert(words.end(), settings.begin(), settings.end());
        }
        const CommandResult run = runCommand(words, kTimeLimitSeconds);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run;
    };
    plughost("render", {"-o", work + "default.wav"}, false);
    plughost("render", {"-o", work + "set.wav"}, true);
    ASSERT_NE(contentsOf(work + "set.wav"), contentsOf(work + "default.wav")) << "the settings change nothing";
    for (const char* kind : {"fxp", "fxb"}) {
        const std::string preset = work + "state." + kind;
        const CommandResult saved = plughost("save-preset", {"-o", preset}, true);
        EXPECT_NE(saved.out.find(std::string(kind) == "fxp" ? "a program chunk of" : "a bank chunk of"),
                  std::string::npos)
            << saved.out;
        const std::string out = work + "preset-" + kind + ".wav";
        plughost("render", {"-o", out, "--preset", preset}, false);
        EXPECT_EQ(contentsOf(out), contentsOf(work + "set.wav")) << kind;
    }
}

}  // namespace
