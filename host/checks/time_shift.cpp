#include "checks/time_shift.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "checks/output_comparison.h"

namespace {

using Complex = std::complex<double>;

// Channels beyond these add cost and little certainty.
constexpr std::size_t kChannelsCorrelated = 8;
// A moved part must stand out of the correlation of unrelated signals: its
// peak at least this share of the product of the two signals' norms, and
// its dip within this ratio of the peak.
constexpr double kSignificance = 0.05;
constexpr double kBalance = 2.0;
// Correlation peaks of low-pass signals are broad: the exact move is looked
// for this far around the one the peaks suggest.
constexpr long kRefineFrames = 8;
// How far the part rebuilt for a move may be from a part of the expected
// output: its projection onto that output, relative to its own energy (the
// rest of a periodic signal correlates with the part a little).
constexpr double kPartTolerance = 0.5;
// The right move rebuilds a part far smaller than moves a few frames off.
constexpr double kSharpness = 0.5;

// In-place iterative radix-2 transform; `inverse` without the 1/n scale.
void fft(std::vector<Complex>& data, bool inverse) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = 2.0 * M_PI / static_cast<double>(length) * (inverse ? 1.0 : -1.0);
        const Complex step(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < n; start += length) {
            Complex turn(1.0, 0.0);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const Complex a = data[start + k];
                const Complex b = data[start + k + length / 2] * turn;
                data[start + k] = a + b;
                data[start + k + length / 2] = a - b;
                turn *= step;
            }
        }
    }
}

std::vector<Complex> spectrum(const std::vector<float>& samples, std::size_t size, const std::vector<float>* minus) {
    std::vector<Complex> data(size);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        data[i] = static_cast<double>(samples[i]) - (minus != nullptr ? static_cast<double>((*minus)[i]) : 0.0);
    }
    fft(data, false);
    return data;
}

// The cross-correlation summed over channels: entry k holds the sum over t
// of a(t + k) b(t), k negative from the end. `a` is `first` less
// `subtract` when that is given.
std::vector<double> correlation(const AudioBuffer& first, const AudioBuffer* subtract, const AudioBuffer& second) {
    std::size_t size = 1;
    while (size < 2 * first.frameCount()) {
        size <<= 1;
    }
    std::vector<Complex> sum(size);
    const std::size_t channels = std::min<std::size_t>(first.channels.size(), kChannelsCorrelated);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const auto a = spectrum(first.channels[channel], size, subtract ? &subtract->channels[channel] : nullptr);
        const auto b = spectrum(second.channels[channel], size, nullptr);
        for (std::size_t k = 0; k < size; ++k) {
            sum[k] += a[k] * std::conj(b[k]);
        }
    }
    fft(sum, true);
    std::vector<double> result(size);
    std::transform(sum.begin(), sum.end(), result.begin(),
                   [size](const Complex& value) { return value.real() / static_cast<double>(size); });
    return result;
}

double norm(const AudioBuffer& buffer, const AudioBuffer* minus) {
    double sum = 0.0;
    const std::size_t channels = std::min<std::size_t>(buffer.channels.size(), kChannelsCorrelated);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        for (std::size_t i = 0; i < buffer.channels[channel].size(); ++i) {
            const double value = static_cast<double>(buffer.channels[channel][i]) -
                                 (minus != nullptr ? static_cast<double>(minus->channels[channel][i]) : 0.0);
            sum += value * value;
        }
    }
    return std::sqrt(sum);
}

long lagOf(std::size_t index, std::size_t size) {
    return index < size / 2 ? static_cast<long>(index) : static_cast<long>(index) - static_cast<long>(size);
}

// `buffer` moved later by `frames` (earlier when negative), silence filling.
AudioBuffer moved(const AudioBuffer& buffer, long frames) {
    AudioBuffer result(buffer.channelCount(), buffer.frameCount(), buffer.sampleRate);
    const auto count = static_cast<long>(buffer.frameCount());
    for (std::size_t channel = 0; channel < buffer.channels.size(); ++channel) {
        for (long i = std::max(0L, frames); i < std::min(count, count + frames); ++i) {
            result.channels[channel][static_cast<std::size_t>(i)] =
                buffer.channels[channel][static_cast<std::size_t>(i - frames)];
        }
    }
    return result;
}

// Both outputs with the frames at either end that a move of `frames` leaves
// without a counterpart cut off.
AudioBuffer overlap(const AudioBuffer& buffer, long frames) {
    const std::size_t cut = static_cast<std::size_t>(std::labs(frames));
    AudioBuffer result(buffer.channelCount(), buffer.frameCount() - cut, buffer.sampleRate);
    const std::size_t first = frames > 0 ? cut : 0;
    for (std::size_t channel = 0; channel < buffer.channels.size(); ++channel) {
        std::copy_n(buffer.channels[channel].begin() + static_cast<std::ptrdiff_t>(first), result.frameCount(),
                    result.channels[channel].begin());
    }
    return result;
}

