#include "audio/sample_layout.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// 2^-31: a sample in the top bits of a 32-bit integer to its float value.
constexpr float kTopBitsScale = 1.0f / 2147483648.0f;

// Integer samples are placed in the top bits of 32-bit integers and
// turned into floats: v / 2^15 and v / 2^23, exact.
template <std::size_t kBytes>
std::int32_t inTopBits(const unsigned char* sample) {
    if constexpr (kBytes == 2) {
        std::uint16_t half;
        std::memcpy(&half, sample, sizeof half);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(half) << 16);
    } else {
        // Four bytes loaded, the fourth (the next sample's) shifted out.
        std::uint32_t word;
        std::memcpy(&word, sample, sizeof word);
        return static_cast<std::int32_t>(word << 8);
    }
}

template <std::size_t kBytes>
float decoded(const unsigned char* sample) {
    return static_cast<float>(inTopBits<kBytes>(sample)) * kTopBitsScale;
}

// One pass over the frames: stereo, the common case, both channels at
// once; other counts channel by channel.
template <std::size_t kBytes>
void splitIntegers(const unsigned char* frames, std::size_t count, std::size_t channelCount, float* const* channels,
                   std::size_t offset) {
    const std::size_t frameBytes = kBytes * channelCount;
    if (channelCount == 2) {
        float* left = channels[0] + offset;
        float* right = channels[1] + offset;
        for (std::size_t frame = 0; frame < count; ++frame) {
            left[frame] = decoded<kBytes>(frames + frame * frameBytes);
            right[frame] = decoded<kBytes>(frames + frame * frameBytes + kBytes);
        }
        return;
    }
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        float* target = channels[channel] + offset;
        const unsigned char* source = frames + channel * kBytes;
        for (std::size_t frame = 0; frame < count; ++frame) {
            target[frame] = decoded<kBytes>(source + frame * frameBytes);
        }
    }
}

}  // namespace

std::size_t storedSampleBytes(StoredSamples coding) {
    return coding == StoredSamples::Pcm16 ? 2 : coding == StoredSamples::Pcm24 ? 3 : 4;
}

void splitStored(StoredSamples coding, const unsigned char* frames, std::size_t count, std::size_t channelCount,
                 float* const* channels, std::size_t offset) {
    if (coding == StoredSamples::Pcm16) {
        splitIntegers<2>(frames, count, channelCount, channels, offset);
    } else if (coding == StoredSamples::Pcm24) {
        splitIntegers<3>(frames, count, channelCount, channels, offset);
    } else {
        split(reinterpret_cast<const float*>(frames), count, channelCount, channels, offset);
    }
}

void packStored(StoredSamples coding, const std::int32_t* integers, std::size_t count, unsigned char* bytes) {
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (coding == StoredSamples::Pcm16) {
        for (; i < count; ++i) {
            const auto half = static_cast<std::uint16_t>(static_cast<std::uint32_t>(integers[i]) >> 16);
            std::memcpy(bytes + 2 * i, &half, sizeof half);
        }
        return;
    }
    if (coding == StoredSamples::Pcm24) {
        // Four samples make three little-endian words: the bytes 1 to 3 of
        // each (the sample), one after the other.
        for (; i + 4 <= count; i += 4) {
            const std::uint32_t a = static_cast<std::uint32_t>(integers[i]) >> 8;
            const std::uint32_t b = static_cast<std::uint32_t>(integers[i + 1]) >> 8;
            const std::uint32_t c = static_cast<std::uint32_t>(integers[i + 2]) >> 8;
            const std::uint32_t d = static_cast<std::uint32_t>(integers[i + 3]) >> 8;
            // Each word stored on its own: gathered on the stack first, they
            // would be read back wider than written, which stalls the store.
            const std::uint32_t first = a | b << 24;
            const std::uint32_t second = b >> 8 | c << 16;
            const std::uint32_t third = c >> 16 | d << 8;
            std::memcpy(bytes + 3 * i, &first, sizeof first);
            std::memcpy(bytes + 3 * i + 4, &second, sizeof second);
            std::memcpy(bytes + 3 * i + 8, &third, sizeof third);
        }
    }
#endif
    const std::size_t width = storedSampleBytes(coding);
    for (; i < count; ++i) {
        const auto word = static_cast<std::uint32_t>(integers[i]);
        for (std::size_t byte = 0; byte < width; ++byte) {
            bytes[i * width + byte] = static_cast<unsigned char>(word >> (8 * (4 - width + byte)));
        }
    }
}

