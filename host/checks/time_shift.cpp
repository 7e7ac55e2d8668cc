#include "checks/time_shift.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <map>
#include <vector>

#include "checks/output_comparison.h"

namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

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
constexpr double kSharpness = 0.75;
// Moves show where outputs start to differ: the search looks at this many
// frames from a little before there, which bounds its cost.
constexpr std::size_t kWindowFrames = 32768;
constexpr std::size_t kLeadFrames = 1024;
// Peaks and dips of the correlation tried as the new and old places of a
// moved part, and how far apart they must lie.
constexpr std::size_t kExtremes = 6;
constexpr long kSeparation = 32;

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
        const double angle = 2.0 * kPi / static_cast<double>(length) * (inverse ? 1.0 : -1.0);
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

std::vector<Complex> spectrum(const std::vector<float>& samples, std::size_t size) {
    std::vector<Complex> data(size);
    std::copy(samples.begin(), samples.end(), data.begin());
    fft(data, false);
    return data;
}

std::vector<double> realPart(std::vector<Complex> data) {
    fft(data, true);
    std::vector<double> result(data.size());
    std::transform(data.begin(), data.end(), result.begin(),
                   [&data](const Complex& value) { return value.real() / static_cast<double>(data.size()); });
    return result;
}

// Two cross-correlations summed over channels, from one transform of each
// output: entry k holds the sum over t of a(t + k) e(t), k negative from the
// end, where a is `actual` for `whole` and the difference `actual` less
// `expected` for `difference`.
struct Correlations {
    std::vector<double> whole;
    std::vector<double> difference;
};

Correlations correlations(const AudioBuffer& expected, const AudioBuffer& actual) {
    std::size_t size = 1;
    while (size < 2 * expected.frameCount()) {
        size <<= 1;
    }
    std::vector<Complex> whole(size);
    std::vector<Complex> difference(size);
    const std::size_t channels = std::min<std::size_t>(expected.channels.size(), kChannelsCorrelated);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const auto a = spectrum(actual.channels[channel], size);
        const auto e = spectrum(expected.channels[channel], size);
        for (std::size_t k = 0; k < size; ++k) {
            const Complex product = a[k] * std::conj(e[k]);
            whole[k] += product;
            difference[k] += product - std::norm(e[k]);
        }
    }
    return {realPart(std::move(whole)), realPart(std::move(difference))};
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

// The frames from `first` (inclusive) to `last` (exclusive).
AudioBuffer window(const AudioBuffer& buffer, std::size_t first, std::size_t last) {
    AudioBuffer result(buffer.channelCount(), last - first, buffer.sampleRate);
    for (std::size_t channel = 0; channel < buffer.channels.size(); ++channel) {
        std::copy(buffer.channels[channel].begin() + static_cast<std::ptrdiff_t>(first),
                  buffer.channels[channel].begin() + static_cast<std::ptrdiff_t>(last),
                  result.channels[channel].begin());
    }
    return result;
}

