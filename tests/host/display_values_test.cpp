// Parameters set by the text a plug-in displays: how texts compare, and the
// search through a plug-in's own display function, on our effect (whole
// numbers cut toward zero, and crossover frequencies too fine for the
// scan) and a stub (decimals rounded, percent, words).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opcodes.h"
#include "plugin/display_search.h"
#include "plugin/display_text.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"

namespace {

TEST(DisplayText, TextsMatchWhateverTheSpacingSignDigitsAndWhereTheUnitStands) {
    const struct {
        const char* wanted;
        const char* display;
        const char* label;
        bool matches;
    } kCases[] = {
        {"+6.0 dB", "6", "dB", true},
        {"6dB", "6.00 dB", "", true},
        {"6 db", "+6.00", "dB", true},
        {"6 dB", "6", "", true},  // a unit the plug-in does not show at all
        {"6 dB", "6", "Hz", false},
        {"6.5 dB", "6", "dB", false},
        {"-0 dB", "0", "dB", true},
        {"1 kHz", "1.0k", "Hz", true},
        {"1 kHz", "1000", "Hz", false},
        {"\xE2\x88\x92"
         "3 dB",
         "-3", "dB", true},
        {"On", "ON", "", true},
        {"low pass", "LowPass", "", true},
        {"-oo dB", "-oo", "dB", true},
        {"On", "On/Off", "", false},
        {"6 dB", "On", "", false},
    };
    for (const auto& entry : kCases) {
        EXPECT_EQ(displayMatches(splitDisplayText(entry.wanted), entry.display, entry.label), entry.matches)
            << entry.wanted << " against " << entry.display << " " << entry.label;
    }
    const DisplayText split = splitDisplayText("  -1.5e3 ms ");
    EXPECT_EQ(split.text, "-1.5e3 ms");
    EXPECT_EQ(split.number, -1500.0);
    EXPECT_EQ(split.unit, "ms");
    EXPECT_FALSE(splitDisplayText("e5 Hz").number);
}

struct Case {
    const char* plugin;
    VstInt32 index;
    const char* wanted;
    double value;                      // found (within 1e-4); negative: none
    std::vector<std::string> nearest;  // when none
};

TEST(DisplaySearch, FindsTheTidiestValueInTheMiddleOfWhatShowsATextOrNamesTheNearest) {
    const std::string stub = std::string(KD_STUB_DIR) + "/stub_effect" KD_LIBRARY_SUFFIX;
    std::vector<Case> cases = {
        // 20·log10(2v) with two decimals: "+6.02" from 0.99936 to 1.
        {stub.c_str(), 0, "+6.02 dB", 1.0, {}},
        {stub.c_str(), 0, "0dB", 0.5, {}},
        {stub.c_str(), 0, "-6 dB", 0.2506, {}},
        {stub.c_str(), 1, "37 %", 0.37, {}},
        {stub.c_str(), 1, "37.5 %", -1.0, {"37 %", "38 %"}},  // printf rounds 37.5 to even
        {stub.c_str(), 2, "on", 1.0, {}},
        {stub.c_str(), 2, "Off", 0.0, {}},
        {stub.c_str(), 2, "Maybe", -1.0, {"Off", "On"}},
        {stub.c_str(), 1, "-3 %", -1.0, {"0 %"}},
    };
#ifdef KD_KDISTORTION
    const std::vector<Case> ours = {
        // v·40 − 20 cut toward zero: "6" from 0.65 to 0.675.
        {KD_KDISTORTION, 0, "+6 dB", 0.66, {}},
        {KD_KDISTORTION, 0, "-20 dB", 0.0, {}},
        {KD_KDISTORTION, 0, "6.5 dB", -1.0, {"6 dB", "7 dB"}},
        {KD_KDISTORTION, 0, "On", -1.0, {"-20 dB", "20 dB"}},
        // v·18875 + 125: each hertz is 1/18875 wide, missed by the scan.
        {KD_KDISTORTION, 6, "5032 Hz", 0.26, {}},
        {KD_KDISTORTION, 6, "5032.5 Hz", -1.0, {"5032 Hz", "5033 Hz"}},
        {KD_KDISTORTION, 2, "50%", 0.5, {}},
    };
    cases.insert(cases.end(), ours.begin(), ours.end());
#endif
    for (const Case& entry : cases) {
        PluginModule module(entry.plugin);
        PluginInstance instance(module);
        instance.openForPlayback(44100.0f, 512);
        const DisplaySearch search = searchDisplay(instance, entry.index, splitDisplayText(entry.wanted));
        if (entry.value < 0.0) {
            EXPECT_FALSE(search.value) << entry.wanted << " found at " << search.value.value_or(-1.0f);
            EXPECT_EQ(search.nearest, entry.nearest) << entry.wanted;
            continue;
        }
        ASSERT_TRUE(search.value) << entry.wanted << " not found; nearest " << search.nearest.front();
        EXPECT_NEAR(*search.value, entry.value, 1e-4) << entry.wanted;
        instance.setParameter(entry.index, *search.value);
        EXPECT_TRUE(displayMatches(splitDisplayText(entry.wanted),
                                   instance.text(effGetParamDisplay, entry.index, 8).text,
                                   instance.text(effGetParamLabel, entry.index, 8).text))
            << entry.wanted << " at " << *search.value;
    }
}

}  // namespace
