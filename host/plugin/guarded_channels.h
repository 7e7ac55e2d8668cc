// Buffers the host hands to a plug-in with guard areas before and after,
// filled with a pattern that no plug-in writes by accident, so that a write
// outside the buffer harms nothing and shows afterwards.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The guard pattern of one sample type: a quiet NaN with a payload that no
// arithmetic produces.
template <typename Sample>
struct GuardPattern;

template <>
struct GuardPattern<float> {
    using Bits = std::uint32_t;
    static constexpr Bits kBits = 0x7FC0DEADu;
};

template <>
struct GuardPattern<double> {
    using Bits = std::uint64_t;
    static constexpr Bits kBits = 0x7FF8DEADC0DEDEADull;
};

// Audio channels of `frames` samples each, with guard areas of
// `kGuardFrames` samples on both sides of every channel.
template <typename Sample>
class GuardedChannels {
public:
    static constexpr std::size_t kGuardFrames = 64;

    GuardedChannels(int channels, std::size_t frames) : frames_(frames) {
        const auto count = static_cast<std::size_t>(std::max(channels, 1));
        storage_.assign(count, std::vector<Sample>(frames + 2 * kGuardFrames, guardValue()));
        for (auto& channel : storage_) {
            pointers_.push_back(channel.data() + kGuardFrames);
        }
    }

    Sample** pointers() { return pointers_.data(); }
    Sample* channel(int index) { return pointers_[static_cast<std::size_t>(index)]; }
    std::size_t frames() const { return frames_; }

    // Fills the usable part of every channel with the guard pattern too, so
    // that any write at all shows.
    void poison() {
        for (auto& channel : storage_) {
            std::fill(channel.begin(), channel.end(), guardValue());
        }
    }
    bool guardsIntact() const {
        return std::all_of(storage_.begin(), storage_.end(), [this](const std::vector<Sample>& channel) {
            return holdsGuard(channel.data(), kGuardFrames) &&
                   holdsGuard(channel.data() + kGuardFrames + frames_, kGuardFrames);
        });
    }
    // The whole storage still holds the pattern.
    bool untouched() const {
        return std::all_of(storage_.begin(), storage_.end(), [](const std::vector<Sample>& channel) {
            return holdsGuard(channel.data(), channel.size());
        });
    }

private:
    using Bits = typename GuardPattern<Sample>::Bits;
    static Sample guardValue() {
        Sample value;
        const Bits bits = GuardPattern<Sample>::kBits;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    static bool holdsGuard(const Sample* first, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            Bits bits;
            std::memcpy(&bits, first + i, sizeof bits);
            if (bits != GuardPattern<Sample>::kBits) {
                return false;
            }
        }
        return true;
    }

    std::size_t frames_;
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
