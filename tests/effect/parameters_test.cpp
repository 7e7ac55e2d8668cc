#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "distortion_k.h"
#include "effect_driver.h"
#include "parameter_display.h"

namespace {

// A host buffer with guard bytes: the effect may write the first nine bytes
// (eight characters and the terminator), never more.
struct TextBuffer {
    static constexpr std::size_t kSize = 32;
    std::array<char, kSize> bytes;
    TextBuffer() { bytes.fill('\x7f'); }
    char* data() { return bytes.data(); }
    std::string text() const { return std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), '\0')); }
    // Number of bytes written, judged by how far the guard pattern was replaced.
    std::size_t written() const {
        std::size_t last = 0;
        for (std::size_t i = 0; i < kSize; ++i) {
            if (bytes[i] != '\x7f') {
                last = i + 1;
            }
        }
        return last;
    }
};

std::string display(DistortionK& effect, VstInt32 index) {
    TextBuffer buffer;
    effect.getParameterDisplay(index, buffer.data());
    EXPECT_LE(buffer.written(), 9u) << "display of parameter " << index;
    return buffer.text();
}

std::string displayAt(DistortionK& effect, VstInt32 index, float value) {
    effect.setParameter(index, value);
    return display(effect, index);
}

std::array<float, kParameterCount> snapshot(DistortionK& effect) {
    std::array<float, kParameterCount> values{};
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        values[i] = effect.getParameter(i);
    }
    return values;
}

struct Texts {
    const char* name;
    const char* label;
};
constexpr Texts kHostTexts[kParameterCount] = {
    {"Gain", "dB"},         {"K.Dist", "On/Off"}, {"L.Dist", "%"},  {"Mix.Dist", "%"}, {"EQ", "On/Off"},
    {"Frq L-M", "Hz"},      {"Frq M-H", "Hz"},    {"Low", "dB"},    {"Mid", "dB"},     {"High", "dB"},
    {"Mult.Dis", "On/Off"}, {"DistLow", "%"},     {"DistMid", "%"}, {"DistHigh", "%"}, {"GainLow", "dB"},
    {"GainMid", "dB"},      {"GainHigh", "dB"},
};

}  // namespace

TEST(ParameterTexts, NamesAndLabelsFillExactlyNineBytesZeroPadded) {
    DistortionK effect{nullptr};
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        TextBuffer name, label;
        effect.getParameterName(i, name.data());
        effect.getParameterLabel(i, label.data());
        EXPECT_EQ(name.text(), kHostTexts[i].name) << "parameter " << i;
        EXPECT_EQ(label.text(), kHostTexts[i].label) << "parameter " << i;
        for (const TextBuffer* b : {&name, &label}) {
            EXPECT_EQ(b->written(), 9u) << "parameter " << i;
            for (std::size_t k = std::strlen(b->bytes.data()); k < 9; ++k) {
                EXPECT_EQ(b->bytes[k], 0) << "padding byte " << k << " of parameter " << i;
            }
        }
    }
}

TEST(ParameterTexts, IndicesOutsideTheTableLeaveBuffersAndFieldsAlone) {
    DistortionK effect{nullptr};
    const std::array<float, kParameterCount> before = snapshot(effect);
    for (VstInt32 bad : {17, 18, -1, INT32_MIN, INT32_MAX}) {
        TextBuffer name, label, text;
        effect.getParameterName(bad, name.data());
        effect.getParameterLabel(bad, label.data());
        effect.getParameterDisplay(bad, text.data());
        EXPECT_EQ(name.written() + label.written() + text.written(), 0u) << "index " << bad;
        EXPECT_EQ(effect.getParameter(bad), 0.0f) << "index " << bad;
        effect.setParameter(bad, 0.3f);
        EXPECT_EQ(snapshot(effect), before) << "index " << bad;
    }
}

TEST(ParameterValues, AreStoredExactlyAsGivenWithoutClamping) {
    DistortionK effect{nullptr};
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        for (float v : {-3.25f, 0.0f, 0.123456789f, 1.0f, 1.5f, 1e30f}) {
            effect.setParameter(i, v);
            EXPECT_EQ(effect.getParameter(i), v) << "parameter " << i;
        }
    }
    // Each index has its own field.
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        effect.setParameter(i, static_cast<float>(i) + 0.5f);
    }
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        EXPECT_EQ(effect.getParameter(i), static_cast<float>(i) + 0.5f) << "parameter " << i;
    }
}

TEST(ParameterDisplay, AfterConstructionShowsProgramZero) {
    DistortionK effect{nullptr};
    EXPECT_EQ(display(effect, kGain), "0");
    EXPECT_EQ(display(effect, kMainDistOn), "0");
    EXPECT_EQ(display(effect, kMainDistAmount), "70");
    EXPECT_EQ(display(effect, kMainDistMix), "100");
    EXPECT_EQ(display(effect, kLowMidCrossover), "515");
    EXPECT_EQ(display(effect, kMidHighCrossover), "5032");
}

