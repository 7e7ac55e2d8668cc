#include "analysis/measurements.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "analysis/spectrum.h"
#include "analysis/test_tones.h"
#include "support/host_error.h"

namespace {

constexpr double kToneFrequency = 1000.0;
constexpr double kTransferSeconds = 1.0;
constexpr int kTransferBins = 400;  // over -1..1
constexpr double kLevelLowestDb = -60.0, kLevelHighestDb = 6.0, kLevelStepDb = 2.0;
constexpr std::size_t kSettle = 4096;
constexpr std::size_t kLevelWindow = 8192;
constexpr std::size_t kSpectrumWindow = 16384;
constexpr int kHarmonicCount = 10;
constexpr double kResponseDb = -40.0;
constexpr double kResponseLowest = 20.0, kResponseHighest = 20000.0;
constexpr int kResponseStepsPerDecade = 20;
constexpr double kCornerDropDb = 3.0;
constexpr double kAliasingFrequency = 7000.0;
constexpr double kAliasingDb = -3.0;
constexpr int kCostBlockSizes[] = {32, 256, 4096};
constexpr int kCostRuns = 3;
constexpr double kCostSeconds = 1.0;
constexpr std::size_t kPlottedSpectrumPoints = 2048;

double toDb(double ratio) {
    return amplitudeToDbfs(ratio);
}

// The strongest bin of each group, so that peaks survive the thinning.
std::vector<CurvePoint> thinSpectrum(const Spectrum& spectrum) {
    const std::size_t group = (spectrum.binCount() + kPlottedSpectrumPoints - 1) / kPlottedSpectrumPoints;
    std::vector<CurvePoint> points;
    for (std::size_t start = 1; start < spectrum.binCount(); start += group) {
        std::size_t best = start;
        for (std::size_t k = start; k < std::min(start + group, spectrum.binCount()); ++k) {
            if (spectrum.amplitude(k) > spectrum.amplitude(best)) {
                best = k;
            }
        }
        points.push_back({spectrum.frequencyOf(best), amplitudeToDbfs(spectrum.amplitude(best))});
    }
    return points;
}

std::vector<HarmonicLevel> harmonicLevels(const HarmonicFigures& figures) {
    std::vector<HarmonicLevel> levels;
    const double fundamentalDb = figures.harmonics.empty() ? 0.0 : amplitudeToDbfs(figures.harmonics[0].amplitude);
    for (const Harmonic& harmonic : figures.harmonics) {
        const double db = amplitudeToDbfs(harmonic.amplitude);
        levels.push_back({harmonic.order, harmonic.frequency, db, db - fundamentalDb});
    }
    return levels;
}

// A window of at least `atLeast` samples that holds a whole number of
// cycles of `frequency`: its harmonics and their aliases then all fall on
// bins, and the window leaks nothing beyond its main lobes. Falls back to
// `atLeast` when the rate or frequency is not a whole number of hertz or
// the cycle pattern is too long.
std::size_t coherentLength(double frequency, double sampleRate, std::size_t atLeast) {
    if (frequency != std::floor(frequency) || sampleRate != std::floor(sampleRate) || frequency <= 0.0) {
        return atLeast;
    }
    const auto rate = static_cast<unsigned long>(sampleRate);
    const auto tone = static_cast<unsigned long>(frequency);
    const unsigned long pattern = rate / std::gcd(rate, tone);  // samples of a whole number of cycles
    if (pattern > 4 * atLeast) {
        return atLeast;
    }
    return (atLeast + pattern - 1) / pattern * pattern;
}

double meanSquare(const float* samples, std::size_t count) {
    double sum = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        sum += static_cast<double>(samples[n]) * samples[n];
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

// RMS of the difference of two signals of the same length, against the
// RMS of the first; 0 when the first is silent.
double relativeDifference(const std::vector<float>& a, const std::vector<float>& b) {
    double difference = 0.0, whole = 0.0;
    for (std::size_t n = 0; n < a.size() && n < b.size(); ++n) {
        const double d = static_cast<double>(a[n]) - b[n];
        difference += d * d;
        whole += static_cast<double>(a[n]) * a[n];
    }
    return whole > 0.0 ? std::sqrt(difference / whole) : 0.0;
}

}  // namespace

std::vector<float> Measurements::run(const AudioBuffer& input, const std::vector<ParameterSetting>& extra) const {
    // Room for the plug-in's latency at the end, then read that much later.
    AudioBuffer padded = input;
    const auto latency = static_cast<std::size_t>(std::max(setup_.latency, 0));
    padded.channels[0].resize(input.frameCount() + latency, 0.0f);
    RenderOutcome outcome = render_(padded, setup_.blockSize, extra);
    if (outcome.output.channels.empty() || outcome.output.frameCount() < padded.frameCount()) {
        throw LoadError("the plug-in gave no output to measure");
    }
    const std::vector<float>& first = outcome.output.channels[0];
    return std::vector<float>(first.begin() + static_cast<std::ptrdiff_t>(latency),
                              first.begin() + static_cast<std::ptrdiff_t>(latency + input.frameCount()));
}

TransferCurve Measurements::transferCurve() const {
    const AudioBuffer input = makeRisingSine(kToneFrequency, kTransferSeconds, setup_.sampleRate);
    const std::vector<float> output = run(input);
    const std::vector<float>& in = input.channels[0];
    struct Sums {
        std::size_t count = 0;
        double input = 0.0, output = 0.0;
        double low = std::numeric_limits<double>::infinity(), high = -std::numeric_limits<double>::infinity();
    };
    std::vector<Sums> sums(kTransferBins);
    TransferCurve curve;
    for (std::size_t n = 0; n < in.size(); ++n) {
        const double x = in[n], y = output[n];
        curve.largestDeviation = std::max(curve.largestDeviation, std::fabs(y - x));
        const int bin = std::clamp(static_cast<int>(std::floor((x + 1.0) * 0.5 * kTransferBins)), 0, kTransferBins - 1);
        Sums& sum = sums[static_cast<std::size_t>(bin)];
        ++sum.count;
        sum.input += x;
        sum.output += y;
        sum.low = std::min(sum.low, y);
        sum.high = std::max(sum.high, y);
    }
    for (const Sums& sum : sums) {
        if (sum.count > 0) {
            const double count = static_cast<double>(sum.count);
            curve.bins.push_back({sum.input / count, sum.low, sum.output / count, sum.high});
        }
    }
    // A static function of the input sample does not care which way time
    // runs: the input played backwards gives the output backwards. Memory
    // (phase shift, envelopes) does.
    AudioBuffer backwards = input;
    for (std::vector<float>& channel : backwards.channels) {
        std::reverse(channel.begin(), channel.end());
    }
    std::vector<float> reversed = run(backwards);
    std::reverse(reversed.begin(), reversed.end());
    curve.memory = relativeDifference(output, reversed);
    curve.staticFunction = curve.memory < kStaticTransferLimit;
    return curve;
}

std::vector<LevelPoint> Measurements::levelCurve() const {
    std::vector<ToneStep> steps;
    for (double db = kLevelLowestDb; db <= kLevelHighestDb + 1e-9; db += kLevelStepDb) {
        steps.push_back({kToneFrequency, dbfsToAmplitude(db)});
    }
    const ToneSequence sequence = makeToneSequence(steps, kSettle, kLevelWindow, setup_.sampleRate);
    const std::vector<float> output = run(sequence.signal);
    std::vector<LevelPoint> points;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const float* window = output.data() + sequence.measureStart[i];
        const double rms = std::sqrt(meanSquare(window, sequence.measureLength));
        points.push_back(
            {amplitudeToDbfs(steps[i].amplitude), amplitudeToDbfs(rms * std::sqrt(2.0)),
             amplitudeToDbfs(toneAmplitude(window, sequence.measureLength, kToneFrequency, setup_.sampleRate))});
    }
    return points;
}

