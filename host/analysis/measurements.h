// The measurements of `plughost analyze`. Each sends its own test signal
// through the plug-in (through a Renderer, so any way of running a plug-in
// will do) and reads the figures from the first output channel.
#pragma once

#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_report.h"
#include "audio/audio_buffer.h"
#include "audio/render_session.h"

struct RenderOutcome {
    AudioBuffer output;
    double processSeconds = 0.0;  // time spent inside the plug-in's process calls
};

// Runs `input` through a fresh instance of the plug-in under test, prepared
// with the analysis's program and settings and then `extra`, in blocks of
// `blockSize` frames.
using Renderer =
    std::function<RenderOutcome(const AudioBuffer& input, int blockSize, const std::vector<ParameterSetting>& extra)>;

// How the measurements run: the sample rate of their signals, the latency
// the plug-in reports (its output is read that many samples late) and the
// block size of every render but the cost's.
struct MeasurementSetup {
    double sampleRate = 44100.0;
    int latency = 0;
    int blockSize = 512;
};

// A band the plug-in can be made to play on its own (by `solo`), for finding
// where adjacent bands cross.
struct BandProbe {
    std::string name;
    std::vector<ParameterSetting> solo;
};

class Measurements {
public:
    Measurements(Renderer renderer, MeasurementSetup setup) : render_(std::move(renderer)), setup_(setup) {}

    TransferCurve transferCurve() const;
    std::vector<LevelPoint> levelCurve() const;
    HarmonicsResult harmonics(double inputDb) const;
    // `bands` in order from low to high; empty for a plain response.
    FrequencyResponse frequencyResponse(const std::vector<BandProbe>& bands) const;
    ImpulseResponse impulseResponse() const;
    std::vector<LoudnessPoint> loudnessCurve() const;
    // From the level curve, which says whether and between which levels the
    // gain moves.
    DynamicsResult dynamics(const std::vector<LevelPoint>& level) const;
    AliasingResult aliasing() const;
    std::vector<CostPoint> cost() const;

private:
    // The first output channel, lined up with the input.
    std::vector<float> run(const AudioBuffer& input, const std::vector<ParameterSetting>& extra = {}) const;
    // The output's component over the input's, for stepped sines at these
    // frequencies (ascending).
    std::vector<std::complex<double>> tonesThrough(const std::vector<double>& frequencies,
                                                   const std::vector<ParameterSetting>& extra) const;

    Renderer render_;
    MeasurementSetup setup_;
};

// Frequencies where `curve` (x ascending, on a log axis) crosses `level`,
// interpolated between the points on either side.
std::vector<double> crossings(const std::vector<CurvePoint>& curve, double level);
