// Whether one output is another moved in time, wholly or in part (an echo
// that lands elsewhere), found by cross-correlation. "Output delayed by 64
// frames" says what went wrong where "differs by -1.3 dB" does not.
#pragma once

#include <cstddef>

#include "audio/audio_buffer.h"

struct TimeShift {
    bool found = false;
    // Frames by which `actual` comes later than `expected`; negative when
    // earlier.
    long frames = 0;
    // The whole output moved, not only a part of it.
    bool whole = false;
};

// Looks for a move of at most `maxFrames` either way, in a stretch of some
// 32768 frames from just before the outputs start to differ. A whole move must
// leave `actual` within `toleranceDb` of the moved `expected`. A part that
// moved shows as a peak and a dip of the same size in the correlation of
// the difference with `expected`: the peak where the part now lies, the dip
// where it was.
TimeShift findTimeShift(const AudioBuffer& expected, const AudioBuffer& actual, std::size_t maxFrames,
                        double toleranceDb);
