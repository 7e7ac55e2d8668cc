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
// samples is counted again on the exact path, so the fast one only has to
// notice them; samples beyond full scale are counted only in a chunk whose
// largest sample is beyond it.
struct ChunkCensus {
    float largest = 0.0f;
    bool unusual = false;  // NaN, infinity, subnormal or beyond kLargestSquaredInLanes
    double sumOfSquares = 0.0;
};

bool isUnusual(float magnitude) {
    return !(magnitude <= kLargestSquaredInLanes) || (magnitude < kSmallestNormal && magnitude != 0.0f);
}

void censusOfRest(const float* data, std::size_t count, ChunkCensus& result) {
    for (std::size_t i = 0; i < count; ++i) {
        const float magnitude = std::fabs(data[i]);
        result.largest = magnitude > result.largest ? magnitude : result.largest;
        result.unusual = result.unusual || isUnusual(magnitude);
        result.sumOfSquares += static_cast<double>(magnitude) * static_cast<double>(magnitude);
    }
}

std::size_t countOverFullScale(const float* data, std::size_t count) {
    std::size_t over = 0;
    for (std::size_t i = 0; i < count; ++i) {
        over += std::fabs(data[i]) > 1.0f ? 1 : 0;
    }
    return over;
}

#if defined(__SSE2__)
// Four samples at a time, twice over to keep two additions in flight. The
// tests for unusual values work on the magnitudes' bits as integers: above
// the bits of kLargestSquaredInLanes lie the huge values, infinity and NaN;
// a subnormal's bits are 1 to 0x7FFFFF, which adding 0x7FFFFFFF turns into
// the only sums below 0x807FFFFF as signed numbers.
ChunkCensus census(const float* data, std::size_t count) {
    const __m128i magnitudeMask = _mm_set1_epi32(0x7FFFFFFF);
    const __m128i hugeBits = _mm_set1_epi32(0x58635FA9);  // the bits of 1e15f
    const __m128i subnormalShift = _mm_set1_epi32(0x7FFFFFFF);
    const __m128i subnormalLimit = _mm_set1_epi32(static_cast<std::int32_t>(0x807FFFFFu));
    const __m128 zero = _mm_setzero_ps();
    __m128 largest = zero;
    __m128 squares[2] = {zero, zero};
    __m128i unusual = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        for (int half = 0; half < 2; ++half) {
            const __m128i bits =
                _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 4 * half)), magnitudeMask);
            const __m128 magnitude = _mm_castsi128_ps(bits);
            largest = _mm_max_ps(largest, magnitude);
            squares[half] = _mm_add_ps(squares[half], _mm_mul_ps(magnitude, magnitude));
            unusual = _mm_or_si128(unusual,
                                   _mm_or_si128(_mm_cmpgt_epi32(bits, hugeBits),
                                                _mm_cmplt_epi32(_mm_add_epi32(bits, subnormalShift), subnormalLimit)));
        }
    }
    float lanes[4];
    ChunkCensus result;
    _mm_storeu_ps(lanes, largest);
    result.largest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
    _mm_storeu_ps(lanes, _mm_add_ps(squares[0], squares[1]));
    result.sumOfSquares = static_cast<double>(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    result.unusual = _mm_movemask_epi8(unusual) != 0;
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
        if (!chunk.unusual) {
            const float largest = chunk.largest;
            finitePeak = std::max(finitePeak, static_cast<double>(largest));
            if (!std::isnan(peak)) {
                peak = std::max(peak, static_cast<double>(largest));
            }
            overFullScale += largest > 1.0f ? countOverFullScale(data + start, length) : 0;
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
        return decibels > 0 ? "+inf dBFS" : "-inf dBFS";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", decibels);
    return text;
}
