// Loudness and true peak of a signal as broadcast meters give them (ITU-R
// BS.1770-4, EBU R 128): the integrated loudness in LUFS, the loudness range
// in LU (EBU Tech 3342) and the true peak. Fed block by block, in constant
// memory (about 130 kB) whatever the length, on whichever thread reads or
// writes the audio.
//
// Every channel counts with weight 1, as left, right and centre do; the
// surround weighting of a 5.1 layout is not applied, and a mono signal is
// measured as the one channel it is (3 dB below the same signal in both
// channels of a stereo file).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "audio/loudness_gate.h"
#include "audio/loudness_kernels.h"
#include "audio/true_peak.h"

struct LoudnessFigures {
    // Over the whole signal, through the absolute (-70 LUFS) and relative
    // (-10 LU) gates of 400 ms blocks. None when no block passes: silence,
    // a signal shorter than 400 ms, or one with NaN or infinite samples.
    std::optional<double> integratedLufs;
    // The spread of the 3 s short-term loudness, taken every 100 ms, between
    // its 10th and 95th percentiles above the gates (-70 LUFS, -20 LU). None
    // when no 3 s window passes, and for NaN or infinite samples.
    std::optional<double> rangeLu;
    // The largest magnitude of the signal oversampled four times, full scale
    // 1.0: infinite when a sample was infinite, NaN when one was NaN, so that
    // a broken signal never looks quiet.
    double truePeak = 0.0;
};

class LoudnessMeter {
public:
    // `path`: which inner loops to run, the fastest unless a test asks.
    LoudnessMeter(int channels, double sampleRate, KernelPath path = fastestKernelPath());

    // Adds `frames` frames, one array per channel. Any thread, one call at a
    // time.
    void add(const float* const* channels, std::size_t frames);
    LoudnessFigures figures() const;

private:
    static constexpr std::size_t kSubBlocksPerShortTerm = 30;  // 100 ms steps of a 3 s window
    static constexpr std::size_t kSubBlocksPerMomentary = 4;   // of a 400 ms block

    void endSubBlock();
    std::size_t nextBoundary() const;
    void noteNonFinite(const float* const* channels, std::size_t frames);

    KernelPath path_;
    double rate_;
    KWeighting filter_{};
    double squareScale_ = 1.0;  // of the filter's squares, for the same curve at every rate
    std::vector<KWeightingMemory> memory_;
    std::size_t position_ = 0;       // frames so far
    std::size_t subBlocks_ = 0;      // 100 ms stretches completed
    std::size_t subBlockStart_ = 0;  // the frame that starts the current one
    std::size_t subBlockEnd_;        // and the one that ends it
    // The last sub-blocks' squares summed over their frames and channels,
    // and their lengths, as rings.
    std::array<double, kSubBlocksPerShortTerm> recentEnergy_{};
    std::array<std::size_t, kSubBlocksPerShortTerm> recentFrames_{};
    BlockHistogram momentary_;
    BlockHistogram shortTerm_;
    TruePeakMeter truePeak_;
    bool sawInfinity_ = false;
    bool sawNan_ = false;
};
