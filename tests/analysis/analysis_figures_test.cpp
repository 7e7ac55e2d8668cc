// The figures of the analysis against plug-ins whose answers are known by
// hand. Each plug-in is analysed once per test program run; the tests read
// the shapes of its curves and its figures.
#define _USE_MATH_DEFINES  // M_PI in the Windows C library's <cmath>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "analysis/analysis_session.h"
#include "analysis/plots.h"
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
    return analysed("gain", {KD_GAIN_PLUGIN, {}, std::nullopt});
}
const AnalysisReport& cubic() {
    return analysed("cubic", {KD_SHAPER_PLUGIN, {{0, 0.0f}}, std::nullopt});
}
const AnalysisReport& quintic() {
    return analysed("quintic", {KD_SHAPER_PLUGIN, {{0, 1.0f}}, std::nullopt});
}

// The frame's test plug-in multiplies by 0.5: every curve is the input's,
// 6.02 dB down, with nothing added.
TEST(AnalysisFigures, PlainGainScalesEveryCurveAndAddsNothing) {
    const AnalysisReport& report = gain();
    const double expectedDb = dbOf(0.5);
    ASSERT_GT(report.transfer.bins.size(), 390u);
    for (const TransferBin& bin : report.transfer.bins) {
        ASSERT_NEAR(bin.mean, 0.5 * bin.input, 1e-6) << "input " << bin.input;
    }
    EXPECT_NEAR(report.transfer.largestDeviation, 0.5, 0.01);
    EXPECT_TRUE(report.transfer.staticFunction) << report.transfer.memory;
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
    // 24 points to the octave through 1 kHz, from 20 Hz to 20 kHz.
    ASSERT_EQ(report.response.points.size(), 239u);
    EXPECT_NEAR(report.response.points.front().x, 1000.0 * std::pow(2.0, -135.0 / 24.0), 1e-9);
    EXPECT_NEAR(report.response.points.back().x, 1000.0 * std::pow(2.0, 103.0 / 24.0), 1e-6);
    ASSERT_EQ(report.response.phase.size(), 239u);
    ASSERT_EQ(report.response.groupDelay.size(), 239u);
    for (std::size_t i = 0; i < report.response.points.size(); ++i) {
        EXPECT_NEAR(report.response.points[i].y, expectedDb, 0.01) << "at " << report.response.points[i].x << " Hz";
        EXPECT_NEAR(report.response.phase[i].y, 0.0, 0.01) << "at " << report.response.points[i].x << " Hz";
        EXPECT_NEAR(report.response.groupDelay[i].y, 0.0, 1e-4) << "at " << report.response.points[i].x << " Hz";
    }
    EXPECT_TRUE(report.response.corners.empty());
    EXPECT_TRUE(report.response.crossovers.empty());
    EXPECT_LT(report.aliasing.offHarmonicDb, -100.0);
    // The impulse comes out at half its height, and nothing after it.
    ASSERT_GE(report.impulse.points.size(), 2u);
    EXPECT_DOUBLE_EQ(report.impulse.points[0].y, 0.5);
    EXPECT_DOUBLE_EQ(report.impulse.points[1].y, 0.0);
    EXPECT_DOUBLE_EQ(report.impulse.peakMs, 0.0);
    ASSERT_TRUE(report.impulse.decayMs.has_value());
    EXPECT_NEAR(*report.impulse.decayMs, 1000.0 / 44100.0, 1e-9) << "silent from the second sample";
    // Pink noise from -60 to 0 LUFS comes out 6.02 LU quieter, its true
    // peak with it; the gain is the same at every level.
    ASSERT_EQ(report.loudness.size(), 21u);
    for (std::size_t i = 0; i < report.loudness.size(); ++i) {
        const LoudnessPoint& point = report.loudness[i];
        EXPECT_NEAR(point.inputLufs, -60.0 + 3.0 * static_cast<double>(i), 0.01);
        EXPECT_NEAR(point.outputLufs - point.inputLufs, expectedDb, 0.01) << "at " << point.inputLufs << " LUFS";
    }
    EXPECT_NEAR(report.loudness[0].outputTruePeakDbtp + 6.02, report.loudness[1].outputTruePeakDbtp + 3.02, 0.01);
    EXPECT_FALSE(report.dynamics.gainMoves);
    EXPECT_LT(report.dynamics.spanDb, 0.01);
}

