#include "host_processing.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_failure.h"
#include "parameter_index.h"
#include "test_signal.h"

namespace {

std::size_t chooseFrames(FuzzBytes& in) {
    static const std::size_t common[] = {0, 1, 2, 3, 32, 64, 128, 256, 441, 488, 512, 1024, 2048, 4096};
    // Mostly short blocks: they cost little, and block boundaries are where
    // parameters change.
    const unsigned kind = in.byte() % 10;
    if (kind < 4) {
        return in.below(65);
    }
    if (kind < 7) {
        return in.u16() % 513;
    }
    if (kind < 9) {
        return common[in.below(sizeof(common) / sizeof(common[0]))];
    }
    return in.u16() % (kLargestBlock + 1);
}

template <typename Sample>
std::unique_ptr<Sample[]> channel(std::size_t frames) {
    return std::unique_ptr<Sample[]>(new Sample[frames]());
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

void describeParameters(AEffect* effect, char* text, std::size_t size) {
    std::size_t used = 0;
    for (VstInt32 i = 0; i < kParameterCount && used < size; ++i) {
        const int written = std::snprintf(text + used, size - used, "%s%g", i == 0 ? "" : " ",
                                          static_cast<double>(effect->getParameter(effect, i)));
        if (written < 0) {
            break;
        }
        used += static_cast<std::size_t>(written);
    }
}

void processReplacing(AEffect* effect, FuzzBytes& in, FiniteOutputRule& rule, std::size_t frames) {
    const unsigned layout = in.byte();
    const bool inPlace = (layout & 1) != 0;
    const bool secondOutput = (layout & 2) == 0;
    const TestSignal signal = TestSignal::from(in);

    auto input0 = channel<float>(frames);
    auto input1 = channel<float>(frames);
    signal.fill(input0.get(), frames);
    signal.fill(input1.get(), frames);
    const std::vector<float> sent(input0.get(), input0.get() + frames);

    auto output0 = channel<float>(frames);
    auto output1 = channel<float>(frames);
    float* inputs[2] = {input0.get(), input1.get()};
    float* outputs[2] = {inPlace ? input0.get() : output0.get(), inPlace ? input1.get() : output1.get()};
    if (!secondOutput) {
        outputs[1] = nullptr;
    }

    bool inRange = true;
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        const float v = effect->getParameter(effect, i);
        inRange = inRange && v >= 0.0f && v <= 1.0f;
    }
    rule.beginBlock(FiniteOutputRule::Block{inRange, effect->getParameter(effect, kEqOn) >= 0.5f,
                                            effect->getParameter(effect, kLowMidCrossover),
                                            effect->getParameter(effect, kMidHighCrossover)});

    effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(frames));

    for (std::size_t i = 0; i < frames; ++i) {
        const float out = outputs[0][i];
        if (rule.outputMustBeFinite(sent[i]) && !std::isfinite(out)) {
            char parameters[512] = {};
            describeParameters(effect, parameters, sizeof(parameters));
            fuzzFailure("output %g at frame %zu of %zu for the sane input %g, parameters: %s", static_cast<double>(out),
                        i, frames, static_cast<double>(sent[i]), parameters);
        }
        if (outputs[1] != nullptr) {
            FUZZ_REQUIRE(sameBits(out, outputs[1][i]), "frame %zu of %zu: first output %g, second output %g", i, frames,
                         static_cast<double>(out), static_cast<double>(outputs[1][i]));
        }
    }
}

// The accumulating and the 64-bit entries: the effect offers neither, but a
// host may still call them; they must stay inside the buffers.
void processOther(AEffect* effect, FuzzBytes& in, std::size_t frames, bool doublePrecision) {
    const TestSignal signal = TestSignal::from(in);
    if (doublePrecision) {
        auto input0 = channel<double>(frames);
        auto input1 = channel<double>(frames);
        auto output0 = channel<double>(frames);
        auto output1 = channel<double>(frames);
        double* inputs[2] = {input0.get(), input1.get()};
        double* outputs[2] = {output0.get(), in.flag() ? output1.get() : nullptr};
        effect->processDoubleReplacing(effect, inputs, outputs, static_cast<VstInt32>(frames));
        return;
    }
    auto input0 = channel<float>(frames);
    auto input1 = channel<float>(frames);
    signal.fill(input0.get(), frames);
    auto output0 = channel<float>(frames);
    auto output1 = channel<float>(frames);
    float* inputs[2] = {input0.get(), input1.get()};
    float* outputs[2] = {output0.get(), in.flag() ? output1.get() : nullptr};
    effect->process(effect, inputs, outputs, static_cast<VstInt32>(frames));
}
}  // namespace

void processLikeAHost(AEffect* effect, FuzzBytes& in, FiniteOutputRule& rule, std::size_t& framesLeft) {
    std::size_t frames = chooseFrames(in);
    if (frames > framesLeft) {
        frames = framesLeft;
    }
    framesLeft -= frames;
    switch (in.byte() % 8) {
        case 0:
            processOther(effect, in, frames, false);
            break;
        case 1:
            processOther(effect, in, frames, true);
            break;
        default:
            processReplacing(effect, in, rule, frames);
            break;
    }
}
