// The value-to-text conversions offered to effects.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "test_effects.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::size_t kGuard = 16;

using Conversion = std::function<void(AudioEffect&, char*, VstInt32)>;

// Runs a conversion into a buffer of maxLen + 1 bytes with guard bytes
// behind it; fails the test if a guard byte changed.
std::string convert(AudioEffect& effect, const Conversion& conversion, VstInt32 maxLen) {
    std::vector<char> bytes(static_cast<std::size_t>(maxLen) + 1 + kGuard, '\x5A');
    conversion(effect, bytes.data(), maxLen);
    for (std::size_t i = static_cast<std::size_t>(maxLen) + 1; i < bytes.size(); ++i) {
        EXPECT_EQ(bytes[i], '\x5A') << "byte " << i << " written past maxLen " << maxLen;
    }
    EXPECT_EQ(bytes[static_cast<std::size_t>(maxLen)], 0) << "no terminator at maxLen " << maxLen;
    return std::string(bytes.data());
}

Conversion float2string(float value) {
    return [value](AudioEffect& e, char* text, VstInt32 maxLen) { e.float2string(value, text, maxLen); };
}
Conversion dB2string(float value) {
    return [value](AudioEffect& e, char* text, VstInt32 maxLen) { e.dB2string(value, text, maxLen); };
}
Conversion Hz2string(float samples) {
    return [samples](AudioEffect& e, char* text, VstInt32 maxLen) { e.Hz2string(samples, text, maxLen); };
}
Conversion ms2string(float samples) {
    return [samples](AudioEffect& e, char* text, VstInt32 maxLen) { e.ms2string(samples, text, maxLen); };
}
Conversion int2string(VstInt32 value) {
    return [value](AudioEffect& e, char* text, VstInt32 maxLen) { e.int2string(value, text, maxLen); };
}

struct TextCase {
    const char* call;
    Conversion conversion;
    VstInt32 maxLen;
    const char* text;
};

TEST(Conversions, WriteTheListedTexts) {
    const TextCase cases[] = {
        {"float2string(0.0)", float2string(0.0f), 24, "0.000000"},
        {"float2string(1.5)", float2string(1.5f), 24, "1.500000"},
        {"float2string(-3.25)", float2string(-3.25f), 24, "-3.25000"},
        {"float2string(123.456)", float2string(123.456f), 24, "123.4560"},
        {"float2string(0.1)", float2string(0.1f), 24, "0.100000"},
        {"float2string(2.675) cuts, never rounds", float2string(2.675f), 24, "2.674999"},
        {"float2string(1234567.0)", float2string(1234567.0f), 24, "1234567."},
        {"float2string(-123456.0)", float2string(-123456.0f), 24, "-123456."},
        {"float2string(100000000.0)", float2string(100000000.0f), 24, "Huge!"},
        {"float2string(-10000000.0)", float2string(-10000000.0f), 24, "Huge!"},
        {"float2string(1.5) into 4", float2string(1.5f), 4, "1.50"},
        {"float2string(-3.25) into 2", float2string(-3.25f), 2, "-3"},
        {"dB2string(1.0)", dB2string(1.0f), 24, "0.000000"},
        {"dB2string(0.001)", dB2string(0.001f), 24, "-60.0000"},
        {"dB2string(0.0)", dB2string(0.0f), 24, "-oo"},
        {"dB2string(-1.0)", dB2string(-1.0f), 24, "-oo"},
        {"Hz2string(441.0)", Hz2string(441.0f), 24, "100.0000"},
        {"Hz2string(0.0)", Hz2string(0.0f), 24, "0.000000"},
        {"ms2string(44100.0)", ms2string(44100.0f), 24, "1000.000"},
        {"ms2string(441.0)", ms2string(441.0f), 24, "10.00000"},
        {"int2string(7)", int2string(7), 24, "7"},
        {"int2string(10)", int2string(10), 24, "10"},
        {"int2string(-123)", int2string(-123), 24, "-123"},
        {"int2string(99999999)", int2string(99999999), 24, "99999999"},
        {"int2string(100000000)", int2string(100000000), 24, "Huge!"},
    };
    for (const auto& c : cases) {
        PlainEffect effect;  // 44100 Hz
        EXPECT_EQ(convert(effect, c.conversion, c.maxLen), c.text) << c.call << ", maxLen " << c.maxLen;
    }
}

