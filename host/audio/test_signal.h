// The embedded input: a few seconds of plucked-string notes and a strummed
// chord, made by the Karplus–Strong method, so that rendering needs no file.
// The same sample rate and channel count always give the same samples.
#pragma once

#include "audio/audio_buffer.h"

// About 4.5 seconds, peaking at -3 dBFS. Channels beyond two repeat the
// first two (the strings are panned across a stereo pair).
AudioBuffer makeDemoSignal(double sampleRate, int channels);