// y = 1.5x - 0.5x^3 turns A cos t into (1.5A - 0.375A^3) cos t - 0.125A^3 cos 3t:
// a third harmonic only, THD = 0.125A^2 / (1.5 - 0.375A^2).
TEST(AnalysisFigures, CubicCurveGivesTheHandComputedThirdHarmonic) {
    const AnalysisReport& report = cubic();
    // Without memory, each narrow bin of inputs gives outputs on the curve.
    for (const TransferBin& bin : report.transfer.bins) {
        const double x = bin.input;
        ASSERT_NEAR(bin.mean, 1.5 * x - 0.5 * x * x * x, 1e-4) << "input " << x;
        ASSERT_LE(bin.high - bin.low, 1.5 * 2.0 / 400.0 + 1e-6) << "input " << x;
    }
    EXPECT_EQ(report.transfer.memory, 0.0);
    EXPECT_TRUE(report.transfer.staticFunction);
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
    // The level curve: 1.5 times the input while it is quiet, 1.125 at full scale.
    EXPECT_NEAR(report.level.front().fundamentalDb, -60.0 + dbOf(1.5), 0.01);
    const LevelPoint& fullScale = report.level[30];
    EXPECT_DOUBLE_EQ(fullScale.inputDb, 0.0);
    EXPECT_NEAR(fullScale.fundamentalDb, dbOf(1.125), 0.01);
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

// A plug-in that reports its latency (only once it processes, as render
// reads it) is read that much later: a pure delay then measures as no
// change at all.
TEST(AnalysisFigures, ReportedLatencyIsTakenOutOfEveryCurve) {
    const AnalysisReport& report = analysed("delay", {KD_DELAY_PLUGIN, {}, std::nullopt});
    EXPECT_EQ(report.latency, 64);
    EXPECT_DOUBLE_EQ(report.transfer.largestDeviation, 0.0);
    EXPECT_TRUE(report.transfer.staticFunction) << report.transfer.memory;
    for (std::size_t i = 0; i < report.response.points.size(); ++i) {
        EXPECT_NEAR(report.response.points[i].y, 0.0, 0.01) << "at " << report.response.points[i].x << " Hz";
        EXPECT_NEAR(report.response.phase[i].y, 0.0, 0.01) << "at " << report.response.points[i].x << " Hz";
    }
    EXPECT_DOUBLE_EQ(report.impulse.peak, 1.0);
    EXPECT_DOUBLE_EQ(report.impulse.peakMs, 0.0);
}

// The stub's pole puts -3 dB exactly at 1 kHz at any sample rate. Its 45
// degrees of phase there make the output no function of the input sample:
// the transfer curve is not drawn, the level curve stands for it.
TEST(AnalysisFigures, OnePoleLowPassIsThreeDecibelsDownAtItsCorner) {
    for (double rate : {44100.0, 96000.0}) {
        const AnalysisReport& report =
            analysed("one-pole " + std::to_string(rate), {KD_ONE_POLE_PLUGIN, {}, std::nullopt, rate});
        EXPECT_FALSE(report.transfer.staticFunction) << "at " << rate << " Hz";
        EXPECT_GT(report.transfer.memory, 0.3) << "at " << rate << " Hz";
        const std::vector<std::string> plots = plotFiles(report);
        EXPECT_EQ(std::count(plots.begin(), plots.end(), "transfer.svg"), 0);
        EXPECT_EQ(plots.front(), "level.png");
        ASSERT_EQ(report.response.corners.size(), 1u) << "at " << rate << " Hz";
        EXPECT_NEAR(report.response.corners[0], 1000.0, 10.0) << "at " << rate << " Hz";
        EXPECT_NEAR(report.response.points.front().y, 0.0, 0.01) << "20 Hz at " << rate << " Hz";
        for (std::size_t i = 1; i < report.response.points.size(); ++i) {
            EXPECT_LT(report.response.points[i].y, report.response.points[i - 1].y)
                << "rises at " << report.response.points[i].x << " Hz, rate " << rate;
        }
        // Its impulse response is (1 - p) p^n, 60 dB down once p^n is.
        const double c = std::cos(2.0 * M_PI * 1000.0 / rate);
        const double pole = (2.0 - c) - std::sqrt((2.0 - c) * (2.0 - c) - 1.0);
        ASSERT_GE(report.impulse.points.size(), 40u) << "at " << rate << " Hz";
        for (std::size_t n = 0; n < 40; ++n) {
            EXPECT_NEAR(report.impulse.points[n].y, (1.0 - pole) * std::pow(pole, static_cast<double>(n)), 1e-6)
                << "sample " << n << " at " << rate << " Hz";
        }
        ASSERT_TRUE(report.impulse.decayMs.has_value());
        EXPECT_NEAR(*report.impulse.decayMs, 1000.0 * std::ceil(std::log(1e-3) / std::log(pole)) / rate, 1000.0 / rate);
        // The corner is named for what it is.
        const std::string script = plotScript(report, "one-pole");
        EXPECT_TRUE(std::regex_search(script, std::regex("set label \"3 dB below the peak at 9[0-9]{2} Hz\"")))
            << script;
    }
}

// The audio cookbook's peaking equaliser, +20 dB at 500 Hz with a Q of 2,
// as the bell stub computes it.
std::complex<double> bell(double frequency, double rate) {
    const double a = std::pow(10.0, 20.0 / 40.0), w = 2.0 * M_PI * 500.0 / rate, alpha = std::sin(w) / 4.0;
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * frequency / rate);
    return (1.0 + alpha * a - 2.0 * std::cos(w) * z + (1.0 - alpha * a) * z * z) /
           (1.0 + alpha / a - 2.0 * std::cos(w) * z + (1.0 - alpha / a) * z * z);
}