// An output with the frames at either end that a move of `frames` leaves
// without a counterpart cut off.
AudioBuffer overlap(const AudioBuffer& buffer, long frames) {
    const auto cut = static_cast<std::size_t>(std::labs(frames));
    return frames > 0 ? window(buffer, cut, buffer.frameCount()) : window(buffer, 0, buffer.frameCount() - cut);
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

// A local extreme of a correlation: its lag and value.
struct Extreme {
    long lag = 0;
    double value = 0.0;
};

// The few highest peaks (`sign` 1) or deepest dips (`sign` -1) within
// `limit` frames either way, each at least kSeparation frames from a higher
// one.
std::vector<Extreme> extremes(const std::vector<double>& correlation, long limit, double sign) {
    std::vector<Extreme> all;
    for (std::size_t k = 0; k < correlation.size(); ++k) {
        const long lag = lagOf(k, correlation.size());
        if (std::labs(lag) <= limit && sign * correlation[k] > 0.0) {
            all.push_back({lag, correlation[k]});
        }
    }
    std::sort(all.begin(), all.end(),
              [sign](const Extreme& a, const Extreme& b) { return sign * a.value > sign * b.value; });
    std::vector<Extreme> chosen;
    for (const Extreme& candidate : all) {
        if (chosen.size() == kExtremes) {
            break;
        }
        const bool apart = std::all_of(chosen.begin(), chosen.end(), [&candidate](const Extreme& other) {
            return std::labs(other.lag - candidate.lag) > kSeparation;
        });
        if (apart) {
            chosen.push_back(candidate);
        }
    }
    return chosen;
}

// The right move rebuilds the part exactly; a move a few frames off leaves
// a difference that piles up, so around the `suggested` move the smallest
// part wins, and it must be much smaller than the parts of the moves at the
// window's ends and be a part of `expected`. Returns the move, or 0 when
// there is none. `rebuilt` keeps the parts rebuilt so far, as suggestions
// overlap.
long sharpestMove(const AudioBuffer& expected, const AudioBuffer& actual, long suggested, long limit,
                  std::map<long, RebuiltPart>& rebuilt) {
    std::vector<RebuiltPart> parts;
    std::vector<long> moves;
    for (long move = suggested - kRefineFrames; move <= suggested + kRefineFrames; ++move) {
        if (move == 0 || std::labs(move) > limit) {
            continue;
        }
        auto known = rebuilt.find(move);
        if (known == rebuilt.end()) {
            known = rebuilt.emplace(move, rebuildPart(expected, actual, move)).first;
        }
        parts.push_back(known->second);
        moves.push_back(move);
    }
    if (parts.size() < 3) {
        return 0;
    }
    const auto smallest = std::min_element(
        parts.begin(), parts.end(), [](const RebuiltPart& a, const RebuiltPart& b) { return a.energy < b.energy; });
    const double edges = std::min(parts.front().energy, parts.back().energy);
    const bool sharp = smallest->mismatch < kPartTolerance && smallest->energy < kSharpness * edges;
    return sharp ? moves[static_cast<std::size_t>(smallest - parts.begin())] : 0;
}

// The first frame at which any channel differs.
std::size_t firstDifference(const AudioBuffer& expected, const AudioBuffer& actual) {
    std::size_t first = expected.frameCount();
    for (std::size_t channel = 0; channel < expected.channels.size(); ++channel) {
        const auto& want = expected.channels[channel];
        const auto& got = actual.channels[channel];
        for (std::size_t i = 0; i < std::min(first, want.size()); ++i) {
            if (want[i] != got[i]) {
                first = i;
                break;
            }
        }
    }
    return first;
}

// The search itself, over the whole of both outputs.
TimeShift findShift(const AudioBuffer& expected, const AudioBuffer& actual, std::size_t maxFrames, double toleranceDb) {
    TimeShift shift;
    if (expected.frameCount() != actual.frameCount() || expected.channelCount() != actual.channelCount() ||
        expected.frameCount() < 2) {
        return shift;
    }
    const auto limit = static_cast<long>(std::min(maxFrames, expected.frameCount() / 2));
    auto within = [limit](long lag) { return lag != 0 && std::labs(lag) <= limit; };

    const Correlations correlated = correlations(expected, actual);
    const std::vector<double>& whole = correlated.whole;
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

    // The part's new place shows as one of the highest peaks of the
    // difference's correlation with `expected`, its old place as one of the
    // deepest dips (other parts of the output that changed a little add
    // their own); each pairing is tried.
    const std::vector<double>& part = correlated.difference;
    const std::vector<Extreme> peaks = extremes(part, limit, 1.0);
    const std::vector<Extreme> dips = extremes(part, limit, -1.0);
    const double scale = norm(actual, &expected) * norm(expected, nullptr);
    if (peaks.empty() || dips.empty() || scale <= 0.0 || peaks.front().value / scale <= kSignificance) {
        return shift;
    }
    // The strongest pairings first; the first that rebuilds a part wins.
    struct Pairing {
        long move;
        double strength;
    };
    std::vector<Pairing> pairings;
    for (const Extreme& peak : peaks) {
        for (const Extreme& dip : dips) {
            if (peak.value / -dip.value < kBalance && -dip.value / peak.value < kBalance) {
                pairings.push_back({peak.lag - dip.lag, peak.value - dip.value});
            }
        }
    }
    std::stable_sort(pairings.begin(), pairings.end(),
                     [](const Pairing& a, const Pairing& b) { return a.strength > b.strength; });
    std::map<long, RebuiltPart> rebuilt;
    for (const Pairing& pairing : pairings) {
        const long frames = sharpestMove(expected, actual, pairing.move, limit, rebuilt);
        if (frames != 0) {
            shift.found = true;
            shift.frames = frames;
            break;
        }
    }
    return shift;
}

}  // namespace

TimeShift findTimeShift(const AudioBuffer& expected, const AudioBuffer& actual, std::size_t maxFrames,
                        double toleranceDb) {
    if (expected.frameCount() != actual.frameCount() || expected.channelCount() != actual.channelCount()) {
        return {};
    }
    const std::size_t start = firstDifference(expected, actual);
    const std::size_t from = start > kLeadFrames ? start - kLeadFrames : 0;
    const std::size_t to = std::min(expected.frameCount(), from + kWindowFrames);
    if (from == 0 && to == expected.frameCount()) {
        return findShift(expected, actual, maxFrames, toleranceDb);
    }
    return findShift(window(expected, from, to), window(actual, from, to), maxFrames, toleranceDb);
}