// If `actual` is `expected` with a part e moved by `frames`, their
// difference is d(t) = e(t - frames) - e(t), and with silence before the
// signal e follows from d alone: e(t) = e(t - frames) - d(t) for a delay,
// e(t) = d(t - n) + e(t - n) for an advance by n. The move is real when the
// e so rebuilt is a part of `expected`: its projection onto `expected`
// equals its own energy (the rest of `expected` is unrelated to it). Any
// other difference rebuilds into something that grows without bound or
// bears no relation to the output.
struct RebuiltPart {
    double energy = 0.0;
    // How far the projection is from the energy, relatively; infinity when
    // the part cannot be one (silent, or larger than the whole).
    double mismatch = std::numeric_limits<double>::infinity();
};

RebuiltPart rebuildPart(const AudioBuffer& expected, const AudioBuffer& actual, long frames) {
    double energy = 0.0;
    double projection = 0.0;
    double whole = 0.0;
    const std::size_t channels = std::min<std::size_t>(expected.channels.size(), kChannelsCorrelated);
    const std::size_t count = expected.frameCount();
    const auto step = static_cast<std::size_t>(std::labs(frames));
    std::vector<double> part(count);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const auto& want = expected.channels[channel];
        const auto& got = actual.channels[channel];
        for (std::size_t t = 0; t < count; ++t) {
            const double earlier = t >= step ? part[t - step] : 0.0;
            if (frames > 0) {
                part[t] = earlier - (static_cast<double>(got[t]) - static_cast<double>(want[t]));
            } else {
                part[t] = t >= step ? static_cast<double>(got[t - step]) - static_cast<double>(want[t - step]) + earlier
                                    : 0.0;
            }
            energy += part[t] * part[t];
            projection += part[t] * static_cast<double>(want[t]);
            whole += static_cast<double>(want[t]) * static_cast<double>(want[t]);
        }
    }
    RebuiltPart rebuilt;
    rebuilt.energy = energy;
    if (energy > 0.0 && energy <= whole) {
        rebuilt.mismatch = std::fabs(projection / energy - 1.0);
    }
    return rebuilt;
}

}  // namespace

TimeShift findTimeShift(const AudioBuffer& expected, const AudioBuffer& actual, std::size_t maxFrames,
                        double toleranceDb) {
    TimeShift shift;
    if (expected.frameCount() != actual.frameCount() || expected.channelCount() != actual.channelCount() ||
        expected.frameCount() < 2) {
        return shift;
    }
    const auto limit = static_cast<long>(std::min(maxFrames, expected.frameCount() / 2));
    auto within = [limit](long lag) { return lag != 0 && std::labs(lag) <= limit; };

    const std::vector<double> whole = correlation(actual, nullptr, expected);
    long best = 0;
    double bestValue = 0.0;
    for (std::size_t k = 0; k < whole.size(); ++k) {
        const long lag = lagOf(k, whole.size());
        if (within(lag) && whole[k] > bestValue) {
            bestValue = whole[k];
            best = lag;
        }
    }
    if (best != 0) {
        const OutputComparison residual =
            compareOutputs(overlap(moved(expected, best), best), overlap(actual, best), toleranceDb);
        if (residual.agree && !residual.silent) {
            shift.found = shift.whole = true;
            shift.frames = best;
            return shift;
        }
    }

    const std::vector<double> part = correlation(actual, &expected, expected);
    long peak = 0;
    long dip = 0;
    double highest = 0.0;
    double lowest = 0.0;
    for (std::size_t k = 0; k < part.size(); ++k) {
        const long lag = lagOf(k, part.size());
        if (std::labs(lag) > limit) {
            continue;
        }
        if (part[k] > highest) {
            highest = part[k];
            peak = lag;
        }
        if (part[k] < lowest) {
            lowest = part[k];
            dip = lag;
        }
    }
    const double scale = norm(actual, &expected) * norm(expected, nullptr);
    const bool balanced =
        highest > 0.0 && -lowest > 0.0 && highest / -lowest < kBalance && -lowest / highest < kBalance;
    if (scale <= 0.0 || !balanced || highest / scale <= kSignificance || peak == dip) {
        return shift;
    }
    // The right move rebuilds the part exactly; a move a few frames off
    // leaves a difference that piles up, so the smallest part wins, and it
    // must be much smaller than the parts of the moves at the window's ends.
    std::vector<RebuiltPart> parts;
    std::vector<long> moves;
    for (long frames = peak - dip - kRefineFrames; frames <= peak - dip + kRefineFrames; ++frames) {
        if (frames != 0 && std::labs(frames) <= limit) {
            parts.push_back(rebuildPart(expected, actual, frames));
            moves.push_back(frames);
        }
    }
    if (parts.size() < 3) {
        return shift;
    }
    const auto smallest = std::min_element(
        parts.begin(), parts.end(), [](const RebuiltPart& a, const RebuiltPart& b) { return a.energy < b.energy; });
    const double edges = std::min(parts.front().energy, parts.back().energy);
    if (smallest->mismatch < kPartTolerance && smallest->energy < kSharpness * edges) {
        shift.found = true;
        shift.frames = moves[static_cast<std::size_t>(smallest - parts.begin())];
    }
    return shift;
}
