// `plughost analyze` as a user runs it: what lands in the folder, what it
// says, and that a failed analysis leaves the folder as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "run_command.h"

namespace fs = std::filesystem;

namespace {

#ifdef KD_GNUPLOT_FOLDER
// PATH of the programs the tests start: plughost.exe finds the stand-in
// for gnuplot.exe there, or, with `withGnuplot` false, none.
void setProgramPath(bool withGnuplot) {
    static const std::string original = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    _putenv_s("PATH", ((withGnuplot ? std::string(KD_GNUPLOT_FOLDER) + ";" : std::string()) + original).c_str());
}
#endif

CommandResult plughost(std::vector<std::string> arguments) {
#ifdef KD_GNUPLOT_FOLDER
    setProgramPath(true);
#endif
    arguments.insert(arguments.begin(), KD_PLUGHOST);
    return runCommand(arguments, 300);
}

std::string fresh(const char* name) {
    const std::string path = std::string(KD_TEST_WORK_DIR) + "/" + name;
    fs::remove_all(path);
    return path;
}

TEST(AnalyzeCommand, WritesEveryPlotAsPngAndSvgWithItsDataAndTheJsonFigures) {
    const std::string dir = fresh("gain");
    const CommandResult run = plughost({"analyze", KD_GAIN_PLUGIN, "-d", dir, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("THD"), std::string::npos) << run.out;
    for (const char* stem : {"transfer", "level", "harmonics-12dBFS", "harmonics-3dBFS", "response", "phase", "impulse",
                             "loudness", "aliasing", "cost"}) {
        for (const char* extension : {".png", ".svg", ".csv"}) {
            const fs::path file = fs::path(dir) / (std::string(stem) + extension);
            EXPECT_TRUE(fs::is_regular_file(file) && fs::file_size(file) > 50) << file;
        }
    }
    std::size_t hidden = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        hidden += entry.path().filename().string().front() == '.' ? 1 : 0;
    }
    EXPECT_EQ(hidden, 0u) << "the staging folder is left behind";

    EXPECT_FALSE(fs::exists(fs::path(dir) / "dynamics.svg")) << "a plain gain has no attack or release";
    EXPECT_NE(run.out.find("the gain does not move with the level"), std::string::npos) << run.out;

    std::ifstream file(fs::path(dir) / "analysis.json");
    const nlohmann::json json = nlohmann::json::parse(file);
    file.close();  // Windows removes no file that is open
    EXPECT_EQ(json["harmonics"].size(), 2u);
    EXPECT_EQ(json["loudness"].size(), 21u);
    EXPECT_EQ(json["dynamics"]["gain_moves"], false);
    EXPECT_EQ(json["impulse"]["points"][0], nlohmann::json::parse("[0.0, 0.5]"));
    EXPECT_EQ(json["response"]["phase_deg"].size(), json["response"]["points"].size());
    EXPECT_LT(json["harmonics"][0]["thd_percent"].get<double>(), 1e-4);
    ASSERT_EQ(json["cost"].size(), 3u);
    const int blockSizes[] = {32, 256, 4096};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(json["cost"][i]["block_size"].get<int>(), blockSizes[i]);
        EXPECT_GT(json["cost"][i]["ns_per_sample"].get<double>(), 0.0);
    }

