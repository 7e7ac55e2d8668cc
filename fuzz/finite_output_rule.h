// Decides, sample by sample, whether the effect's output must be finite.
//
// It must be whenever the input sample is sane (finite and no louder than
// kLoudestSaneInput) and every parameter lies in 0..1, with two allowances
// for the equaliser, the only part of the effect with memories:
//
// - A non-finite input sample gives a non-finite section output, which
//   clears the sections' memories: from the next sane sample on the output
//   must be finite at once, whatever the memories held before.
// - Once its filters have run on too loud input or with insane parameters,
//   their memories may hold huge finite values, which the (stable) filters
//   need some samples to forget: up to about 4800 samples for the slowest
//   section, computed for the worst memory contents. After kRecoverySamples
//   sane samples with the equaliser on, the output must be finite again.
// - Its sections recompute their coefficients at every sample and are not
//   built for audio-rate modulation: a crossover flipped between far-apart
//   values every few samples pumps energy into them until they overflow.
//   Hosts automate once per block, so a crossover change after fewer than
//   kShortestCrossoverHold samples with the previous values counts as insane.
//
// With the equaliser off the output does not depend on the memories at all.
//
// kLoudestSaneInput lies far above any audio (full scale is 1.0) and far
// below the float range divided by the effect's largest amplification (input
// gain 10, a band's distortion gain 10, a band's level 10, three bands and
// the filters' overshoot: well under 1e5).
#pragma once

class FiniteOutputRule {
public:
    static constexpr float kLoudestSaneInput = 1e20f;
    static constexpr long kRecoverySamples = 8192;
    static constexpr long kShortestCrossoverHold = 32;

    // What the effect reports at the start of a processed block.
    struct Block {
        bool parametersInRange;
        bool equaliserOn;
        float lowMidCrossover;
        float midHighCrossover;
    };

    void beginBlock(const Block& block);
    // For every processed sample, in order; true when its output must be finite.
    bool outputMustBeFinite(float input);

    // A new instance: clean filters, no crossover history.
    void reset() { *this = FiniteOutputRule(); }

private:
    void filtersMayRunAway();

    Block block_{true, false, 0.0f, 0.0f};
    bool crossoversKnown_ = false;
    float lowMidCrossover_ = 0.0f;
    float midHighCrossover_ = 0.0f;
    long samplesWithTheseCrossovers_ = 0;
    bool filtersMayHoldRunaway_ = false;
    long saneSamplesSinceRunaway_ = 0;
};
