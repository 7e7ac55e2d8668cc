// The audio thread must not wait: processing allocates nothing and calls
// nothing in the host, also when parameter changes make it derive its gains,
// exponents and coefficients again in the middle of the audio.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "distortion_k.h"
#include "reference_signal_path.h"
#include "test_signals.h"
#include "twin_paths.h"

namespace {
// Counted only while a test looks; the rest of the program allocates freely.
bool counting = false;
long allocations = 0;
long hostCalls = 0;

VstIntPtr countingHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float) {
    if (counting) {
        ++hostCalls;
    }
    return 0;
}
}  // namespace

namespace {
[[gnu::noinline]] void* allocate(std::size_t size) {
    if (counting) {
        ++allocations;
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void release(void* p) noexcept {
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* p) noexcept {
    release(p);
}
void operator delete[](void* p) noexcept {
    release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    release(p);
}

namespace {

TEST(ProcessingAudio, AllocatesNothingAndCallsNothingInTheHostWhileParametersChange) {
    DistortionK effect(countingHost);
    const std::vector<float> noise = perf::whiteNoise(4096, 0.9f, 8);
    const std::vector<float> silence = perf::impulseThenSilence(8192, 1.0f);
    std::vector<float> left(noise.size() + silence.size());
    std::vector<float> right(left.size());
    perf::Random random(9);

    counting = true;
    allocations = 0;
    hostCalls = 0;
    for (int program = 0; program < 9; ++program) {
        effect.setProgram(program);
        for (const std::vector<float>* signal : {&noise, &silence}) {
            for (std::size_t start = 0; start < signal->size(); start += 64) {
                effect.setParameter(static_cast<VstInt32>(random.below(kParameterCount)), random.between(0.0f, 1.0f));
                float* inputs[2] = {const_cast<float*>(signal->data() + start), nullptr};
                float* outputs[2] = {left.data() + start, right.data() + start};
                effect.processReplacing(inputs, outputs, 64);
            }
        }
    }
    counting = false;
    EXPECT_EQ(allocations, 0) << "allocations while processing";
    EXPECT_EQ(hostCalls, 0) << "calls into the host while processing";
}

}  // namespace
