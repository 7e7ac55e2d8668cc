// The 32-bit library under a host that leaves the x87 unit at lower precision
// or another rounding, as many Windows hosts do (Direct3D sets 24 bits, the
// same as _controlfp(_PC_24, _MCW_PC)). The C library's pow, sin and cos run
// on that unit; what the host hears and reads must not change, and the host
// must find its control word as it left it after every call.
#include <cmath>
#include <cstdint>
#include <sstream>

#include "loaded_distortion.h"

namespace {

std::uint16_t x87ControlWord() {
    std::uint16_t word;
    __asm__ volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}

void setX87ControlWord(std::uint16_t word) {
    __asm__ volatile("fldcw %0" : : "m"(word) : "memory");
}

// Precision control is bits 8 and 9, rounding control bits 10 and 11.
constexpr std::uint16_t kPrecisionAndRounding = 0x0F00;
constexpr std::uint16_t kDoubleToNearest = 0x0200;

const struct {
    const char* what;
    std::uint16_t bits;
} kHostSettings[] = {
    {"24-bit precision, rounding to nearest", 0x0000},  {"24-bit precision, rounding up", 0x0800},
    {"24-bit precision, rounding toward zero", 0x0C00}, {"53-bit precision, rounding down", 0x0600},
    {"64-bit precision, rounding up", 0x0B00},
};

// What a host gets from one instance: the audio of a program, display texts,
// and how many calls left the x87 control word other than the host set it.
struct Session {
    std::vector<float> output;
    std::vector<std::string> displays;
    int callsThatChangedTheWord = 0;
};

// Noise, then an impulse and a silence in which the filter memories decay.
std::vector<float> testSignal() {
    std::vector<float> signal(4096 + 8192, 0.0f);
    unsigned state = 2024u;
    for (std::size_t i = 0; i < 4096; ++i) {
        state = state * 1664525u + 1013904223u;
        signal[i] = 0.9f * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    signal[4096] = 1.0f;
    return signal;
}

// "N of M samples differ, the first at i: a instead of b", or "" when none does.
std::string differences(const std::vector<float>& got, const std::vector<float>& expected) {
    std::size_t count = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (std::memcmp(&got[i], &expected[i], sizeof(float)) != 0) {
            first = count == 0 ? i : first;
            ++count;
        }
    }
    if (count == 0) {
        return "";
    }
    std::ostringstream text;
    text.precision(9);
    text << count << " of " << got.size() << " samples differ, the first at " << first << ": " << got[first]
         << " instead of " << expected[first];
    return text.str();
}

class X87Precision : public LoadedDistortion {
protected:
    void TearDown() override {
        setX87ControlWord(testWord);
        LoadedDistortion::TearDown();
    }

    // The test program's own control word with the host's precision and rounding.
    std::uint16_t hostWord(std::uint16_t bits) const {
        return static_cast<std::uint16_t>((testWord & ~kPrecisionAndRounding) | bits);
    }

    double powerWith(std::uint16_t word) {
        volatile double base = 0.3;
        volatile double exponent = 0.39;
        setX87ControlWord(word);
        const double result = std::pow(base, exponent);
        setX87ControlWord(testWord);
        return result;
    }

    // Creates an instance, selects the program, processes the signal in
    // blocks of 512, reads every parameter's display text at the program's
    // values and at a few others, and closes the instance: every call with
    // the host's word set, each followed by a look at the word.
    Session runAsHost(std::uint16_t word, VstInt32 program, const std::vector<float>& input) {
        Session session;
        session.output.assign(input.size(), 0.0f);
        std::vector<float> right(input.size());
        const auto look = [&] { session.callsThatChangedTheWord += x87ControlWord() != word ? 1 : 0; };

        setX87ControlWord(word);
        AEffect* effect = create();
        look();
        if (effect != nullptr) {
            dispatch(effect, effSetProgram, 0, program);
            look();
            for (std::size_t start = 0; start < input.size(); start += 512) {
                float* inputs[2] = {const_cast<float*>(input.data() + start), nullptr};
                float* outputs[2] = {session.output.data() + start, right.data() + start};
                effect->processReplacing(effect, inputs, outputs, 512);
                look();
            }
            for (VstInt32 index = 0; index < 17; ++index) {
                const float programValue = effect->getParameter(effect, index);
                look();
                for (const float value : {programValue, 0.0f, 0.127f, 0.27f, 0.71f, 1.0f}) {
                    effect->setParameter(effect, index, value);
                    look();
                    GuardedText text;
                    dispatch(effect, effGetParamDisplay, index, 0, text.data());
                    look();
                    session.displays.push_back(text.text());
                }
            }
            close(effect);
            look();
        }
        setX87ControlWord(testWord);
        return session;
    }

    const std::uint16_t testWord = x87ControlWord();
};

TEST_F(X87Precision, OutputAndDisplayTextsAreTheSameWhateverPrecisionAndRoundingTheHostLeft) {
    // Otherwise this test could not tell a guarded library from an unguarded one.
    ASSERT_NE(powerWith(hostWord(0x0000)), powerWith(hostWord(kDoubleToNearest)))
        << "the C library's pow is expected to follow the x87 precision here";

    const std::vector<float> input = testSignal();
    for (VstInt32 program = 0; program < 9; ++program) {
        const Session full = runAsHost(hostWord(kDoubleToNearest), program, input);
        ASSERT_EQ(full.displays.size(), 17u * 6u) << "program " << program << ": the library did not load";
        EXPECT_EQ(full.callsThatChangedTheWord, 0) << "program " << program << " at full precision";
        for (const auto& setting : kHostSettings) {
            const Session got = runAsHost(hostWord(setting.bits), program, input);
            EXPECT_EQ(differences(got.output, full.output), "") << "program " << program << ", " << setting.what;
            EXPECT_EQ(got.displays, full.displays) << "program " << program << ", " << setting.what;
            EXPECT_EQ(got.callsThatChangedTheWord, 0)
                << "program " << program << ", " << setting.what << ": calls after which the host's x87 "
                << "control word 0x" << std::hex << hostWord(setting.bits) << " was not as it left it";
        }
    }
}

}  // namespace
