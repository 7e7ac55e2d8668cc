// Comparing two outputs that should agree, with a tolerance relative to the
// signal's peak: rounding differences far below what anyone can hear pass,
// real differences show where they start and how large they are.
#pragma once

#include <cstddef>
#include <string>

#include "audio/audio_buffer.h"

struct OutputComparison {
    bool agree = true;
    // The largest difference in dB relative to the larger peak of the two
    // outputs; minus infinity when they are identical.
    double worstDb = 0.0;
    // Where the first difference beyond the tolerance lies, and its values.
    int channel = -1;
    std::size_t frame = 0;
    double expected = 0.0;
    double actual = 0.0;
    std::string shapeMismatch;  // non-empty when the outputs differ in shape
    // Both outputs hold nothing but zeros: they agree, and tell nothing.
    bool silent = false;

    // "differs by -42.1 dB from the peak at channel 0 frame 256 (0.25 against 0)"
    std::string describe() const;
};

// Samples that are both NaN, or the same infinity, agree; a non-finite sample
// against anything else is a difference without bound. `toleranceDb` is
// relative to the larger peak of the two outputs (for example -100).
OutputComparison compareOutputs(const AudioBuffer& expected, const AudioBuffer& actual, double toleranceDb);

// Outputs that are random (noise seeded afresh in every instance) cannot
// agree sample for sample; their level and spectral envelope can. Compares
// the energy of each channel in octave bands from a quarter of the sample
// rate down to some 40 Hz (and what lies below and above), where either
// output holds enough of it to measure.
struct LevelComparison {
    bool agree = true;
    bool silent = false;
    int channel = -1;
    double lowHz = 0.0;   // of the band that differs most
    double highHz = 0.0;  // 0: up to Nyquist
    double differenceDb = 0.0;

    // "level in channel 0 from 2756 to 5512 Hz differs by 4.2 dB"
    std::string describe() const;
};

// Bands holding less than this share of a channel's strongest band are not
// judged: noise or leakage there says nothing.
inline constexpr double kLevelFloorDb = -70.0;
// How far the band levels of two random outputs may lie apart.
inline constexpr double kLevelToleranceDb = 1.5;

LevelComparison compareLevels(const AudioBuffer& expected, const AudioBuffer& actual,
                              double toleranceDb = kLevelToleranceDb);
