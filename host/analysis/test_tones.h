// The signals the analysis sends through a plug-in. Each is mono (the
// renderer hands the channel to every input) and starts from silence.
#pragma once

#include <cstddef>
#include <vector>

#include "audio/audio_buffer.h"

struct ToneStep {
    double frequency = 1000.0;  // Hz
    double amplitude = 1.0;     // peak, full scale 1.0
};

// Sine steps one after another: each runs `settle` samples for the plug-in
// to reach its steady state, then `measure` samples that the analysis reads.
struct ToneSequence {
    AudioBuffer signal;
    std::vector<std::size_t> measureStart;    // one per step
    std::vector<std::size_t> measureLengths;  // one per step
    std::size_t measureLength = 0;            // the first step's
};
ToneSequence makeToneSequence(const std::vector<ToneStep>& steps, std::size_t settle, std::size_t measure,
                              double sampleRate);

// Sine steps of their own lengths: each step's `settle` and `measure` in
// samples.
struct TimedToneStep {
    ToneStep tone;
    std::size_t settle = 0;
    std::size_t measure = 0;
};
ToneSequence makeTimedToneSequence(const std::vector<TimedToneStep>& steps, double sampleRate);

// Pink noise (equal energy per octave, from 20 Hz up) of `frames` samples:
// white noise from a fixed seed through a filter of seven poles, so the
// same length always gives the same samples. About -14 dBFS RMS.
std::vector<float> makePinkNoise(std::size_t frames);

// A sine whose amplitude rises in a straight line from 0 to 1 over `seconds`:
// free of DC, yet slow enough that each cycle meets the plug-in in a steady
// state, so output against input traces the transfer curve.
AudioBuffer makeRisingSine(double frequency, double seconds, double sampleRate);

// Decibels relative to full scale and back; a peak of 1.0 is 0 dBFS.
double dbfsToAmplitude(double dbfs);
double amplitudeToDbfs(double amplitude);  // -400 for silence, so files never hold infinities
