// Spectra of measured signals (FFTW), and the figures read from them: tone
// amplitudes, harmonic series, THD, THD+N and the energy off the harmonic
// series. Levels are amplitudes relative to full scale: a sine of peak 1.0
// reads 0 dBFS at its frequency whatever the window, because the window's
// coherent gain (amplitudes) and its noise bandwidth (powers) are divided
// out.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

// The four-term Blackman–Harris window: side lobes 92 dB down, so harmonics
// 100 dB below the fundamental still stand out. A tone's energy lies within
// kMainLobeBins bins either side of its frequency.
std::vector<double> blackmanHarris(std::size_t length);
inline constexpr int kMainLobeBins = 4;

class Spectrum {
public:
    // The windowed spectrum of `count` samples (count >= 2) taken at
    // `sampleRate`.
    Spectrum(const float* samples, std::size_t count, double sampleRate);

    std::size_t binCount() const { return power_.size(); }  // 0 .. count/2
    double binWidth() const { return binWidth_; }
    double frequencyOf(std::size_t bin) const { return static_cast<double>(bin) * binWidth_; }
    // Peak amplitude that a sine exactly at this bin's frequency would have.
    double amplitude(std::size_t bin) const { return amplitude_[bin]; }
    // Mean-square contribution of the bin (the sum over all bins is the
    // signal's mean square).
    double power(std::size_t bin) const { return power_[bin]; }

    // Mean square of a tone near `frequency`: the bins of its main lobe
    // around the strongest bin within one bin of the frequency.
    double tonePower(double frequency) const;
    // Bins [first, last] that tonePower(frequency) sums.
    void toneBins(double frequency, std::size_t& first, std::size_t& last) const;

private:
    double binWidth_;
    std::vector<double> amplitude_;
    std::vector<double> power_;
};

// The component at exactly `frequency` (a windowed single-frequency Fourier
// sum), for tones that need not fall on a bin: its magnitude is the peak
// amplitude, its argument the phase at the first sample. Two signals
// measured over the same samples differ in argument by their phase
// difference at that frequency.
std::complex<double> toneComponent(const float* samples, std::size_t count, double frequency, double sampleRate);
double toneAmplitude(const float* samples, std::size_t count, double frequency, double sampleRate);

struct Harmonic {
    int order = 1;           // 1: the fundamental
    double frequency = 0.0;  // Hz
    double amplitude = 0.0;  // peak, full scale 1.0
};

struct HarmonicFigures {
    std::vector<Harmonic> harmonics;  // orders 1.. up to `count` that lie below Nyquist
    double thd = 0.0;                 // sqrt(sum of harmonics 2.. squared) / fundamental
    double thdPlusNoise = 0.0;        // everything in 20 Hz–20 kHz but the fundamental / fundamental
};

// The first `count` harmonics of `fundamental` as they lie in the spectrum.
// Harmonics at or above Nyquist are left out (their aliases count as noise).
HarmonicFigures harmonicFigures(const Spectrum& spectrum, double fundamental, int count);

// Energy that lands off the harmonic series of `fundamental` (aliases of
// harmonics above Nyquist, noise), relative to the fundamental's energy:
// everything from 20 Hz to Nyquist but the main lobes of the harmonics that
// lie below Nyquist.
double offHarmonicRatio(const Spectrum& spectrum, double fundamental);
