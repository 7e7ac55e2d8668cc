// Buffers the host hands to a plug-in with guard areas before and after,
// filled with markers that no plug-in writes by accident, so that a write
// outside the buffer harms nothing and shows afterwards, output the plug-in
// never wrote shows as such, and input read from outside the block shows in
// the output by its own marker.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// What a marker in a buffer stands for.
enum class Marker {
    None,         // an ordinary sample
    Unwritten,    // output the plug-in has not written
    PastInput,    // input after the end of the block
    BeforeInput,  // input before the start of the block
};

// The markers of one sample type: quiet NaNs with payloads that no
// arithmetic produces. Arithmetic on a NaN passes its payload on, so a
// marker the plug-in read comes out as itself (its sign may change).
template <typename Sample>
struct MarkerBits;

template <>
struct MarkerBits<float> {
    using Bits = std::uint32_t;
    static constexpr Bits kSign = 0x80000000u;
    static constexpr Bits kUnwritten = 0x7FC0DEADu;
    static constexpr Bits kPastInput = 0x7FC1A57Eu;
    static constexpr Bits kBeforeInput = 0x7FC1BEF0u;
};

template <>
struct MarkerBits<double> {
    using Bits = std::uint64_t;
    static constexpr Bits kSign = 0x8000000000000000ull;
    static constexpr Bits kUnwritten = 0x7FF8DEADC0DEDEADull;
    static constexpr Bits kPastInput = 0x7FF9A57EA57EA57Eull;
    static constexpr Bits kBeforeInput = 0x7FF9BEF0BEF0BEF0ull;
};

template <typename Sample>
Marker markerOf(Sample value) {
    using Bits = typename MarkerBits<Sample>::Bits;
    Bits bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits &= ~MarkerBits<Sample>::kSign;
    return bits == MarkerBits<Sample>::kUnwritten     ? Marker::Unwritten
           : bits == MarkerBits<Sample>::kPastInput   ? Marker::PastInput
           : bits == MarkerBits<Sample>::kBeforeInput ? Marker::BeforeInput
                                                      : Marker::None;
}

// Whether the channels are the plug-in's output or its input: output is
// marked unwritten throughout, input as before and past the block.
enum class ChannelRole { Output, Input };

// Audio channels of `frames` samples each, with guard areas of
// `kGuardFrames` samples on both sides of every channel.
template <typename Sample>
class GuardedChannels {
public:
    static constexpr std::size_t kGuardFrames = 64;

    GuardedChannels(int channels, std::size_t frames, ChannelRole role = ChannelRole::Output)
        : frames_(frames),
          before_(role == ChannelRole::Output ? MarkerBits<Sample>::kUnwritten : MarkerBits<Sample>::kBeforeInput),
          after_(role == ChannelRole::Output ? MarkerBits<Sample>::kUnwritten : MarkerBits<Sample>::kPastInput) {
        const auto count = static_cast<std::size_t>(std::max(channels, 1));
        storage_.assign(count, std::vector<Sample>(frames + 2 * kGuardFrames));
        for (auto& channel : storage_) {
            pointers_.push_back(channel.data() + kGuardFrames);
        }
        poison();
    }

    Sample** pointers() { return pointers_.data(); }
    Sample* channel(int index) { return pointers_[static_cast<std::size_t>(index)]; }
    std::size_t frames() const { return frames_; }

    // Marks the usable part of every channel too, so that any write at all
    // shows, and input read past a shorter block reads as past its end.
    void poison() {
        for (auto& channel : storage_) {
            fill(channel.data(), kGuardFrames, before_);
            fill(channel.data() + kGuardFrames, channel.size() - kGuardFrames, after_);
        }
    }
    bool guardsIntact() const {
        return std::all_of(storage_.begin(), storage_.end(), [this](const std::vector<Sample>& channel) {
            return holds(channel.data(), kGuardFrames, before_) &&
                   holds(channel.data() + kGuardFrames + frames_, kGuardFrames, after_);
        });
    }
    // The whole storage still holds the markers.
    bool untouched() const {
        return std::all_of(storage_.begin(), storage_.end(), [this](const std::vector<Sample>& channel) {
            return holds(channel.data(), kGuardFrames, before_) &&
                   holds(channel.data() + kGuardFrames, channel.size() - kGuardFrames, after_);
        });
    }

private:
    using Bits = typename MarkerBits<Sample>::Bits;
    static void fill(Sample* first, std::size_t count, Bits bits) {
        Sample value;
        std::memcpy(&value, &bits, sizeof value);
        std::fill(first, first + count, value);
    }
    static bool holds(const Sample* first, std::size_t count, Bits want) {
        for (std::size_t i = 0; i < count; ++i) {
            Bits bits;
            std::memcpy(&bits, first + i, sizeof bits);
            if (bits != want) {
                return false;
            }
        }
        return true;
    }

    std::size_t frames_;
    Bits before_;
    Bits after_;
    std::vector<std::vector<Sample>> storage_;
    std::vector<Sample*> pointers_;
};

// A record of `size` bytes for the plug-in to fill, with a guard area after
// it.
class GuardedBytes {
public:
    static constexpr std::size_t kGuardBytes = 256;
    static constexpr unsigned char kGuard = 0xA5;

    explicit GuardedBytes(std::size_t size) : size_(size), bytes_(size + kGuardBytes, kGuard) {}
    void* data() { return bytes_.data(); }
    // Refills the record with the guard pattern before the next use.
    void reset() { std::fill(bytes_.begin(), bytes_.end(), kGuard); }
    bool guardIntact() const {
        return std::all_of(bytes_.begin() + static_cast<std::ptrdiff_t>(size_), bytes_.end(),
                           [](unsigned char byte) { return byte == kGuard; });
    }

private:
    std::size_t size_;
    std::vector<unsigned char> bytes_;
};
