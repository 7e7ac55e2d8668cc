#include "analysis/spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAudibleLow = 20.0;
constexpr double kAudibleHigh = 20000.0;

struct FftwFree {
    void operator()(void* pointer) const { fftw_free(pointer); }
};
struct PlanDestroy {
    void operator()(fftw_plan_s* plan) const { fftw_destroy_plan(plan); }
};

std::size_t nearestBin(double frequency, double binWidth, std::size_t bins) {
    const double bin = std::round(frequency / binWidth);
    return bin <= 0.0 ? 0 : std::min(static_cast<std::size_t>(bin), bins - 1);
}

}  // namespace

std::vector<double> blackmanHarris(std::size_t length) {
    constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168;
    std::vector<double> window(length);
    for (std::size_t n = 0; n < length; ++n) {
        // Periodic form: the spectrum's bins see exactly the window's own lobes.
        const double phase = 2.0 * kPi * static_cast<double>(n) / static_cast<double>(length);
        window[n] = a0 - a1 * std::cos(phase) + a2 * std::cos(2.0 * phase) - a3 * std::cos(3.0 * phase);
    }
    return window;
}

Spectrum::Spectrum(const float* samples, std::size_t count, double sampleRate)
    : binWidth_(sampleRate / static_cast<double>(count)) {
    if (count < 2) {
        throw std::invalid_argument("a spectrum needs at least two samples");
    }
    const std::vector<double> window = blackmanHarris(count);
    double windowSum = 0.0, windowSquares = 0.0;
    for (double w : window) {
        windowSum += w;
        windowSquares += w * w;
    }

    const std::size_t bins = count / 2 + 1;
    std::unique_ptr<double, FftwFree> in(static_cast<double*>(fftw_malloc(sizeof(double) * count)));
    std::unique_ptr<fftw_complex, FftwFree> out(static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins)));
    if (!in || !out) {
        throw std::bad_alloc();
    }
    // FFTW's planner keeps global state and is not thread-safe; plughost
    // plans on one thread only.
    std::unique_ptr<fftw_plan_s, PlanDestroy> plan(
        fftw_plan_dft_r2c_1d(static_cast<int>(count), in.get(), out.get(), FFTW_ESTIMATE));
    for (std::size_t n = 0; n < count; ++n) {
        in.get()[n] = window[n] * static_cast<double>(samples[n]);
    }
    fftw_execute(plan.get());

    amplitude_.resize(bins);
    power_.resize(bins);
    const double n = static_cast<double>(count);
    for (std::size_t k = 0; k < bins; ++k) {
        const double re = out.get()[k][0], im = out.get()[k][1];
        const double squared = re * re + im * im;
        // One-sided: every bin but DC and Nyquist stands for two.
        const bool edge = k == 0 || (count % 2 == 0 && k == bins - 1);
        amplitude_[k] = (edge ? 1.0 : 2.0) * std::sqrt(squared) / windowSum;
        power_[k] = (edge ? 1.0 : 2.0) * squared / (n * windowSquares);
    }
}

void Spectrum::toneBins(double frequency, std::size_t& first, std::size_t& last) const {
    const std::size_t bins = binCount();
    std::size_t centre = nearestBin(frequency, binWidth_, bins);
    // The tone's peak may lie one bin off when it sits between two bins.
    const std::size_t lower = centre > 0 ? centre - 1 : 0;
    const std::size_t upper = std::min(centre + 1, bins - 1);
    for (std::size_t k = lower; k <= upper; ++k) {
        if (power_[k] > power_[centre]) {
            centre = k;
        }
    }
    first = centre >= static_cast<std::size_t>(kMainLobeBins) ? centre - kMainLobeBins : 0;
    last = std::min(centre + kMainLobeBins, bins - 1);
}

double Spectrum::tonePower(double frequency) const {
    std::size_t first = 0, last = 0;
    toneBins(frequency, first, last);
    double sum = 0.0;
    for (std::size_t k = first; k <= last; ++k) {
        sum += power_[k];
    }
    return sum;
}