// Magnitude, phase, group delay and impulse response of a filter known
// exactly; the peak between two grid points is read at its top.
TEST(AnalysisFigures, BellReadsAsItsFormulaInMagnitudePhaseDelayAndImpulse) {
    const double rate = 44100.0;
    const AnalysisReport& report = analysed("bell", {KD_BELL_PLUGIN, {}, std::nullopt, rate});
    const FrequencyResponse& response = report.response;
    ASSERT_EQ(response.phase.size(), response.points.size());
    ASSERT_EQ(response.groupDelay.size(), response.points.size());
    const auto top = std::max_element(response.points.begin(), response.points.end(),
                                      [](const CurvePoint& a, const CurvePoint& b) { return a.y < b.y; });
    EXPECT_NEAR(top->y, 20.0, 0.02) << "at " << top->x << " Hz";
    EXPECT_NEAR(top->x, 500.0, 500.0 * (std::pow(2.0, 1.0 / 192.0) - 1.0));
    for (std::size_t i = 0; i < response.points.size(); ++i) {
        const double f = response.points[i].x;
        const std::complex<double> exact = bell(f, rate);
        EXPECT_NEAR(response.points[i].y, dbOf(std::abs(exact)), 0.01) << "at " << f << " Hz";
        EXPECT_NEAR(response.phase[i].y, std::arg(exact) * 180.0 / M_PI, 0.05) << "at " << f << " Hz";
        // -d(phase)/d(omega), here by a difference narrow enough to be exact.
        const double delta = f * 1e-5;
        const double delay =
            -std::arg(bell(f + delta, rate) / bell(f - delta, rate)) / (2.0 * M_PI * 2.0 * delta) * 1000.0;
        EXPECT_NEAR(response.groupDelay[i].y, delay, 0.01 + 0.01 * std::fabs(delay)) << "at " << f << " Hz";
    }
    // The biquad's own recursion, sample by sample.
    double s1 = 0.0, s2 = 0.0;
    const double a = std::pow(10.0, 20.0 / 40.0), w = 2.0 * M_PI * 500.0 / rate, alpha = std::sin(w) / 4.0;
    const double a0 = 1.0 + alpha / a, b0 = (1.0 + alpha * a) / a0, b1 = -2.0 * std::cos(w) / a0,
                 b2 = (1.0 - alpha * a) / a0, a2 = (1.0 - alpha / a) / a0;
    ASSERT_GE(report.impulse.points.size(), 200u);
    for (std::size_t n = 0; n < 200; ++n) {
        const double x = n == 0 ? 1.0 : 0.0;
        const double y = b0 * x + s1;
        s1 = b1 * x - b1 * y + s2;
        s2 = b2 * x - a2 * y;
        EXPECT_NEAR(report.impulse.points[n].y, y, 1e-5) << "sample " << n;
        EXPECT_NEAR(report.impulse.points[n].x, 1000.0 * static_cast<double>(n) / rate, 1e-9);
    }
}

