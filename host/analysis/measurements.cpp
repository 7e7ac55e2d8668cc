#include "analysis/measurements.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "analysis/gain_envelope.h"
#include "analysis/spectrum.h"
#include "analysis/test_tones.h"
#include "audio/loudness_meter.h"
#include "support/host_error.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
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
constexpr int kResponseStepsPerOctave = 24;
constexpr double kGridHz = 1000.0;
constexpr double kResponseTopShare = 0.47;  // of the sample rate, below the anti-aliasing filters of most plug-ins
// A peak that stands this far above both neighbours gets kPeakSteps steps
// between them and it.
constexpr double kPeakStandsDb = 0.01;
constexpr int kPeakSteps = 8;
constexpr std::size_t kSlopeReach = 2;  // neighbours either side for the group delay
// Each tone is read over at least this many periods (so that its harmonics
// stay clear of its window's main lobe), within these lengths.
constexpr double kResponseCycles = 16.0;
constexpr std::size_t kResponseShortest = 2048, kResponseLongest = 65536;
constexpr double kCornerDropDb = 3.0;
constexpr double kImpulseSeconds = 2.0;
constexpr double kImpulseEndDb = -100.0, kImpulseDecayDb = -60.0;
constexpr double kImpulseShortestMs = 5.0;
constexpr std::size_t kImpulsePlottedPoints = 8192;
constexpr double kLoudnessLowestLufs = -60.0, kLoudnessHighestLufs = 0.0, kLoudnessStepLu = 3.0;
constexpr double kLoudnessSettleSeconds = 0.5, kLoudnessMeasureSeconds = 1.5;
constexpr double kDynamicsToneHz = 1000.0;
constexpr double kExtremeToleranceDb = 0.25;  // levels whose gain is this close to an extreme share it
constexpr double kBeforeStepSeconds = 1.0, kHighSeconds = 3.0, kAfterStepSeconds = 3.0;
constexpr double kSettledShare = 0.25;  // the last quarter of a stretch gives its settled gain
constexpr double kSettledFraction = 0.1;
constexpr double kEnvelopeFirstMs = 0.1;
constexpr int kEnvelopePointsPerDecade = 40;
constexpr double kSilenceDb = -400.0;
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

// -d(phase)/d(omega) in ms: the slope at each point of the polynomial
// through it and its two neighbours on either side (fewer at the ends), on
// a logarithmic frequency axis, where the grid is even. That is exact for
// phases of up to fourth order in log frequency, where a plain difference
// of the neighbours misses a resonance's steep middle by several percent.
std::vector<CurvePoint> groupDelays(const std::vector<CurvePoint>& phase) {
    std::vector<CurvePoint> delays;
    const std::size_t count = phase.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t first = i >= kSlopeReach ? i - kSlopeReach : 0;
        const std::size_t last = std::min(count - 1, i + kSlopeReach);
        const double at = std::log(phase[i].x);
        double slope = 0.0;  // degrees per unit of log frequency
        for (std::size_t j = first; j <= last; ++j) {
            const double xj = std::log(phase[j].x);
            double weight = 0.0;
            if (j == i) {
                for (std::size_t m = first; m <= last; ++m) {
                    weight += m == i ? 0.0 : 1.0 / (at - std::log(phase[m].x));
                }
            } else {
                weight = 1.0;
                for (std::size_t m = first; m <= last; ++m) {
                    const double xm = std::log(phase[m].x);
                    weight *= (m == j ? 1.0 : 1.0 / (xj - xm)) * (m == j || m == i ? 1.0 : at - xm);
                }
            }
            slope += weight * phase[j].y;
        }
        delays.push_back({phase[i].x, count > 1 ? -1000.0 * slope / (360.0 * phase[i].x) : 0.0});
    }
    return delays;
}

