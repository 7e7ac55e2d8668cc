// What the gating of loudness meters needs to know about a signal's
// blocks, kept in constant memory however long the signal runs: each
// block's energy (its K-weighted mean square, summed over the channels)
// sorted into a bin of 0.02 LU by its loudness, every bin summing the
// energies it holds exactly. Gates and percentiles then read the bins; only
// blocks within 0.02 LU of a relative gate are judged by their bin's mean
// instead of one by one, and percentiles are a bin's mean.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// Loudness in LUFS of a block's energy, -0.691 + 10 log10(energy); the
// offset makes a 1 kHz sine of peak 1.0 in one channel read -3.01 LUFS.
double loudnessOf(double energy);

// Blocks at or below this loudness are silence to every gate.
inline constexpr double kAbsoluteGateLufs = -70.0;

class BlockHistogram {
public:
    BlockHistogram();
    // A block's energy. Blocks at or below the absolute gate are not kept.
    void add(double energy);
    std::uint64_t blocks() const { return blocks_; }

    // The loudness of the blocks above a relative gate set `relativeGateLu`
    // below the loudness of all blocks kept (their energies' mean): BS.1770's
    // integrated loudness with -10. None when no block was kept.
    std::optional<double> gatedLoudness(double relativeGateLu) const;
    // The loudness at the `low` and `high` fractions of the blocks above the
    // relative gate, ranked by loudness (nearest rank); EBU Tech 3342's
    // loudness range is their difference with -20, 0.10 and 0.95. None when
    // no block was kept.
    std::optional<double> spread(double relativeGateLu, double low, double high) const;

private:
    // The first bin that lies above the relative gate, and the blocks and
    // energy from it on.
    struct Gated {
        std::size_t firstBin = 0;
        std::uint64_t blocks = 0;
        double energy = 0.0;
    };
    std::optional<Gated> gate(double relativeGateLu) const;
    double loudnessOfBin(std::size_t bin) const;

    std::vector<double> energy_;
    std::vector<std::uint32_t> count_;  // 13 years of blocks
    std::uint64_t blocks_ = 0;
    double totalEnergy_ = 0.0;
};