// A compressor whose gain in dB follows its target with time constants of
// 5 ms (down) and 50 ms (up) reaches 90 % of a change after ln(10) of them;
// its level detector holds a millisecond, and the gain is read over the last
// period of the tone, which may add up to 2 ms. A memoryless curve moves at
// once, within those 2 ms.
TEST(AnalysisFigures, AttackAndReleaseAreTheTimeConstantsOfTheGain) {
    const AnalysisReport& compressor = analysed("compressor", {KD_COMPRESSOR_PLUGIN, {}, std::nullopt});
    const DynamicsResult& dynamics = compressor.dynamics;
    ASSERT_TRUE(dynamics.gainMoves) << dynamics.spanDb;
    // The level curve: no gain up to the threshold, then 3/4 of the excess
    // taken off: the closest levels at the two extremes are -20 and +6 dBFS.
    EXPECT_DOUBLE_EQ(dynamics.lowDbfs, -20.0);
    EXPECT_DOUBLE_EQ(dynamics.highDbfs, 6.0);
    EXPECT_NEAR(dynamics.lowGainDb, 0.0, 0.05);
    EXPECT_NEAR(dynamics.highGainDb, -0.75 * 26.0, 0.1);
    ASSERT_TRUE(dynamics.attackMs && dynamics.releaseMs);
    const double attack = 5.0 * std::log(10.0), release = 50.0 * std::log(10.0);
    EXPECT_GE(*dynamics.attackMs, attack);
    EXPECT_LE(*dynamics.attackMs, attack + 2.0);
    EXPECT_GE(*dynamics.releaseMs, release);
    EXPECT_LE(*dynamics.releaseMs, release + 2.0);
    ASSERT_FALSE(dynamics.attack.empty());
    EXPECT_NEAR(dynamics.attack.back().y, dynamics.highGainDb, 0.01) << "settled at the end of the step";
    EXPECT_NEAR(dynamics.release.back().y, dynamics.lowGainDb, 0.01) << "settled at the end of the step";

    const DynamicsResult& curve = cubic().dynamics;
    ASSERT_TRUE(curve.gainMoves) << "the cubic squashes loud sines";
    ASSERT_TRUE(curve.attackMs && curve.releaseMs);
    EXPECT_LE(*curve.attackMs, 2.0);
    EXPECT_LE(*curve.releaseMs, 2.0);
}

// K Distortion's crossover low-pass at parameter value v of a law
// f = v * scale + offset, as its coefficients define it, at `frequency`.
std::complex<double> crossoverLowPass(float v, double scale, double offset, double frequency, double rate) {
    const double w = 3.0 * ((static_cast<double>(v) * scale + offset) * 4.44444e-5);
    const double s = 0.5 * std::sin(w);
    const double beta = 0.5 * (1.0 - s) / (1.0 + s);
    const double gamma = (0.5 + beta) * std::cos(w);
    const double alpha = 0.25 * (0.5 + beta - gamma);
    const std::complex<double> z = std::polar(1.0, -2.0 * M_PI * frequency / rate);
    return (2.0 * alpha + 4.0 * alpha * z + 2.0 * alpha * z * z) / (1.0 - 2.0 * gamma * z + 2.0 * beta * z * z);
}

// Where band `lower` played alone (its level +20 dB, the others -20 dB) stops
// being louder than band `lower + 1` played alone, found by bisection.
double expectedCrossing(float lowMid, float midHigh, int lower, double rate) {
    const auto loudness = [&](int solo, double f) {
        const std::complex<double> lp1 = crossoverLowPass(lowMid, 1980.0, 20.0, f, rate);
        const std::complex<double> lp2 = crossoverLowPass(midHigh, 18875.0, 125.0, f, rate);
        const std::complex<double> bands[] = {lp1, lp2 - lp1, 1.0 - lp2};
        std::complex<double> sum = 0.0;
        for (int band = 0; band < 3; ++band) {
            sum += (band == solo ? 10.0 : 0.1) * bands[band];
        }
        return std::abs(sum);
    };
    double low = 20.0, high = 20000.0;
    for (int step = 0; step < 100; ++step) {
        const double middle = std::sqrt(low * high);
        (loudness(lower, middle) > loudness(lower + 1, middle) ? low : high) = middle;
    }
    return low;
}