TEST(ParameterDisplay, EveryRowShowsTheEndsOfItsLawAtZeroAndOne) {
    // The five laws differ at these two values, so a row with the wrong law fails.
    const struct {
        VstInt32 index;
        const char* atZero;
        const char* atOne;
    } rows[] = {
        {kGain, "-20", "20"},
        {kMainDistOn, "0", "1"},
        {kMainDistAmount, "0", "100"},
        {kMainDistMix, "0", "100"},
        {kEqOn, "0", "1"},
        {kLowMidCrossover, "20", "2000"},
        {kMidHighCrossover, "125", "19000"},
        {kLowLevel, "-20", "20"},
        {kMidLevel, "-20", "20"},
        {kHighLevel, "-20", "20"},
        {kMultiDistOn, "0", "1"},
        {kLowDistAmount, "0", "100"},
        {kMidDistAmount, "0", "100"},
        {kHighDistAmount, "0", "100"},
        {kLowDistGain, "-20", "20"},
        {kMidDistGain, "-20", "20"},
        {kHighDistGain, "-20", "20"},
    };
    static_assert(sizeof(rows) / sizeof(rows[0]) == kParameterCount, "one row per parameter");
    DistortionK effect{nullptr};
    for (const auto& row : rows) {
        EXPECT_EQ(displayAt(effect, row.index, 0.0f), row.atZero) << "parameter " << row.index << " at 0";
        EXPECT_EQ(displayAt(effect, row.index, 1.0f), row.atOne) << "parameter " << row.index << " at 1";
    }
}

TEST(ParameterDisplay, DecibelFiguresAreTruncatedTowardZero) {
    DistortionK effect{nullptr};
    const struct {
        float value;
        const char* text;
    } cases[] = {{0.3f, "-7"}, {0.4f, "-3"}, {0.35f, "-6"}, {0.45f, "-2"},
                 {0.58f, "3"}, {0.73f, "9"}, {0.8f, "12"},  {0.5f, "0"}};
    for (VstInt32 index : {kGain, kLowLevel, kHighDistGain}) {
        for (const auto& c : cases) {
            EXPECT_EQ(displayAt(effect, index, c.value), c.text) << "parameter " << index << " at " << c.value;
        }
    }
}

TEST(ParameterDisplay, PercentFrequencyAndSwitchRowsFollowTheirLaws) {
    DistortionK effect{nullptr};
    const struct {
        VstInt32 index;
        float value;
        const char* text;
    } cases[] = {
        {kMainDistAmount, 0.9f, "89"},      {kMainDistAmount, 0.7f, "69"},     {kHighDistAmount, 0.52f, "51"},
        {kLowDistAmount, 0.72f, "72"},      {kLowDistAmount, 0.91f, "91"},     {kMidDistAmount, 0.3f, "30"},
        {kLowMidCrossover, 0.127f, "271"},  {kMidHighCrossover, 0.2f, "3900"}, {kMidHighCrossover, 0.14f, "2767"},
        {kMidHighCrossover, 0.27f, "5221"}, {kLowMidCrossover, 1.5f, "2990"},  {kEqOn, 0.999f, "0"},
        {kMultiDistOn, 0.5f, "0"},          {kMainDistOn, -0.5f, "0"},         {kMainDistOn, -1.0f, "-1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayAt(effect, c.index, c.value), c.text) << "parameter " << c.index << " at " << c.value;
    }
}

TEST(ParameterDisplay, NonFiniteAndHugeValuesGiveShortWords) {
    DistortionK effect{nullptr};
    EXPECT_EQ(displayAt(effect, kGain, std::numeric_limits<float>::quiet_NaN()), "nan");
    EXPECT_EQ(displayAt(effect, kGain, std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(displayAt(effect, kGain, -std::numeric_limits<float>::infinity()), "-inf");
    EXPECT_EQ(displayAt(effect, kMidHighCrossover, 1e30f), "Huge!");
    EXPECT_EQ(displayAt(effect, kMidHighCrossover, -1e30f), "-Huge!");
    EXPECT_EQ(displayAt(effect, kEqOn, 3e9f), "Huge!") << "beyond the int32 range";
    EXPECT_EQ(displayAt(effect, kEqOn, std::numeric_limits<float>::max()), "Huge!");
}

TEST(DisplayFigure, UsesDigitsUpToEightCharactersAndWordsBeyond) {
    const struct {
        double figure;
        const char* text;
    } cases[] = {
        {99999999.9, "99999999"},  {1e8, "Huge!"}, {-9999999.9, "-9999999"},
        {-1e7, "-Huge!"},          {-0.9, "0"},    {2147483648.0, "Huge!"},
        {-2147483649.0, "-Huge!"}, {12.99, "12"},
    };
    for (const auto& c : cases) {
        TextBuffer buffer;
        formatDisplayFigure(c.figure, buffer.data());
        EXPECT_EQ(buffer.text(), c.text) << "figure " << c.figure;
        EXPECT_LE(buffer.written(), 9u) << "figure " << c.figure;
    }
}
