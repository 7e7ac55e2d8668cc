#include "audio/loudness_gate.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBinLu = 0.02;
constexpr double kHighestLufs = 30.0;  // louder blocks share the last bin
constexpr auto kBins = static_cast<std::size_t>((kHighestLufs - kAbsoluteGateLufs) / kBinLu);
constexpr double kLoudnessOffset = -0.691;

std::size_t binOf(double loudness) {
    const double index = std::floor((loudness - kAbsoluteGateLufs) / kBinLu);
    return index >= static_cast<double>(kBins - 1) ? kBins - 1 : static_cast<std::size_t>(std::max(index, 0.0));
}

}  // namespace

double loudnessOf(double energy) {
    return kLoudnessOffset + 10.0 * std::log10(energy);
}

BlockHistogram::BlockHistogram() : energy_(kBins, 0.0), count_(kBins, 0) {}

void BlockHistogram::add(double energy) {
    if (!(energy > 0.0)) {
        return;
    }
    const double loudness = loudnessOf(energy);
    if (loudness <= kAbsoluteGateLufs) {
        return;
    }
    const std::size_t bin = binOf(loudness);
    energy_[bin] += energy;
    ++count_[bin];
    ++blocks_;
    totalEnergy_ += energy;
}

double BlockHistogram::loudnessOfBin(std::size_t bin) const {
    return loudnessOf(energy_[bin] / static_cast<double>(count_[bin]));
}

std::optional<BlockHistogram::Gated> BlockHistogram::gate(double relativeGateLu) const {
    if (blocks_ == 0) {
        return std::nullopt;
    }
    const double threshold = loudnessOf(totalEnergy_ / static_cast<double>(blocks_)) + relativeGateLu;
    std::size_t first = binOf(threshold);
    // The bin that holds the gate itself goes by its blocks' mean.
    if (count_[first] > 0 && !(loudnessOfBin(first) > threshold)) {
        ++first;
    }
    Gated gated;
    gated.firstBin = first;
    for (std::size_t bin = first; bin < kBins; ++bin) {
        gated.blocks += count_[bin];
        gated.energy += energy_[bin];
    }
    return gated;
}

std::optional<double> BlockHistogram::gatedLoudness(double relativeGateLu) const {
    const std::optional<Gated> gated = gate(relativeGateLu);
    if (!gated || gated->blocks == 0) {
        return std::nullopt;
    }
    return loudnessOf(gated->energy / static_cast<double>(gated->blocks));
}

std::optional<double> BlockHistogram::spread(double relativeGateLu, double low, double high) const {
    const std::optional<Gated> gated = gate(relativeGateLu);
    if (!gated || gated->blocks == 0) {
        return std::nullopt;
    }
    // The loudness of the block of each rank, counted from the quietest.
    const auto atRank = [this, &gated](std::uint64_t rank) {
        std::uint64_t below = 0;
        for (std::size_t bin = gated->firstBin; bin < kBins; ++bin) {
            below += count_[bin];
            if (below > rank) {
                return loudnessOfBin(bin);
            }
        }
        return loudnessOfBin(kBins - 1);
    };
    const double last = static_cast<double>(gated->blocks - 1);
    return atRank(static_cast<std::uint64_t>(std::llround(last * high))) -
           atRank(static_cast<std::uint64_t>(std::llround(last * low)));
}