TEST(Conversions, GiveHugeOrNaNWhereTheNumberCannotBeShown) {
    const TextCase cases[] = {
        {"float2string(NaN)", float2string(kNaN), 24, "NaN"},
        {"float2string(+inf)", float2string(kInf), 24, "Huge!"},
        {"float2string(-inf)", float2string(-kInf), 24, "Huge!"},
        {"float2string(12345678.0)", float2string(12345678.0f), 24, "Huge!"},
        {"float2string(10000000.0)", float2string(10000000.0f), 24, "Huge!"},
        {"float2string(9999999.0)", float2string(9999999.0f), 24, "9999999."},
        {"float2string(-2000000.0)", float2string(-2000000.0f), 24, "Huge!"},
        {"float2string(-1000000.0)", float2string(-1000000.0f), 24, "Huge!"},
        {"float2string(-999999.0)", float2string(-999999.0f), 24, "-999999."},
        {"float2string(-0.0)", float2string(-0.0f), 24, "0.000000"},
        {"int2string(0)", int2string(0), 24, "0"},
        {"int2string(-999999999)", int2string(-999999999), 24, "-999999999"},
        {"int2string(-1000000000)", int2string(-1000000000), 24, "-Huge!"},
        {"int2string(INT_MIN)", int2string(INT_MIN), 24, "-Huge!"},
        {"int2string(INT_MAX)", int2string(INT_MAX), 24, "Huge!"},
    };
    for (const auto& c : cases) {
        PlainEffect effect;
        EXPECT_EQ(convert(effect, c.conversion, c.maxLen), c.text) << c.call;
    }
}

TEST(Conversions, Ms2StringAtASampleRateOfZeroGivesHuge) {
    PlainEffect effect;
    effect.setSampleRate(0.0f);
    EXPECT_EQ(convert(effect, ms2string(441.0f), 24), "Huge!");
}

TEST(Conversions, Float2StringWritesEightCharactersWhileTheIntegerPartFits) {
    for (float value : {0.001f, 0.5f, 9.999f, 12.5f, 999.25f, 65536.0f, 9999999.0f, -0.001f, -42.42f, -999999.0f}) {
        PlainEffect effect;
        EXPECT_EQ(convert(effect, float2string(value), 24).size(), 8u) << "value " << value;
    }
}

TEST(Conversions, WriteThePrefixOfTheFullTextForEveryLimitAndKeepTheGuardBytes) {
    std::vector<std::pair<std::string, Conversion>> conversions;
    for (float v : {0.0f, 1.5f, -3.25f, 123.456f, 1234567.0f, -123456.0f, 1e8f, -1e7f, 9999999.0f, 1e-7f, -0.5f, kNaN,
                    kInf, -kInf}) {
        const std::string shown = std::to_string(v);
        conversions.push_back({"float2string(" + shown + ")", float2string(v)});
        conversions.push_back({"dB2string(" + shown + ")", dB2string(v)});
        conversions.push_back({"Hz2string(" + shown + ")", Hz2string(v)});
        conversions.push_back({"ms2string(" + shown + ")", ms2string(v)});
    }
    for (VstInt32 v : {0, 7, -123, 99999999, 100000000, -999999999, INT_MIN, INT_MAX}) {
        conversions.push_back({"int2string(" + std::to_string(v) + ")", int2string(v)});
    }
    for (const auto& [call, conversion] : conversions) {
        PlainEffect effect;
        const std::string full = convert(effect, conversion, 24);
        for (VstInt32 maxLen = 0; maxLen <= 10; ++maxLen) {
            SCOPED_TRACE(::testing::Message() << call << ", maxLen " << maxLen);
            EXPECT_EQ(convert(effect, conversion, maxLen), full.substr(0, static_cast<std::size_t>(maxLen)));
        }
    }
}

// Replaces the operations the conversions build on.
class RecordingConversionsEffect : public PlainEffect {
public:
    float getSampleRate() override { return 1000.0f; }
    void float2string(float value, char* text, VstInt32 maxLen) override {
        passed.push_back(value);
        PlainEffect::float2string(value, text, maxLen);
    }
    std::vector<float> passed;
};

TEST(Conversions, BuildOnTheEffectsOwnSampleRateAndFloatConversion) {
    RecordingConversionsEffect effect;
    EXPECT_EQ(convert(effect, Hz2string(10.0f), 24), "100.0000");
    EXPECT_EQ(convert(effect, ms2string(250.0f), 24), "250.0000");
    EXPECT_EQ(convert(effect, dB2string(10.0f), 24), "20.00000");
    EXPECT_EQ(convert(effect, Hz2string(0.0f), 24), "0.000000");
    EXPECT_EQ(effect.passed, (std::vector<float>{100.0f, 250.0f, 20.0f, 0.0f}));
}

TEST(Conversions, WriteNothingForANegativeLimit) {
    PlainEffect effect;
    for (const auto& conversion : {float2string(1.5f), dB2string(0.0f), dB2string(2.0f), Hz2string(441.0f),
                                   ms2string(441.0f), int2string(-5), int2string(100000000)}) {
        PatternBuffer<16> text;
        conversion(effect, text.bytes, -1);
        EXPECT_TRUE(text.untouched());
    }
}

}  // namespace