HarmonicsResult Measurements::harmonics(double inputDb) const {
    const ToneSequence sequence =
        makeToneSequence({{kToneFrequency, dbfsToAmplitude(inputDb)}}, kSettle,
                         coherentLength(kToneFrequency, setup_.sampleRate, kSpectrumWindow), setup_.sampleRate);
    const std::vector<float> output = run(sequence.signal);
    const Spectrum spectrum(output.data() + sequence.measureStart[0], sequence.measureLength, setup_.sampleRate);
    const HarmonicFigures figures = harmonicFigures(spectrum, kToneFrequency, kHarmonicCount);
    HarmonicsResult result;
    result.inputDb = inputDb;
    result.fundamental = kToneFrequency;
    result.harmonics = harmonicLevels(figures);
    result.thdPercent = 100.0 * figures.thd;
    result.thdPlusNoisePercent = 100.0 * figures.thdPlusNoise;
    result.spectrum = thinSpectrum(spectrum);
    return result;
}

std::vector<CurvePoint> Measurements::responseCurve(const std::vector<ParameterSetting>& extra) const {
    std::vector<ToneStep> steps;
    const double highest = std::min(kResponseHighest, 0.47 * setup_.sampleRate);
    for (int i = 0;; ++i) {
        const double frequency = kResponseLowest * std::pow(10.0, static_cast<double>(i) / kResponseStepsPerDecade);
        if (frequency > highest * (1.0 + 1e-9)) {
            break;
        }
        steps.push_back({frequency, dbfsToAmplitude(kResponseDb)});
    }
    const ToneSequence sequence = makeToneSequence(steps, kSettle, kSpectrumWindow, setup_.sampleRate);
    const std::vector<float> output = run(sequence.signal, extra);
    std::vector<CurvePoint> curve;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::size_t start = sequence.measureStart[i];
        const double in = toneAmplitude(sequence.signal.channels[0].data() + start, sequence.measureLength,
                                        steps[i].frequency, setup_.sampleRate);
        const double out =
            toneAmplitude(output.data() + start, sequence.measureLength, steps[i].frequency, setup_.sampleRate);
        curve.push_back({steps[i].frequency, toDb(out / in)});
    }
    return curve;
}

