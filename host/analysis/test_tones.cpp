#include "analysis/test_tones.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kSilenceDb = -400.0;
}  // namespace

ToneSequence makeToneSequence(const std::vector<ToneStep>& steps, std::size_t settle, std::size_t measure,
                              double sampleRate) {
    ToneSequence sequence;
    const std::size_t stepLength = settle + measure;
    sequence.signal = AudioBuffer(1, stepLength * steps.size(), sampleRate);
    sequence.measureLength = measure;
    std::vector<float>& samples = sequence.signal.channels[0];
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::size_t start = i * stepLength;
        const double step = 2.0 * kPi * steps[i].frequency / sampleRate;
        for (std::size_t n = 0; n < stepLength; ++n) {
            samples[start + n] = static_cast<float>(steps[i].amplitude * std::sin(step * static_cast<double>(n)));
        }
        sequence.measureStart.push_back(start + settle);
    }
    return sequence;
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
