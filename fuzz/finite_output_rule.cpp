#include "finite_output_rule.h"

#include <cmath>
#include <cstring>

namespace {
bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}
}  // namespace

void FiniteOutputRule::filtersMayRunAway() {
    filtersMayHoldRunaway_ = true;
    saneSamplesSinceRunaway_ = 0;
}

void FiniteOutputRule::beginBlock(const Block& block) {
    block_ = block;
    if (!block.equaliserOn) {
        return;
    }
    const bool changed = !crossoversKnown_ || !sameBits(block.lowMidCrossover, lowMidCrossover_) ||
                         !sameBits(block.midHighCrossover, midHighCrossover_);
    if (!changed) {
        return;
    }
    if (crossoversKnown_ && samplesWithTheseCrossovers_ < kShortestCrossoverHold) {
        filtersMayRunAway();
    }
    crossoversKnown_ = true;
    lowMidCrossover_ = block.lowMidCrossover;
    midHighCrossover_ = block.midHighCrossover;
    samplesWithTheseCrossovers_ = 0;
}

bool FiniteOutputRule::outputMustBeFinite(float input) {
    if (block_.equaliserOn) {
        ++samplesWithTheseCrossovers_;
    }
    if (!std::isfinite(input)) {
        if (block_.equaliserOn && block_.parametersInRange) {
            filtersMayHoldRunaway_ = false;
        }
        return false;
    }
    const bool sane = block_.parametersInRange && std::fabs(input) <= kLoudestSaneInput;
    if (!sane) {
        if (block_.equaliserOn) {
            filtersMayRunAway();
        }
        return false;
    }
    if (!block_.equaliserOn) {
        return true;
    }
    if (filtersMayHoldRunaway_ && ++saneSamplesSinceRunaway_ > kRecoverySamples) {
        filtersMayHoldRunaway_ = false;
    }
    return !filtersMayHoldRunaway_;
}