// The output's samples at these times after `start` (ms), as points.
std::vector<CurvePoint> logTimeCurve(const std::vector<double>& gain, std::size_t start, std::size_t end, double rate) {
    std::vector<CurvePoint> curve;
    const double lastMs = 1000.0 * static_cast<double>(end - start - 1) / rate;
    for (int i = 0;; ++i) {
        const double ms = kEnvelopeFirstMs * std::pow(10.0, static_cast<double>(i) / kEnvelopePointsPerDecade);
        if (ms > lastMs) {
            break;
        }
        const auto at = start + static_cast<std::size_t>(std::llround(ms * rate / 1000.0));
        curve.push_back({ms, gain[at]});
    }
    return curve;
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

std::vector<std::complex<double>> Measurements::tonesThrough(const std::vector<double>& frequencies,
                                                             const std::vector<ParameterSetting>& extra) const {
    std::vector<TimedToneStep> steps;
    for (double frequency : frequencies) {
        const auto cycles = static_cast<std::size_t>(std::ceil(kResponseCycles * setup_.sampleRate / frequency));
        steps.push_back({{frequency, dbfsToAmplitude(kResponseDb)},
                         kSettle,
                         std::clamp(cycles, kResponseShortest, kResponseLongest)});
    }
    const ToneSequence sequence = makeTimedToneSequence(steps, setup_.sampleRate);
    const std::vector<float> output = run(sequence.signal, extra);
    std::vector<std::complex<double>> ratios;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::size_t start = sequence.measureStart[i], length = sequence.measureLengths[i];
        const std::complex<double> in =
            toneComponent(sequence.signal.channels[0].data() + start, length, frequencies[i], setup_.sampleRate);
        ratios.push_back(toneComponent(output.data() + start, length, frequencies[i], setup_.sampleRate) / in);
    }
    return ratios;
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
    // A grid through 1 kHz and its octaves, then finer steps either side of
    // a peak that stands out, so that a narrow one is read at its top.
    std::vector<double> frequencies;
    const double highest = std::min(kResponseHighest, kResponseTopShare * setup_.sampleRate);
    for (int k = static_cast<int>(std::ceil(kResponseStepsPerOctave * std::log2(kResponseLowest / kGridHz)));; ++k) {
        const double frequency = kGridHz * std::pow(2.0, static_cast<double>(k) / kResponseStepsPerOctave);
        if (frequency > highest) {
            break;
        }
        frequencies.push_back(frequency);
    }
    std::vector<std::complex<double>> ratios = tonesThrough(frequencies, {});
    const auto gainAt = [&ratios](std::size_t i) { return toDb(std::abs(ratios[i])); };
    std::size_t top = 0;
    for (std::size_t i = 1; i < ratios.size(); ++i) {
        top = gainAt(i) > gainAt(top) ? i : top;
    }
    if (top > 0 && top + 1 < ratios.size() &&
        gainAt(top) - std::max(gainAt(top - 1), gainAt(top + 1)) > kPeakStandsDb) {
        std::vector<double> finer;
        for (std::size_t from : {top - 1, top}) {
            for (int j = 1; j < kPeakSteps; ++j) {
                finer.push_back(frequencies[from] *
                                std::pow(2.0, static_cast<double>(j) / (kResponseStepsPerOctave * kPeakSteps)));
            }
        }
        const std::vector<std::complex<double>> more = tonesThrough(finer, {});
        std::vector<std::pair<double, std::complex<double>>> merged;
        for (std::size_t i = 0; i < frequencies.size(); ++i) {
            merged.emplace_back(frequencies[i], ratios[i]);
        }
        for (std::size_t i = 0; i < finer.size(); ++i) {
            merged.emplace_back(finer[i], more[i]);
        }
        std::sort(merged.begin(), merged.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        frequencies.clear();
        ratios.clear();
        for (const auto& [frequency, ratio] : merged) {
            frequencies.push_back(frequency);
            ratios.push_back(ratio);
        }
    }
    for (std::size_t i = 0; i < ratios.size(); ++i) {
        response.points.push_back({frequencies[i], gainAt(i)});
        double degrees = std::arg(ratios[i]) * 180.0 / kPi;
        if (!response.phase.empty()) {
            // The turn nearest the last point's phase.
            degrees -= 360.0 * std::round((degrees - response.phase.back().y) / 360.0);
        }
        response.phase.push_back({frequencies[i], degrees});
    }
    response.groupDelay = groupDelays(response.phase);
    double largest = -std::numeric_limits<double>::infinity();
    for (const CurvePoint& point : response.points) {
        largest = std::max(largest, point.y);
    }
    response.corners = crossings(response.points, largest - kCornerDropDb);

    for (const BandProbe& band : bands) {
        const std::vector<std::complex<double>> solo = tonesThrough(frequencies, band.solo);
        std::vector<CurvePoint> curve;
        for (std::size_t i = 0; i < solo.size(); ++i) {
            curve.push_back({frequencies[i], toDb(std::abs(solo[i]))});
        }
        response.bands.emplace_back(band.name, curve);
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

ImpulseResponse Measurements::impulseResponse() const {
    const double rate = setup_.sampleRate;
    AudioBuffer input(1, static_cast<std::size_t>(kImpulseSeconds * rate), rate);
    input.channels[0][0] = 1.0f;
    const std::vector<float> output = run(input);
    ImpulseResponse response;
    std::size_t peakAt = 0;
    for (std::size_t n = 0; n < output.size(); ++n) {
        if (std::fabs(output[n]) > std::fabs(output[peakAt])) {
            peakAt = n;
        }
    }
    response.peak = output[peakAt];
    response.peakMs = 1000.0 * static_cast<double>(peakAt) / rate;
    // The last sample above a level relative to the peak, counted from 1.
    const auto lastAbove = [&output, &response](double db) {
        const double level = std::fabs(response.peak) * dbfsToAmplitude(db);
        std::size_t last = output.size();
        while (last > 0 && std::fabs(output[last - 1]) <= level) {
            --last;
        }
        return last;
    };
    const std::size_t decay = lastAbove(kImpulseDecayDb);
    if (response.peak != 0.0 && decay < output.size()) {
        response.decayMs = 1000.0 * static_cast<double>(decay) / rate;
    }
    const std::size_t shortest = static_cast<std::size_t>(std::ceil(kImpulseShortestMs * rate / 1000.0));
    const std::size_t end =
        std::min(output.size(), std::max(response.peak != 0.0 ? lastAbove(kImpulseEndDb) + 1 : 0, shortest));
    const auto pointAt = [&output, rate](std::size_t n) {
        return CurvePoint{1000.0 * static_cast<double>(n) / rate, output[n]};
    };
    if (end <= kImpulsePlottedPoints) {
        for (std::size_t n = 0; n < end; ++n) {
            response.points.push_back(pointAt(n));
        }
        return response;
    }
    // The lowest and the highest sample of each group, in their order.
    const std::size_t group = (end + kImpulsePlottedPoints / 2 - 1) / (kImpulsePlottedPoints / 2);
    for (std::size_t start = 0; start < end; start += group) {
        const auto first = output.begin() + static_cast<std::ptrdiff_t>(start);
        const auto [low, high] =
            std::minmax_element(first, first + static_cast<std::ptrdiff_t>(std::min(group, end - start)));
        response.points.push_back(pointAt(static_cast<std::size_t>(std::min(low, high) - output.begin())));
        response.points.push_back(pointAt(static_cast<std::size_t>(std::max(low, high) - output.begin())));
    }
    return response;
}

std::vector<LoudnessPoint> Measurements::loudnessCurve() const {
    const double rate = setup_.sampleRate;
    const auto settle = static_cast<std::size_t>(kLoudnessSettleSeconds * rate);
    const auto measure = static_cast<std::size_t>(kLoudnessMeasureSeconds * rate);
    const std::vector<float> noise = makePinkNoise(settle + measure);
    const auto loudnessOfPart = [rate, measure](const float* samples) {
        LoudnessMeter meter(1, rate);
        meter.add(&samples, measure);
        return meter.figures();
    };
    const std::optional<double> noiseLufs = loudnessOfPart(noise.data() + settle).integratedLufs;
    if (!noiseLufs) {
        throw std::logic_error("the analysis's pink noise has no loudness");
    }
    std::vector<double> targets;
    for (double lufs = kLoudnessLowestLufs; lufs <= kLoudnessHighestLufs + 1e-9; lufs += kLoudnessStepLu) {
        targets.push_back(lufs);
    }
    AudioBuffer input(1, targets.size() * noise.size(), rate);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const double gain = dbfsToAmplitude(targets[i] - *noiseLufs);
        for (std::size_t n = 0; n < noise.size(); ++n) {
            input.channels[0][i * noise.size() + n] = static_cast<float>(gain * noise[n]);
        }
    }
    const std::vector<float> output = run(input);
    std::vector<LoudnessPoint> points;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::size_t start = i * noise.size() + settle;
        const LoudnessFigures in = loudnessOfPart(input.channels[0].data() + start);
        const LoudnessFigures out = loudnessOfPart(output.data() + start);
        points.push_back({in.integratedLufs.value_or(kSilenceDb), out.integratedLufs.value_or(kSilenceDb),
                          amplitudeToDbfs(out.truePeak)});
    }
    return points;
}

DynamicsResult Measurements::dynamics(const std::vector<LevelPoint>& level) const {
    DynamicsResult result;
    if (level.empty()) {
        return result;
    }
    const auto gainAt = [&level](std::size_t i) { return level[i].fundamentalDb - level[i].inputDb; };
    double lowest = gainAt(0), highest = gainAt(0);
    for (std::size_t i = 1; i < level.size(); ++i) {
        lowest = std::min(lowest, gainAt(i));
        highest = std::max(highest, gainAt(i));
    }
    result.spanDb = highest - lowest;
    result.gainMoves = result.spanDb >= kGainMovesDb;
    if (!result.gainMoves) {
        return result;
    }
    // The closest pair of levels, one at each extreme of the gain.
    double closest = std::numeric_limits<double>::infinity();
    for (std::size_t a = 0; a < level.size(); ++a) {
        for (std::size_t b = 0; b < level.size(); ++b) {
            const double apart = std::fabs(level[a].inputDb - level[b].inputDb);
            if (gainAt(a) >= highest - kExtremeToleranceDb && gainAt(b) <= lowest + kExtremeToleranceDb &&
                apart < closest) {
                closest = apart;
                result.lowDbfs = std::min(level[a].inputDb, level[b].inputDb);
                result.highDbfs = std::max(level[a].inputDb, level[b].inputDb);
            }
        }
    }

    // A sine of a whole number of samples per period, its level changed at
    // the zero crossings that start a period.
    const double rate = setup_.sampleRate;
    const auto period = static_cast<std::size_t>(std::max(2L, std::lround(rate / kDynamicsToneHz)));
    const auto periods = [rate, period](double seconds) {
        return period *
               static_cast<std::size_t>(std::max(1L, std::lround(seconds * rate / static_cast<double>(period))));
    };
    const std::size_t stepUp = periods(kBeforeStepSeconds);
    const std::size_t stepDown = stepUp + periods(kHighSeconds);
    const std::size_t end = stepDown + periods(kAfterStepSeconds);
    AudioBuffer input(1, end, rate);
    const double low = dbfsToAmplitude(result.lowDbfs), high = dbfsToAmplitude(result.highDbfs);
    for (std::size_t n = 0; n < end; ++n) {
        const double amplitude = n >= stepUp && n < stepDown ? high : low;
        const double phase = 2.0 * kPi * static_cast<double>(n % period) / static_cast<double>(period);
        input.channels[0][n] = static_cast<float>(amplitude * std::sin(phase));
    }
    const std::vector<float> output = run(input);
    const std::vector<double> gain = gainEnvelope(input.channels[0].data(), output.data(), end, period);
    const auto settledBefore = [&gain](std::size_t from, std::size_t to) {
        return meanGain(gain, to - static_cast<std::size_t>(kSettledShare * static_cast<double>(to - from)), to);
    };
    result.lowGainDb = settledBefore(0, stepUp);
    result.highGainDb = settledBefore(stepUp, stepDown);
    const double lowAgainDb = settledBefore(stepDown, end);
    const auto settleMs = [&](std::size_t from, std::size_t to, double before, double after) -> std::optional<double> {
        const std::optional<std::size_t> at = settlesAt(gain, from, to, before, after, kSettledFraction);
        return at ? std::optional<double>(1000.0 * static_cast<double>(*at - from) / rate) : std::nullopt;
    };
    result.attackMs = settleMs(stepUp, stepDown, result.lowGainDb, result.highGainDb);
    result.releaseMs = settleMs(stepDown, end, result.highGainDb, lowAgainDb);
    result.attack = logTimeCurve(gain, stepUp, stepDown, rate);
    result.release = logTimeCurve(gain, stepDown, end, rate);
    return result;
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
