// What `plughost analyze` measured: the figures and the data behind each
// plot. Levels are in dBFS (a sine of peak 1.0 is 0 dBFS) unless a name says
// otherwise; frequencies in Hz.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CurvePoint {
    double x = 0.0;
    double y = 0.0;
};

// Output against input from a slowly rising 1 kHz sine, the samples sorted
// into narrow bins by input value. A plug-in without memory gives one output
// per input (low, mean and high coincide); one with memory (filters) spreads
// the outputs of a bin.
struct TransferBin {
    double input = 0.0;  // mean input of the samples in the bin (full scale 1.0)
    double low = 0.0;    // smallest output among them
    double mean = 0.0;
    double high = 0.0;  // largest output among them
};
struct TransferCurve {
    std::vector<TransferBin> bins;  // ascending input, empty bins left out
    double largestDeviation = 0.0;  // largest |output - input| seen over all samples
    // How far the output moves when the input runs backwards: the RMS of
    // the output minus the reversed output of the reversed input, against
    // the output's RMS. 0 when each output sample depends on its input
    // sample alone; filters (phase shift), delays and dynamics raise it.
    double memory = 0.0;
    // Whether the output is a static function of the input, so that a
    // transfer curve means something: `memory` stays below
    // kStaticTransferLimit.
    bool staticFunction = true;
};
inline constexpr double kStaticTransferLimit = 0.01;  // -40 dB

// 1 kHz sine from -60 to +6 dBFS.
struct LevelPoint {
    double inputDb = 0.0;
    double outputDb = 0.0;       // whole output, as the level of a sine of the same RMS
    double fundamentalDb = 0.0;  // the 1 kHz component alone
};

struct HarmonicLevel {
    int order = 1;
    double frequency = 0.0;
    double levelDb = 0.0;     // dBFS
    double relativeDb = 0.0;  // to the fundamental, dB
};

// Spectrum of a 1 kHz sine at one input level.
struct HarmonicsResult {
    double inputDb = 0.0;
    double fundamental = 1000.0;
    std::vector<HarmonicLevel> harmonics;  // the first ten, those below Nyquist
    double thdPercent = 0.0;
    double thdPlusNoisePercent = 0.0;
    std::vector<CurvePoint> spectrum;  // frequency, dBFS (peak of each group of bins)
};

struct Crossover {
    std::string name;             // "low-mid", "mid-high"
    double measured = 0.0;        // where the two bands' responses cross
    std::optional<double> shown;  // what the plug-in's own parameter display says, when it has one
};

// Stepped sines at -40 dBFS, 24 to the octave from 20 Hz to 20 kHz (or
// 0.47 of the sample rate).
struct FrequencyResponse {
    double inputDb = -40.0;
    std::vector<CurvePoint> points;  // frequency, gain in dB (output over input)
    // At the same frequencies: the output's phase against the input's in
    // degrees, unwrapped upwards from the lowest, and the group delay in ms
    // that its slope gives (how late each frequency arrives), both with the
    // reported latency taken out. A delay of more than about 17 periods of
    // a frequency turns the phase too far between neighbouring points to be
    // followed.
    std::vector<CurvePoint> phase;
    std::vector<CurvePoint> groupDelay;
    // Frequencies where the gain crosses 3 dB below its largest value.
    std::vector<double> corners;
    // Plug-ins with a band split the analysis knows how to solo: each band's
    // response, and where adjacent bands cross.
    std::vector<std::pair<std::string, std::vector<CurvePoint>>> bands;
    std::vector<Crossover> crossovers;
};

// A 7 kHz sine at 44.1 kHz: what lands off its harmonic series.
struct AliasingResult {
    double inputDb = -3.0;
    double fundamental = 7000.0;
    double offHarmonicDb = 0.0;  // off-series energy relative to the fundamental, dB
    std::vector<HarmonicLevel> harmonics;
    std::vector<CurvePoint> spectrum;  // frequency, dBFS
};

// One sample of full scale, then silence, read with the reported latency
// taken out.
struct ImpulseResponse {
    // ms after the impulse, the output sample (full scale 1.0): up to where
    // it stays 100 dB below its peak, at least 5 ms, at most the 2 s
    // rendered. Longer responses keep the lowest and highest sample of each
    // group of samples, so that the plot shows their envelope.
    std::vector<CurvePoint> points;
    double peak = 0.0;    // the sample of the largest magnitude, with its sign
    double peakMs = 0.0;  // and where it lies
    // After which the response stays 60 dB below its peak; none when it
    // still sounds at the end, or is silent.
    std::optional<double> decayMs;
};

// Pink noise at a stepped loudness: the output's loudness and true peak
// against the input's (one channel, BS.1770).
struct LoudnessPoint {
    double inputLufs = 0.0;
    double outputLufs = 0.0;  // -400 for an output with no loudness (silence)
    double outputTruePeakDbtp = 0.0;
};

// Attack and release: a 1 kHz sine steps up from one level to another and
// back, between the levels where the level curve's gain is at its two
// extremes (the closest such pair). The gain is the output's mean square
// against the input's over the last period of the tone (so times are good
// to about a millisecond); the times run from each step until the gain
// stays within 10 % of its change (90 % of the way).
struct DynamicsResult {
    // Whether the level curve's gain (1 kHz component, output over input)
    // spans kGainMovesDb or more; nothing else is measured when it does not.
    bool gainMoves = false;
    double spanDb = 0.0;
    double lowDbfs = 0.0;  // the step
    double highDbfs = 0.0;
    double lowGainDb = 0.0;  // settled at the end of each stretch
    double highGainDb = 0.0;
    std::optional<double> attackMs;   // after the step up; none when the gain never settles
    std::optional<double> releaseMs;  // after the step down
    std::vector<CurvePoint> attack;   // ms after the step up (log spaced), gain in dB
    std::vector<CurvePoint> release;  // ms after the step down
};
inline constexpr double kGainMovesDb = 1.0;

struct CostPoint {
    int blockSize = 0;
    double nanosecondsPerSample = 0.0;  // best of several runs, wall clock inside process calls
};

struct AnalysisReport {
    std::string plugin;       // path as given
    std::string effectName;   // what the plug-in calls itself
    std::string programName;  // empty when no program was chosen or the plug-in has none
    double sampleRate = 44100.0;
    int latency = 0;  // samples the plug-in reports; the analysis lines its output up by it
    TransferCurve transfer;
    std::vector<LevelPoint> level;
    std::vector<HarmonicsResult> harmonics;  // -12 and -3 dBFS
    FrequencyResponse response;
    ImpulseResponse impulse;
    std::vector<LoudnessPoint> loudness;
    DynamicsResult dynamics;
    AliasingResult aliasing;
    std::vector<CostPoint> cost;
};
