#include "analysis/gain_envelope.h"

#include <cmath>

namespace {
constexpr double kSilenceDb = -400.0;
}  // namespace

std::vector<double> gainEnvelope(const float* input, const float* output, std::size_t count, std::size_t period) {
    std::vector<double> gain(count, kSilenceDb);
    double in = 0.0, out = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        in += static_cast<double>(input[n]) * input[n];
        out += static_cast<double>(output[n]) * output[n];
        if (n >= period) {
            in -= static_cast<double>(input[n - period]) * input[n - period];
            out -= static_cast<double>(output[n - period]) * output[n - period];
        }
        // Running sums lose the last digits; a window of exact silence is
        // recognised by its size.
        if (in > 1e-20 && out > 1e-40) {
            gain[n] = 10.0 * std::log10(out / in);
        } else if (in > 1e-20) {
            gain[n] = kSilenceDb;
        }
    }
    return gain;
}

std::optional<std::size_t> settlesAt(const std::vector<double>& gain, std::size_t begin, std::size_t end, double from,
                                     double to, double fraction) {
    const double allowed = fraction * std::fabs(to - from);
    std::optional<std::size_t> settled;
    for (std::size_t n = begin; n < end && n < gain.size(); ++n) {
        if (std::fabs(gain[n] - to) <= allowed) {
            if (!settled) {
                settled = n;
            }
        } else {
            settled.reset();
        }
    }
    return settled;
}

double meanGain(const std::vector<double>& gain, std::size_t first, std::size_t last) {
    double sum = 0.0;
    for (std::size_t n = first; n < last; ++n) {
        sum += gain[n];
    }
    return last > first ? sum / static_cast<double>(last - first) : 0.0;
}