std::vector<double> crossings(const std::vector<CurvePoint>& curve, double level) {
    std::vector<double> found;
    for (std::size_t i = 1; i < curve.size(); ++i) {
        const double before = curve[i - 1].y - level, after = curve[i].y - level;
        if ((before < 0.0) != (after < 0.0)) {
            const double t = before / (before - after);
            const double logF = std::log(curve[i - 1].x) + t * (std::log(curve[i].x) - std::log(curve[i - 1].x));
            found.push_back(std::exp(logF));
        }
    }
    return found;
}

FrequencyResponse Measurements::frequencyResponse(const std::vector<BandProbe>& bands) const {
    FrequencyResponse response;
    response.inputDb = kResponseDb;
    response.points = responseCurve({});
    double largest = -std::numeric_limits<double>::infinity();
    for (const CurvePoint& point : response.points) {
        largest = std::max(largest, point.y);
    }
    response.corners = crossings(response.points, largest - kCornerDropDb);

    for (const BandProbe& band : bands) {
        response.bands.emplace_back(band.name, responseCurve(band.solo));
    }
    for (std::size_t i = 1; i < response.bands.size(); ++i) {
        const auto& lower = response.bands[i - 1].second;
        const auto& upper = response.bands[i].second;
        std::vector<CurvePoint> difference;
        for (std::size_t k = 0; k < lower.size() && k < upper.size(); ++k) {
            difference.push_back({lower[k].x, lower[k].y - upper[k].y});
        }
        // Where the lower band stops being the louder one.
        const std::vector<double> found = crossings(difference, 0.0);
        if (!found.empty()) {
            response.crossovers.push_back(
                {response.bands[i - 1].first + "-" + response.bands[i].first, found.front(), std::nullopt});
        }
    }
    return response;
}

AliasingResult Measurements::aliasing() const {
    const ToneSequence sequence =
        makeToneSequence({{kAliasingFrequency, dbfsToAmplitude(kAliasingDb)}}, kSettle,
                         coherentLength(kAliasingFrequency, setup_.sampleRate, kSpectrumWindow), setup_.sampleRate);
    const std::vector<float> output = run(sequence.signal);
    const Spectrum spectrum(output.data() + sequence.measureStart[0], sequence.measureLength, setup_.sampleRate);
    AliasingResult result;
    result.inputDb = kAliasingDb;
    result.fundamental = kAliasingFrequency;
    result.offHarmonicDb = 10.0 * std::log10(std::max(offHarmonicRatio(spectrum, kAliasingFrequency), 1e-40));
    result.harmonics = harmonicLevels(harmonicFigures(spectrum, kAliasingFrequency, kHarmonicCount));
    result.spectrum = thinSpectrum(spectrum);
    return result;
}

std::vector<CostPoint> Measurements::cost() const {
    const ToneSequence sequence =
        makeToneSequence({{kToneFrequency, dbfsToAmplitude(-12.0)}}, 0,
                         static_cast<std::size_t>(kCostSeconds * setup_.sampleRate), setup_.sampleRate);
    std::vector<CostPoint> points;
    for (int blockSize : kCostBlockSizes) {
        double best = std::numeric_limits<double>::infinity();
        for (int run = 0; run < kCostRuns; ++run) {
            best = std::min(best, render_(sequence.signal, blockSize, {}).processSeconds);
        }
        points.push_back({blockSize, 1e9 * best / static_cast<double>(sequence.signal.frameCount())});
    }
    return points;
}
