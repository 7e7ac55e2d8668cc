// The 32-bit library under a host that leaves the x87 unit, on which the C
// library's pow, sin and cos run, at another precision or rounding (Direct3D
// leaves 24 bits, as _controlfp(_PC_24, _MCW_PC) does). What the host hears
// and reads must not change, and every call must give the word back.
#include <cmath>
#include <cstdint>
#include <cstring>
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

// What a host gets from one instance: audio, display texts, and the number
// of calls after which its x87 control word was not as it had set it.
struct Session {
    std::vector<float> output;
    std::vector<std::string> displays;
    int callsThatChangedTheWord = 0;
};

class X87Precision : public LoadedDistortion {
protected:
    void TearDown() override {
        setX87ControlWord(testWord);
        LoadedDistortion::TearDown();
    }

    std::uint16_t hostWord(std::uint16_t bits) const {
        return static_cast<std::uint16_t>((testWord & ~kPrecisionAndRounding) | bits);
    }

    double powerWith(std::uint16_t word) {
        volatile double base = 0.3;
        setX87ControlWord(word);
        const double result = std::pow(base, 0.39);
        setX87ControlWord(testWord);
        return result;
    }

    // With the host's word set throughout: create, select the program,
    // process the input in blocks of 512, read every display text, close.
    Session runAsHost(std::uint16_t word, VstInt32 program, std::vector<float> input) {
        Session s;
        s.output.assign(input.size(), 0.0f);
        const auto look = [&] { s.callsThatChangedTheWord += x87ControlWord() != word ? 1 : 0; };
        setX87ControlWord(word);
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
        setX87ControlWord(testWord);
        return s;
    }

    const std::uint16_t testWord = x87ControlWord();
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

TEST_F(X87Precision, OutputAndDisplayTextsAreTheSameWhateverPrecisionAndRoundingTheHostLeft) {
    ASSERT_NE(powerWith(hostWord(0x0000)), powerWith(hostWord(kDoubleToNearest)))
        << "the C library's pow should follow the x87 precision here, or this test proves nothing";

    // Noise, then an impulse and a silence in which the filter memories decay.
    std::vector<float> input(3 * 4096, 0.0f);
    unsigned state = 2024u;
    for (std::size_t i = 0; i < 4096; ++i) {
        state = state * 1664525u + 1013904223u;
        input[i] = 0.9f * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    input[4096] = 1.0f;

    for (VstInt32 program = 0; program < 9; ++program) {
        const Session full = runAsHost(hostWord(kDoubleToNearest), program, input);
        ASSERT_EQ(full.displays.size(), 17u) << "program " << program << ": no instance";
        for (const auto& setting : kHostSettings) {
            const Session got = runAsHost(hostWord(setting.bits), program, input);
            EXPECT_EQ(differences(got.output, full.output), "") << "program " << program << ", " << setting.what;
            EXPECT_EQ(got.displays, full.displays) << "program " << program << ", " << setting.what;
            EXPECT_EQ(got.callsThatChangedTheWord, 0)
                << "program " << program << ", " << setting.what << ": calls after which the host's x87 control word 0x"
                << std::hex << hostWord(setting.bits) << " had changed";
        }
    }
}

}  // namespace