void split(const float* frames, std::size_t count, std::size_t channelCount, float* const* channels,
           std::size_t offset) {
    std::size_t frame = 0;
#if defined(__SSE2__)
    if (channelCount == 2) {
        float* left = channels[0] + offset;
        float* right = channels[1] + offset;
        for (; frame + 4 <= count; frame += 4) {
            const __m128 first = _mm_loadu_ps(frames + 2 * frame);
            const __m128 second = _mm_loadu_ps(frames + 2 * frame + 4);
            _mm_storeu_ps(left + frame, _mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
            _mm_storeu_ps(right + frame, _mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
        }
    }
#endif
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        float* target = channels[channel] + offset;
        for (std::size_t i = frame; i < count; ++i) {
            target[i] = frames[i * channelCount + channel];
        }
    }
}

void interleave(const float* const* channels, std::size_t channelCount, std::size_t offset, std::size_t count,
                float* frames) {
    std::size_t frame = 0;
#if defined(__SSE2__)
    if (channelCount == 2) {
        const float* left = channels[0] + offset;
        const float* right = channels[1] + offset;
        for (; frame + 4 <= count; frame += 4) {
            const __m128 l = _mm_loadu_ps(left + frame);
            const __m128 r = _mm_loadu_ps(right + frame);
            _mm_storeu_ps(frames + 2 * frame, _mm_unpacklo_ps(l, r));
            _mm_storeu_ps(frames + 2 * frame + 4, _mm_unpackhi_ps(l, r));
        }
    }
#endif
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        const float* source = channels[channel] + offset;
        for (std::size_t i = frame; i < count; ++i) {
            frames[i * channelCount + channel] = source[i];
        }
    }
}

void packStoredStereo(StoredSamples coding, const std::int32_t* left, const std::int32_t* right, std::size_t count,
                      unsigned char* bytes) {
    std::size_t frame = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (coding == StoredSamples::Pcm24) {
        for (; frame + 2 <= count; frame += 2) {
            const std::uint32_t a = static_cast<std::uint32_t>(left[frame]) >> 8;
            const std::uint32_t b = static_cast<std::uint32_t>(right[frame]) >> 8;
            const std::uint32_t c = static_cast<std::uint32_t>(left[frame + 1]) >> 8;
            const std::uint32_t d = static_cast<std::uint32_t>(right[frame + 1]) >> 8;
            const std::uint32_t first = a | b << 24;
            const std::uint32_t second = b >> 8 | c << 16;
            const std::uint32_t third = c >> 16 | d << 8;
            std::memcpy(bytes + 6 * frame, &first, sizeof first);
            std::memcpy(bytes + 6 * frame + 4, &second, sizeof second);
            std::memcpy(bytes + 6 * frame + 8, &third, sizeof third);
        }
    } else if (coding == StoredSamples::Pcm16) {
        for (; frame < count; ++frame) {
            const std::uint32_t pair = static_cast<std::uint32_t>(left[frame]) >> 16 |
                                       (static_cast<std::uint32_t>(right[frame]) & 0xFFFF0000u);
            std::memcpy(bytes + 4 * frame, &pair, sizeof pair);
        }
    }
#endif
    const std::size_t width = storedSampleBytes(coding);
    for (; frame < count; ++frame) {
        packStored(coding, left + frame, 1, bytes + 2 * width * frame);
        packStored(coding, right + frame, 1, bytes + 2 * width * frame + width);
    }
}