    // A second run without timing or JSON, of a compressor (no transfer
    // curve, but attack and release), leaves none of the first run's.
    const CommandResult second = plughost({"analyze", KD_COMPRESSOR_PLUGIN, "-d", dir, "--no-cost"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    for (const char* name : {"cost.csv", "cost.png", "cost.svg", "analysis.json", "transfer.svg", "transfer.png"}) {
        EXPECT_FALSE(fs::exists(fs::path(dir) / name)) << name << " left over";
    }
    for (const char* name : {"dynamics.csv", "dynamics.png", "dynamics.svg", "transfer.csv"}) {
        EXPECT_TRUE(fs::exists(fs::path(dir) / name)) << name;
    }
    // As docs/plughost.md shows it.
    EXPECT_NE(second.out.find("dynamics   a step from -20 to +6 dBFS moves the gain -19.5 dB: attack 12.1 ms, release "
                              "117 ms (90 % of the change)\n"),
              std::string::npos)
        << second.out;
}

// Without gnuplot on the path: on Linux a message saying what to install,
// on Windows the data and the plot script with a note on drawing them; or
// the data alone with --no-plots.
TEST(AnalyzeCommand, WithoutGnuplotItSaysWhatToInstallOrWritesTheDataAlone) {
    const std::string dir = fresh("no-gnuplot");
    const struct {
        std::vector<std::string> extra;
        int exitCode;
        const char* message;
        bool dataWritten;
        bool scriptWritten;
    } rows[] = {
#ifdef _WIN32
        {{},
         0,
         "note: gnuplot.exe is not on PATH, so the plots are not drawn; to draw them, install gnuplot, then "
         "run 'gnuplot plots.gp' in",
         true,
         true},
#else
        {{}, 2, "apt install gnuplot-nox", false, false},
#endif
        {{"--no-plots"}, 0, "files in", true, false}};
    for (const auto& row : rows) {
        fs::remove_all(dir);
#ifdef KD_GNUPLOT_FOLDER
        setProgramPath(false);
        std::vector<std::string> words = {KD_PLUGHOST, "analyze", KD_GAIN_PLUGIN, "-d", dir, "--no-cost"};
#else
        std::vector<std::string> words = {
            "/usr/bin/env", "PATH=/nonexistent", KD_PLUGHOST, "analyze", KD_GAIN_PLUGIN, "-d", dir, "--no-cost"};
#endif
        words.insert(words.end(), row.extra.begin(), row.extra.end());
        const CommandResult run = runCommand(words, 300);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
        EXPECT_NE((run.out + run.err).find(row.message), std::string::npos) << run.out << run.err;
        EXPECT_EQ(fs::exists(fs::path(dir) / "level.csv"), row.dataWritten);
        EXPECT_EQ(fs::exists(fs::path(dir) / "plots.gp"), row.scriptWritten);
        EXPECT_FALSE(fs::exists(fs::path(dir) / "level.svg"));
    }
}

// A +20 dB bell at 500 Hz with a Q of 2, as docs/plughost.md shows it.
TEST(AnalyzeCommand, SummaryGivesThePeakItsCornersThePhaseAndTheImpulse) {
    const CommandResult run = plughost({"analyze", KD_BELL_PLUGIN, "-d", fresh("bell"), "--no-plots", "--no-cost"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const char* line :
         {"response   0.0 to 20.0 dB from 20 Hz to 19.6 kHz; 3 dB below the peak at 462 Hz, 3 dB below the peak at "
          "541 Hz\n",
          "phase      -54.9 to 54.9 degrees; group delay up to 3.63 ms (at 498 Hz)\n",
          "impulse    peak 1.05 at 0 ms, 60 dB down after 18.2 ms\n"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin\n" << run.out;
    }
}

TEST(AnalyzeCommand, WhatCannotBeMeasuredFailsBeforeAnythingIsWritten) {
    const struct {
        std::vector<std::string> words;
        const char* message;
    } kCases[] = {
        {{KD_GAIN_PLUGIN, "--program", "7"}, "program 7 does not exist"},
        {{KD_INSTRUMENT_PLUGIN}, "is an instrument: analyze measures what an effect does"},
    };
    for (const auto& entry : kCases) {
        const std::string dir = fresh("refused");
        std::vector<std::string> words = {"analyze", "-d", dir};
        words.insert(words.end(), entry.words.begin(), entry.words.end());
        const CommandResult run = plughost(words);
        EXPECT_EQ(run.exitCode, 2) << entry.message;
        EXPECT_NE(run.err.find(entry.message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir));
    }
}

}  // namespace