std::complex<double> toneComponent(const float* samples, std::size_t count, double frequency, double sampleRate) {
    // The window's cosines and the tone's phasor turn by a fixed angle each
    // sample: multiplied on, and set afresh from the angle every
    // kExactEvery samples so that rounding cannot drift.
    constexpr double a0 = 0.35875, a1 = 0.48829, a2 = 0.14128, a3 = 0.01168;
    constexpr std::size_t kExactEvery = 1024;
    const double windowStep = 2.0 * kPi / static_cast<double>(count);
    const double toneStep = 2.0 * kPi * frequency / sampleRate;
    const std::complex<double> windowTurn = std::polar(1.0, windowStep), toneTurn = std::polar(1.0, -toneStep);
    std::complex<double> sum = 0.0, window = 1.0, tone = 1.0;
    double windowSum = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        if (n % kExactEvery == 0) {
            window = std::polar(1.0, windowStep * static_cast<double>(n));
            tone = std::polar(1.0, -toneStep * static_cast<double>(n));
        }
        const std::complex<double> twice = window * window;
        const double weight = a0 - a1 * window.real() + a2 * twice.real() - a3 * (twice * window).real();
        sum += weight * static_cast<double>(samples[n]) * tone;
        windowSum += weight;
        window *= windowTurn;
        tone *= toneTurn;
    }
    return sum * (2.0 / windowSum);
}

double toneAmplitude(const float* samples, std::size_t count, double frequency, double sampleRate) {
    return std::abs(toneComponent(samples, count, frequency, sampleRate));
}

HarmonicFigures harmonicFigures(const Spectrum& spectrum, double fundamental, int count) {
    HarmonicFigures figures;
    const double nyquist = spectrum.frequencyOf(spectrum.binCount() - 1);
    double harmonicPower = 0.0;
    for (int order = 1; order <= count; ++order) {
        const double frequency = fundamental * order;
        if (frequency + kMainLobeBins * spectrum.binWidth() >= nyquist) {
            break;
        }
        const double power = spectrum.tonePower(frequency);
        figures.harmonics.push_back({order, frequency, std::sqrt(2.0 * power)});
        if (order > 1) {
            harmonicPower += power;
        }
    }
    const double fundamentalPower = figures.harmonics.empty() ? 0.0 : spectrum.tonePower(fundamental);
    if (fundamentalPower <= 0.0) {
        return figures;
    }
    // Summed apart from the fundamental rather than subtracted from the
    // whole, which would lose residues below double precision.
    std::size_t first = 0, last = 0;
    spectrum.toneBins(fundamental, first, last);
    const double high = std::min(kAudibleHigh, nyquist);
    double rest = 0.0;
    for (std::size_t k = 0; k < spectrum.binCount(); ++k) {
        const double f = spectrum.frequencyOf(k);
        if ((k < first || k > last) && f >= kAudibleLow && f <= high) {
            rest += spectrum.power(k);
        }
    }
    figures.thd = std::sqrt(harmonicPower / fundamentalPower);
    figures.thdPlusNoise = std::sqrt(rest / fundamentalPower);
    return figures;
}

double offHarmonicRatio(const Spectrum& spectrum, double fundamental) {
    const std::size_t bins = spectrum.binCount();
    std::vector<bool> onSeries(bins, false);
    const double nyquist = spectrum.frequencyOf(bins - 1);
    for (int order = 1; fundamental * order < nyquist; ++order) {
        std::size_t first = 0, last = 0;
        spectrum.toneBins(fundamental * order, first, last);
        std::fill(onSeries.begin() + static_cast<std::ptrdiff_t>(first),
                  onSeries.begin() + static_cast<std::ptrdiff_t>(last) + 1, true);
    }
    double off = 0.0;
    for (std::size_t k = 0; k < bins; ++k) {
        if (!onSeries[k] && spectrum.frequencyOf(k) >= kAudibleLow) {
            off += spectrum.power(k);
        }
    }
    const double fundamentalPower = spectrum.tonePower(fundamental);
    return fundamentalPower > 0.0 ? off / fundamentalPower : 0.0;
}