// The band split of K Distortion: each band is soloed through its level
// parameters, and the two crossings are where the filters put them.
TEST(AnalysisFigures, BandSplitOfKDistortionShowsBothCrossoversWhereTheFiltersPutThem) {
    const struct {
        int program;
        float lowMid, midHigh;  // the program's "Frq L-M" and "Frq M-H" values
        double shownLowMid, shownMidHigh;
    } rows[] = {{4, 0.127f, 0.26f, 271.0, 5032.0}, {6, 0.25f, 0.14f, 515.0, 2767.0}};
    for (const auto& row : rows) {
        const AnalysisReport& report = analysed("kd " + std::to_string(row.program), {KD_KDISTORTION, {}, row.program});
        ASSERT_EQ(report.response.bands.size(), 3u) << "program " << row.program;
        ASSERT_EQ(report.response.crossovers.size(), 2u) << "program " << row.program;
        const struct {
            const Crossover& crossover;
            const char* name;
            double shown;
        } crossings[] = {{report.response.crossovers[0], "low-mid", row.shownLowMid},
                         {report.response.crossovers[1], "mid-high", row.shownMidHigh}};
        for (int i = 0; i < 2; ++i) {
            const Crossover& crossover = crossings[i].crossover;
            const double expected = expectedCrossing(row.lowMid, row.midHigh, i, report.sampleRate);
            EXPECT_EQ(crossover.name, crossings[i].name);
            EXPECT_NEAR(crossover.measured, expected, expected * 0.01) << crossover.name << ", program " << row.program;
            ASSERT_TRUE(crossover.shown.has_value());
            EXPECT_DOUBLE_EQ(*crossover.shown, crossings[i].shown);
        }
    }
    const AnalysisReport& splitOff = analysed("kd 0", {KD_KDISTORTION, {}, 0});
    EXPECT_TRUE(splitOff.response.bands.empty());
    EXPECT_TRUE(splitOff.response.crossovers.empty());
}

}  // namespace

// Harmonics crowd together towards the top of the log axis (7, 8, 9 and
// 10 kHz): their labels are lifted apart instead of printed on each other.
TEST(AnalysisPlots, HarmonicLabelsNeverPrintOnEachOther) {
    AnalysisReport report;
    HarmonicsResult result;
    for (int order = 1; order <= 10; ++order) {
        result.harmonics.push_back({order, 1000.0 * order, -60.0 - 0.5 * order, -0.5 * order});
    }
    report.harmonics.push_back(result);
    const std::string script = plotScript(report, "crowded");
    const std::regex label("set label \"(f|H[0-9]+)\" at ([-0-9.e]+),([-0-9.e]+) center");
    struct Label {
        std::string text;
        double hertz;
        double decibels;
    };
    std::vector<Label> labels;
    for (std::sregex_iterator it(script.begin(), script.end(), label), end; it != end; ++it) {
        labels.push_back({(*it)[1], std::stod((*it)[2]), std::stod((*it)[3])});
    }
    ASSERT_GE(labels.size(), 16u) << "ten harmonics, in two pictures\n" << script;
    for (std::size_t a = 0; a < labels.size(); ++a) {
        for (std::size_t b = a + 1; b < labels.size(); ++b) {
            // Within 15 % in frequency on a log axis from 20 Hz to 22 kHz, and
            // within 5 dB of a 170 dB axis, two labels overlap.
            const bool near = std::fabs(std::log(labels[a].hertz / labels[b].hertz)) < std::log(1.15) &&
                              std::fabs(labels[a].decibels - labels[b].decibels) < 5.0;
            EXPECT_FALSE(near && labels[a].text != labels[b].text)
                << labels[a].text << " at " << labels[a].hertz << " Hz, " << labels[a].decibels << " dB and "
                << labels[b].text << " at " << labels[b].hertz << " Hz, " << labels[b].decibels << " dB";
        }
    }
}
