// The figures of the analysis against plug-ins whose answers are known by
// hand. Each plug-in is analysed once per test program run; the tests read
// the shapes of its curves and its figures.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>

#include "analysis/analysis_session.h"
#include "plugin/plugin_module.h"

namespace {

double dbOf(double ratio) {
    return 20.0 * std::log10(ratio);
}

struct Subject {
    const char* plugin;
    std::vector<ParameterSetting> settings;
    std::optional<int> program;
    double sampleRate = 44100.0;
};

// Analyses are slow enough to share between the tests that read them.
const AnalysisReport& analysed(const std::string& key, const Subject& subject) {
    static std::map<std::string, AnalysisReport> reports;
    auto found = reports.find(key);
    if (found == reports.end()) {
        PluginModule module(subject.plugin);
        AnalysisJob job;
        job.program = subject.program;
        job.settings = subject.settings;
        job.sampleRate = subject.sampleRate;
        job.measureCost = false;
        found = reports.emplace(key, analyzePlugin(module, job)).first;
    }
    return found->second;
}

const AnalysisReport& gain() {
    return analysed("gain", {KD_GAIN_PLUGIN, {}});
}
const AnalysisReport& cubic() {
    return analysed("cubic", {KD_SHAPER_PLUGIN, {{0, 0.0f}}});
}
const AnalysisReport& quintic() {
    return analysed("quintic", {KD_SHAPER_PLUGIN, {{0, 1.0f}}});
}

// The frame's test plug-in multiplies by 0.5: every curve is the input's,
// 6.02 dB down, with nothing added.
TEST(AnalysisFigures, PlainGainScalesEveryCurveAndAddsNothing) {
    const AnalysisReport& report = gain();
    const double expectedDb = dbOf(0.5);
    ASSERT_GT(report.transfer.points.size(), 1000u);
    for (const CurvePoint& point : report.transfer.points) {
        ASSERT_NEAR(point.y, 0.5 * point.x, 1e-6) << "input " << point.x;
    }
    ASSERT_EQ(report.level.size(), 34u);
    EXPECT_DOUBLE_EQ(report.level.front().inputDb, -60.0);
    EXPECT_DOUBLE_EQ(report.level.back().inputDb, 6.0);
    for (const LevelPoint& point : report.level) {
        EXPECT_NEAR(point.outputDb - point.inputDb, expectedDb, 0.01) << "at " << point.inputDb << " dBFS";
        EXPECT_NEAR(point.fundamentalDb - point.inputDb, expectedDb, 0.01) << "at " << point.inputDb << " dBFS";
    }
    for (const HarmonicsResult& result : report.harmonics) {
        EXPECT_LT(result.thdPercent, 1e-4) << "at " << result.inputDb << " dBFS";
        EXPECT_LT(result.thdPlusNoisePercent, 1e-3) << "at " << result.inputDb << " dBFS";
        ASSERT_EQ(result.harmonics.size(), 10u);
        EXPECT_NEAR(result.harmonics[0].levelDb, result.inputDb + expectedDb, 0.01);
    }
    ASSERT_EQ(report.response.points.size(), 61u);
    EXPECT_NEAR(report.response.points.front().x, 20.0, 1e-9);
    EXPECT_NEAR(report.response.points.back().x, 20000.0, 1e-6);
    for (const CurvePoint& point : report.response.points) {
        EXPECT_NEAR(point.y, expectedDb, 0.01) << "at " << point.x << " Hz";
    }
    EXPECT_TRUE(report.response.corners.empty());
    EXPECT_TRUE(report.response.crossovers.empty());
    EXPECT_LT(report.aliasing.offHarmonicDb, -100.0);
}

// y = 1.5x - 0.5x^3 turns A cos t into (1.5A - 0.375A^3) cos t - 0.125A^3 cos 3t:
// a third harmonic only, THD = 0.125A^2 / (1.5 - 0.375A^2).
TEST(AnalysisFigures, CubicCurveGivesTheHandComputedThirdHarmonic) {
    const AnalysisReport& report = cubic();
    for (const CurvePoint& point : report.transfer.points) {
        ASSERT_NEAR(point.y, 1.5 * point.x - 0.5 * point.x * point.x * point.x, 1e-6) << "input " << point.x;
    }
    ASSERT_EQ(report.harmonics.size(), 2u);
    const double levels[] = {-12.0, -3.0};
    for (std::size_t i = 0; i < 2; ++i) {
        const HarmonicsResult& result = report.harmonics[i];
        const double a = std::pow(10.0, levels[i] / 20.0);
        const double thd = 0.125 * a * a / (1.5 - 0.375 * a * a);
        EXPECT_DOUBLE_EQ(result.inputDb, levels[i]);
        EXPECT_NEAR(result.thdPercent, 100.0 * thd, 100.0 * thd * 0.005) << "at " << result.inputDb << " dBFS";
        EXPECT_NEAR(result.thdPlusNoisePercent, result.thdPercent, result.thdPercent * 0.005);
        ASSERT_GE(result.harmonics.size(), 3u);
        EXPECT_NEAR(result.harmonics[2].relativeDb, dbOf(thd), 0.05);
        EXPECT_DOUBLE_EQ(result.harmonics[2].frequency, 3000.0);
        EXPECT_LT(result.harmonics[1].relativeDb, -120.0) << "no even harmonics from an odd curve";
    }
    // The same by hand: 0.5342 % at -12 dBFS, 4.775 % at -3 dBFS.
    EXPECT_NEAR(report.harmonics[0].thdPercent, 0.5342, 0.005);
    EXPECT_NEAR(report.harmonics[1].thdPercent, 4.775, 0.03);
}

// A 7 kHz sine: the cubic's third harmonic (21 kHz) lies below Nyquist and
// is on the series; the quintic's fifth (35 kHz) folds to 9.1 kHz. For
// y = x + 0.5x^5 the fifth harmonic is A^5/32 against A + 5A^5/16.
TEST(AnalysisFigures, AliasingCountsOnlyWhatFoldsOffTheHarmonicSeries) {
    const double a = std::pow(10.0, -3.0 / 20.0);
    const double a5 = std::pow(a, 5.0);
    const struct {
        const char* curve;
        const AnalysisReport* report;
        double low, high;
    } rows[] = {
        {"cubic", &cubic(), -400.0, -100.0},
        {"quintic", &quintic(), dbOf(a5 / 32.0 / (a + 5.0 * a5 / 16.0)) - 0.05,
         dbOf(a5 / 32.0 / (a + 5.0 * a5 / 16.0)) + 0.05},
    };
    for (const auto& row : rows) {
        EXPECT_GE(row.report->aliasing.offHarmonicDb, row.low) << row.curve;
        EXPECT_LE(row.report->aliasing.offHarmonicDb, row.high) << row.curve;
        ASSERT_FALSE(row.report->aliasing.harmonics.empty()) << row.curve;
        EXPECT_DOUBLE_EQ(row.report->aliasing.harmonics[0].frequency, 7000.0);
    }
}

// The stub's pole puts -3 dB exactly at 1 kHz at any sample rate.
TEST(AnalysisFigures, OnePoleLowPassIsThreeDecibelsDownAtItsCorner) {
    for (double rate : {44100.0, 96000.0}) {
        const AnalysisReport& report =
            analysed("one-pole " + std::to_string(rate), {KD_ONE_POLE_PLUGIN, {}, std::nullopt, rate});
        ASSERT_EQ(report.response.corners.size(), 1u) << "at " << rate << " Hz";
        EXPECT_NEAR(report.response.corners[0], 1000.0, 10.0) << "at " << rate << " Hz";
        EXPECT_NEAR(report.response.points.front().y, 0.0, 0.01) << "20 Hz at " << rate << " Hz";
        for (std::size_t i = 1; i < report.response.points.size(); ++i) {
            EXPECT_LT(report.response.points[i].y, report.response.points[i - 1].y)
                << "rises at " << report.response.points[i].x << " Hz, rate " << rate;
        }
    }
}

// K Distortion's crossover filters are tuned for about 47.1 kHz, so at
// 44.1 kHz the bands cross near the displayed frequencies times 0.936.
TEST(AnalysisFigures, BandSplitOfKDistortionShowsBothCrossoversWhereTheBandsMeet) {
    const struct {
        int program;
        double shownLowMid, shownMidHigh;
    } rows[] = {{4, 271.0, 5032.0}, {6, 515.0, 2767.0}};
    for (const auto& row : rows) {
        const AnalysisReport& report =
            analysed("kd " + std::to_string(row.program), {KD_KDISTORTION, {}, row.program});
        ASSERT_EQ(report.response.bands.size(), 3u) << "program " << row.program;
        ASSERT_EQ(report.response.crossovers.size(), 2u) << "program " << row.program;
        const Crossover& lowMid = report.response.crossovers[0];
        const Crossover& midHigh = report.response.crossovers[1];
        EXPECT_EQ(lowMid.name, "low-mid");
        EXPECT_EQ(midHigh.name, "mid-high");
        ASSERT_TRUE(lowMid.shown && midHigh.shown);
        EXPECT_DOUBLE_EQ(*lowMid.shown, row.shownLowMid);
        EXPECT_DOUBLE_EQ(*midHigh.shown, row.shownMidHigh);
        EXPECT_NEAR(lowMid.measured / *lowMid.shown, 44100.0 / 47124.0, 0.1) << "measured " << lowMid.measured;
        EXPECT_NEAR(midHigh.measured / *midHigh.shown, 44100.0 / 47124.0, 0.1) << "measured " << midHigh.measured;
    }
    const AnalysisReport& splitOff = analysed("kd 0", {KD_KDISTORTION, {}, 0});
    EXPECT_TRUE(splitOff.response.bands.empty());
    EXPECT_TRUE(splitOff.response.crossovers.empty());
}

}  // namespace
