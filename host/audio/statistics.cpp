#include "audio/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr float kSmallestNormal = std::numeric_limits<float>::min();
constexpr float kLargestFinite = std::numeric_limits<float>::max();
// Squares of larger magnitudes could overflow the float lanes.
constexpr float kLargestSquaredInLanes = 1e15f;
constexpr std::size_t kChunk = 1024;

// The census of a chunk, taken four samples at a time where the processor
// has the instructions. A chunk with NaN, infinity, subnormal or huge
// samples is counted again on the exact path, so the fast one need not get
// those right.
struct ChunkCensus {
    float largest = 0.0f;
    std::size_t over = 0;
    std::size_t subnormal = 0;
    std::size_t nonFinite = 0;
    double sumOfSquares = 0.0;
};

void censusOfRest(const float* data, std::size_t count, ChunkCensus& result) {
    for (std::size_t i = 0; i < count; ++i) {
        const float magnitude = std::fabs(data[i]);
        result.largest = magnitude > result.largest ? magnitude : result.largest;
        result.over += magnitude > 1.0f ? 1 : 0;
        result.subnormal += (magnitude < kSmallestNormal) & (magnitude != 0.0f) ? 1 : 0;
        result.nonFinite += magnitude <= kLargestFinite ? 0 : 1;
        result.sumOfSquares += static_cast<double>(magnitude) * static_cast<double>(magnitude);
    }
}

#if defined(__SSE2__)
// Four samples at a time, twice over to keep two additions in flight.
ChunkCensus census(const float* data, std::size_t count) {
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 smallestNormal = _mm_set1_ps(kSmallestNormal);
    const __m128 largestFinite = _mm_set1_ps(kLargestFinite);
    const __m128 zero = _mm_setzero_ps();
    __m128 largest = zero;
    __m128 squares[2] = {zero, zero};
    __m128i over = _mm_setzero_si128();
    __m128i subnormal = _mm_setzero_si128();
    __m128i nonFinite = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int half = 0; half < 2; ++half) {
            const __m128 magnitude = _mm_and_ps(_mm_loadu_ps(data + i + 4 * half), magnitudeMask);
            largest = _mm_max_ps(largest, magnitude);
            squares[half] = _mm_add_ps(squares[half], _mm_mul_ps(magnitude, magnitude));
            // Comparison masks are -1 where true: subtracting them counts.
            over = _mm_sub_epi32(over, _mm_castps_si128(_mm_cmpgt_ps(magnitude, one)));
            subnormal = _mm_sub_epi32(subnormal, _mm_castps_si128(_mm_and_ps(_mm_cmplt_ps(magnitude, smallestNormal),
                                                                             _mm_cmpneq_ps(magnitude, zero))));
            nonFinite = _mm_sub_epi32(nonFinite, _mm_castps_si128(_mm_cmpnle_ps(magnitude, largestFinite)));
        }
    }
    float lanes[4];
    std::int32_t counts[3][4];
    ChunkCensus result;
    _mm_storeu_ps(lanes, largest);
    result.largest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    _mm_storeu_ps(lanes, _mm_add_ps(squares[0], squares[1]));
    result.sumOfSquares = static_cast<double>(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(counts[0]), over);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(counts[1]), subnormal);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(counts[2]), nonFinite);
    for (int lane = 0; lane < 4; ++lane) {
        result.over += static_cast<std::size_t>(counts[0][lane]);
        result.subnormal += static_cast<std::size_t>(counts[1][lane]);
        result.nonFinite += static_cast<std::size_t>(counts[2][lane]);
    }
    censusOfRest(data + i, count - i, result);
    return result;
}
#else
ChunkCensus census(const float* data, std::size_t count) {
    ChunkCensus result;
    censusOfRest(data, count, result);
    return result;
}
#endif

}  // namespace

void SignalStats::add(const float* data, std::size_t count, std::size_t firstFrame, int channel) {
    for (std::size_t start = 0; start < count; start += kChunk) {
        const std::size_t length = std::min(kChunk, count - start);
        const ChunkCensus chunk = census(data + start, length);
        // Subnormal squares vanish in float lanes: such chunks, and broken
        // or huge ones, take the exact path.
        if (chunk.nonFinite == 0 && chunk.subnormal == 0 && chunk.largest <= kLargestSquaredInLanes) {
            const float largest = chunk.largest;
            finitePeak = std::max(finitePeak, static_cast<double>(largest));
            if (!std::isnan(peak)) {
                peak = std::max(peak, static_cast<double>(largest));
            }
            overFullScale += chunk.over;
            sumOfSquares += chunk.sumOfSquares;
            samples += length;
        } else {
            addOneByOne(data + start, length, firstFrame + start, channel);
        }
    }
}

void SignalStats::addOneByOne(const float* data, std::size_t count, std::size_t firstFrame, int channel) {
    for (std::size_t i = 0; i < count; ++i) {
        const float value = data[i];
        switch (std::fpclassify(value)) {
            case FP_NAN:
                ++nans;
                peak = std::numeric_limits<double>::quiet_NaN();
                break;
            case FP_INFINITE:
                ++infinities;
                if (!std::isnan(peak)) {
                    peak = std::numeric_limits<double>::infinity();
                }
                break;
            case FP_SUBNORMAL:
                ++subnormals;
                break;
            default:
                break;
        }
        if (!std::isfinite(value)) {
            if (!firstNonFinite) {
                firstNonFinite = SamplePosition{firstFrame + i, channel};
            }
            continue;
        }
        const double magnitude = std::fabs(static_cast<double>(value));
        if (magnitude > finitePeak) {
            finitePeak = magnitude;
        }
        if (magnitude > peak) {
            peak = magnitude;
        }
        overFullScale += magnitude > 1.0 ? 1 : 0;
        sumOfSquares += magnitude * magnitude;
        ++samples;
    }
}

void SignalStats::add(const AudioBuffer& buffer) {
    for (std::size_t channel = 0; channel < buffer.channels.size(); ++channel) {
        add(buffer.channels[channel].data(), buffer.channels[channel].size(), 0, static_cast<int>(channel));
    }
}

double SignalStats::rms() const {
    if (nans > 0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (infinities > 0) {
        return std::numeric_limits<double>::infinity();
    }
    return samples == 0 ? 0.0 : std::sqrt(sumOfSquares / static_cast<double>(samples));
}

std::string SignalStats::describeBadValues() const {
    std::string text;
    auto append = [&text](std::size_t count, const char* what) {
        if (count == 0) {
            return;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(count) + " " + what;
    };
    append(nans, "NaN");
    append(infinities, "infinite");
    append(subnormals, "subnormal");
    return text.empty() ? "none" : text;
}

double toDecibels(double linear) {
    if (linear <= 0.0) {
        return -std::numeric_limits<double>::infinity();
    }
    return 20.0 * std::log10(linear);
}

std::string formatDecibels(double linear) {
    if (std::isnan(linear)) {
        return "NaN";
    }
    const double decibels = toDecibels(linear);
    if (std::isinf(decibels)) {
        return decibels > 0 ? "+inf dB" : "-inf dB";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dB", decibels);
    return text;
}
