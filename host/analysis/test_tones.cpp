#include "analysis/test_tones.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <complex>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kSilenceDb = -400.0;

// amplitude * sin(step * n) for n in [0, count): a phasor turned by the step
// each sample, set afresh from the angle every kExactEvery samples so that
// rounding cannot drift (a sine call per sample costs more than the rest of
// a measurement).
void writeSine(float* out, std::size_t count, double amplitude, double step) {
    constexpr std::size_t kExactEvery = 1024;
    const std::complex<double> turn = std::polar(1.0, step);
    std::complex<double> phasor = 1.0;
    for (std::size_t n = 0; n < count; ++n) {
        if (n % kExactEvery == 0) {
            phasor = std::polar(1.0, step * static_cast<double>(n));
        }
        out[n] = static_cast<float>(amplitude * phasor.imag());
        phasor *= turn;
    }
}
}  // namespace

ToneSequence makeToneSequence(const std::vector<ToneStep>& steps, std::size_t settle, std::size_t measure,
                              double sampleRate) {
    std::vector<TimedToneStep> timed;
    for (const ToneStep& step : steps) {
        timed.push_back({step, settle, measure});
    }
    ToneSequence sequence = makeTimedToneSequence(timed, sampleRate);
    sequence.measureLength = measure;
    return sequence;
}

ToneSequence makeTimedToneSequence(const std::vector<TimedToneStep>& steps, double sampleRate) {
    ToneSequence sequence;
    std::size_t total = 0;
    for (const TimedToneStep& step : steps) {
        total += step.settle + step.measure;
    }
    sequence.signal = AudioBuffer(1, total, sampleRate);
    std::vector<float>& samples = sequence.signal.channels[0];
    std::size_t start = 0;
    for (const TimedToneStep& timed : steps) {
        writeSine(samples.data() + start, timed.settle + timed.measure, timed.tone.amplitude,
                  2.0 * kPi * timed.tone.frequency / sampleRate);
        sequence.measureStart.push_back(start + timed.settle);
        sequence.measureLengths.push_back(timed.measure);
        start += timed.settle + timed.measure;
    }
    sequence.measureLength = steps.empty() ? 0 : steps.front().measure;
    return sequence;
}

std::vector<float> makePinkNoise(std::size_t frames) {
    // Paul Kellet's filter: six one-pole low-passes spread over the audio
    // band and a direct path, within 0.05 dB of -3 dB per octave from 9 Hz
    // to Nyquist at 44.1 kHz.
    constexpr double kPoles[] = {0.99886, 0.99332, 0.96900, 0.86650, 0.55000, -0.7616};
    constexpr double kInputs[] = {0.0555179, 0.0750759, 0.1538520, 0.3104856, 0.5329522, -0.0168980};
    constexpr double kDirect = 0.5362, kDelayed = 0.115926, kScale = 0.11;
    std::uint32_t state = 0x50696E6Bu;
    double memory[6] = {};
    double delayed = 0.0;
    std::vector<float> noise(frames);
    for (float& sample : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const double white = static_cast<double>(state) / 2147483648.0 - 1.0;
        double sum = kDirect * white + delayed;
        for (std::size_t i = 0; i < 6; ++i) {
            memory[i] = kPoles[i] * memory[i] + kInputs[i] * white;
            sum += memory[i];
        }
        delayed = kDelayed * white;
        sample = static_cast<float>(kScale * sum);
    }
    return noise;
}

AudioBuffer makeRisingSine(double frequency, double seconds, double sampleRate) {
    const auto count = static_cast<std::size_t>(std::lround(seconds * sampleRate));
    AudioBuffer buffer(1, count, sampleRate);
    const double step = 2.0 * kPi * frequency / sampleRate;
    for (std::size_t n = 0; n < count; ++n) {
        const double envelope = static_cast<double>(n) / static_cast<double>(count - 1);
        buffer.channels[0][n] = static_cast<float>(envelope * std::sin(step * static_cast<double>(n)));
    }
    return buffer;
}

double dbfsToAmplitude(double dbfs) {
    return std::pow(10.0, dbfs / 20.0);
}

double amplitudeToDbfs(double amplitude) {
    return amplitude > 0.0 ? std::max(20.0 * std::log10(amplitude), kSilenceDb) : kSilenceDb;
}
