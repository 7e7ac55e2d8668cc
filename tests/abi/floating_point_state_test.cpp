// The library under a host that sets its own floating-point state: flush-to-
// zero, denormals-are-zero and another rounding in MXCSR (audio hosts do),
// and in the 32-bit build an x87 unit, on which the C library's pow, sin and
// cos run there, at another precision or rounding (Direct3D leaves 24 bits).
// What the host hears and reads must not change, and every call must give
// the host its state back.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "floating_point_guard.h"
#include "loaded_distortion.h"

namespace {

using floating_point_guard::kMxcsrControl;
using floating_point_guard::mxcsr;
using floating_point_guard::setMxcsr;

constexpr std::uint32_t kFlushToZero = 0x8000;
constexpr std::uint32_t kDenormalsAreZero = 0x0040;
constexpr std::uint32_t kTowardZero = 0x6000;
constexpr std::uint32_t kUp = 0x4000;
constexpr std::uint32_t kDown = 0x2000;

using floating_point_guard::kDoubleToNearest;
using floating_point_guard::kPrecisionAndRounding;
using floating_point_guard::setX87ControlWord;
using floating_point_guard::x87ControlWord;

// Only the 32-bit build computes on the x87 unit; the others leave it alone.
#if defined(__i386__)
constexpr bool kComputesOnX87 = true;
#else
constexpr bool kComputesOnX87 = false;
#endif

struct HostState {
    const char* what;
    std::uint32_t mxcsrBits;  // rounding, flush-to-zero and denormals-are-zero
    std::uint16_t x87Bits;    // precision and rounding
    bool x87Only;             // only the 32-bit build computes on the x87 unit
};

const HostState kHostStates[] = {
    {"flush-to-zero and denormals-are-zero", kFlushToZero | kDenormalsAreZero, kDoubleToNearest, false},
    {"SSE rounding toward zero", kTowardZero, kDoubleToNearest, false},
    {"SSE rounding up", kUp, kDoubleToNearest, false},
    {"SSE rounding down", kDown, kDoubleToNearest, false},
    {"flush-to-zero, denormals-are-zero and rounding toward zero", kFlushToZero | kDenormalsAreZero | kTowardZero,
     kDoubleToNearest, false},
    {"x87 at 24-bit precision, rounding to nearest", 0, 0x0000, true},
    {"x87 at 24-bit precision, rounding up", 0, 0x0800, true},
    {"x87 at 24-bit precision, rounding toward zero", 0, 0x0C00, true},
    {"x87 at 53-bit precision, rounding down", 0, 0x0600, true},
    {"x87 at 64-bit precision, rounding up", 0, 0x0B00, true},
    {"x87 at 24-bit precision, SSE flushing to zero and rounding down", kFlushToZero | kDenormalsAreZero | kDown,
     0x0000, true},
};

// What a host gets from one instance: audio, display texts, and the number
// of calls after which its floating-point state was not as it had set it.
struct Session {
    std::vector<float> output;
    std::vector<std::string> displays;
    int callsThatChangedTheState = 0;
};

class FloatingPointState : public LoadedDistortion {
protected:
    void TearDown() override {
        restoreTestState();
        LoadedDistortion::TearDown();
    }

    void restoreTestState() {
        setMxcsr(testMxcsr);
        setX87ControlWord(testX87);
    }

    std::uint32_t hostMxcsr(const HostState& state) const {
        return (testMxcsr & ~kMxcsrControl) | floating_point_guard::kWantedMxcsr | state.mxcsrBits;
    }
    std::uint16_t hostX87(std::uint16_t bits) const {
        return static_cast<std::uint16_t>((testX87 & ~kPrecisionAndRounding) | bits);
    }

    double powerWithX87(std::uint16_t word) {
        volatile double base = 0.3;
        setX87ControlWord(word);
        const double result = std::pow(base, 0.39);
        restoreTestState();
        return result;
    }

    // With the host's state set throughout: create, select the program,
    // process the input in blocks of 512, change and read every parameter,
    // close.
    Session runAsHost(const HostState& state, VstInt32 program, std::vector<float> input) {
        Session s;
        s.output.assign(input.size(), 0.0f);
        const std::uint32_t sse = hostMxcsr(state);
        const std::uint16_t x87 = hostX87(state.x87Bits);
        const auto look = [&] {
            const bool changed =
                (mxcsr() & kMxcsrControl) != (sse & kMxcsrControl) || (kComputesOnX87 && x87ControlWord() != x87);
            s.callsThatChangedTheState += changed ? 1 : 0;
        };
        setMxcsr(sse);
        setX87ControlWord(x87);
        AEffect* effect = create();
        look();
        if (effect != nullptr) {
            dispatch(effect, effSetProgram, 0, program);
            look();
            for (std::size_t start = 0; start < input.size(); start += 512) {
                float* inputs[1] = {input.data() + start};
                float* outputs[2] = {s.output.data() + start, nullptr};
                effect->processReplacing(effect, inputs, outputs, 512);
                look();
            }
            for (VstInt32 index = 0; index < 17; ++index) {
                effect->setParameter(effect, index, effect->getParameter(effect, index) * 0.77f);
                look();
                GuardedText text;
                dispatch(effect, effGetParamDisplay, index, 0, text.data());
                look();
                s.displays.push_back(text.text());
            }
            close(effect);
            look();
        }
        restoreTestState();
        return s;
    }

    const std::uint32_t testMxcsr = mxcsr();
    const std::uint16_t testX87 = x87ControlWord();
};

// "N of M samples differ, the first at i: a instead of b", or "".
std::string differences(const std::vector<float>& got, const std::vector<float>& expected) {
    std::size_t count = 0, first = 0;
    for (std::size_t i = got.size(); i-- > 0;) {
        if (std::memcmp(&got[i], &expected[i], sizeof(float)) != 0) {
            first = i;
            ++count;
        }
    }
    std::ostringstream text;
    text.precision(9);
    text << count << " of " << got.size() << " samples differ, the first at " << first << ": " << got[first]
         << " instead of " << expected[first];
    return count == 0 ? "" : text.str();
}

TEST_F(FloatingPointState, OutputAndDisplayTextsAreTheSameWhateverStateTheHostSet) {
    if (kComputesOnX87) {
        ASSERT_NE(powerWithX87(hostX87(0x0000)), powerWithX87(hostX87(kDoubleToNearest)))
            << "the C library's pow should follow the x87 precision here, or the x87 cases prove nothing";
    }
    // Noise, then an impulse and a silence in which the filter memories decay
    // below the float normal range, where flushing to zero would show.
    const std::vector<float> input = noiseImpulseAndSilence(4096, 8192);
    const HostState plain{"the effect's own state", 0, kDoubleToNearest, false};

    for (VstInt32 program = 0; program < 9; ++program) {
        const Session expected = runAsHost(plain, program, input);
        ASSERT_EQ(expected.displays.size(), 17u) << "program " << program << ": no instance";
        for (const HostState& state : kHostStates) {
            if (state.x87Only && !kComputesOnX87) {
                continue;
            }
            const Session got = runAsHost(state, program, input);
            EXPECT_EQ(differences(got.output, expected.output), "") << "program " << program << ", " << state.what;
            EXPECT_EQ(got.displays, expected.displays) << "program " << program << ", " << state.what;
            EXPECT_EQ(got.callsThatChangedTheState, 0)
                << "program " << program << ", " << state.what << ": calls after which the host's MXCSR 0x" << std::hex
                << hostMxcsr(state) << " or x87 control word 0x" << hostX87(state.x87Bits) << " had changed";
        }
    }
}

}  // namespace
