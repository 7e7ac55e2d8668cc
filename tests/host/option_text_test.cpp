// The render commands' option texts turned into typed values: what each
// text becomes, and the refusals, which name the option.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "commands/option_text.h"
#include "support/host_error.h"
#include "support/text_format.h"

namespace {

std::string shown(const ParameterRef& parameter) {
    return parameter.index ? "#" + std::to_string(*parameter.index) : "'" + parameter.name + "'";
}

// What a parser made of a text, in a few words, or "refused: " and why.
const std::function<std::string(const std::string&)> kParsers[] = {
    [](const std::string& text) {
        const ParameterSetting setting = parseSetting(text);
        if (setting.display) {
            const DisplayText& display = *setting.display;
            return shown(setting.parameter) + " shows '" + display.text + "'" +
                   (display.number ? format(": %g '%s'", *display.number, display.unit.c_str()) : "");
        }
        return shown(setting.parameter) + format(" = %g", static_cast<double>(setting.value));
    },
    [](const std::string& text) {
        const AutomationRequest request = parseAutomation(text);
        std::string points;
        for (const AutomationPoint& point : request.points) {
            points += format(" %g s = %g", point.seconds, static_cast<double>(point.value));
        }
        return shown(request.parameter) + points;
    },
    [](const std::string& text) {
        std::string outputs;
        for (int output : parseChannelList(text)) {
            outputs += " " + std::to_string(output);
        }
        return "outputs" + outputs;
    },
    [](const std::string& text) { return format("depth %d", static_cast<int>(parseBitDepthOption(text))); },
    [](const std::string& text) { return format("dither %d", static_cast<int>(parseDither(text))); },
    [](const std::string& text) {
        return std::string(parsePresetOutput(text) == PresetContainer::Program ? "program" : "bank");
    },
    [](const std::string& text) { return format("rate %d", parseSampleRate(text, "--output-rate")); },
};
enum Parser { kSet, kAutomate, kChannels, kBitDepth, kDither, kPresetOutput, kRate };

TEST(OptionText, EveryTextBecomesATypedValueOrARefusalThatNamesTheOption) {
    const struct {
        Parser parser;
        const char* text;
        const char* expected;  // the whole result, or the start of a refusal
    } kCases[] = {
        {kSet, "Gain=0.25", "'Gain' = 0.25"},
        {kSet, "3=1", "#3 = 1"},
        {kSet, "Mix=Dry=0", "'Mix=Dry' = 0"},
        {kSet, "3", "refused: --set needs NAME=VALUE or INDEX=VALUE, not '3'"},
        {kSet, "=0.5", "refused: --set needs NAME=VALUE or INDEX=VALUE"},
        {kSet, "3=1.5", "refused: --set 3=1.5: VALUE is a normalised parameter value from 0 to 1, not '1.5'"},
        {kSet, "3=nan", "refused: --set 3=nan: VALUE"},
        {kSet, "3= 0.5", "refused: --set 3= 0.5: VALUE"},
        // Anything but a number is the value as the plug-in displays it.
        {kSet, "Gain=+6.0 dB", "'Gain' shows '+6.0 dB': 6 'dB'"},
        {kSet, "Gain=-6dB", "'Gain' shows '-6dB': -6 'dB'"},
        {kSet, "Mode=Low Pass ", "'Mode' shows 'Low Pass'"},
        {kSet, "Gain=-6",
         "refused: --set Gain=-6: VALUE is a normalised parameter value from 0 to 1, not '-6'; a "
         "value as the plug-in displays it comes with its unit, as in Gain=-6dB"},
        {kSet, "Gain=6 ", "refused: --set Gain=6 : VALUE"},
        {kSet, "Ratio=\"4\"", "'Ratio' shows '4': 4 ''"},
        {kSet, "Ratio=\" \"", "refused: --set Ratio=\" \": the display text in quotes is empty"},
        {kSet, "Gain=", "refused: --set Gain=: VALUE"},
        {kSet, "99999999999=0.5", "refused: --set names parameter 99999999999, which no plug-in has"},
        {kAutomate, "Drive:1=0,2=1,3=1", "'Drive' 1 s = 0 2 s = 1 3 s = 1"},
        {kAutomate, "a:b:0=0.5", "'a:b' 0 s = 0.5"},
        {kAutomate, "Drive", "refused: --automate needs NAME_OR_INDEX:TIME=VALUE"},
        {kAutomate, ":0=1", "refused: --automate needs NAME_OR_INDEX:TIME=VALUE"},
        {kAutomate, "Drive:1", "refused: --automate point '1' is not TIME=VALUE"},
        {kAutomate, "Drive:0=0,,1=1", "refused: --automate point '' is not TIME=VALUE"},
        {kAutomate, "Drive:2=0,1=1", "refused: --automate times go forwards"},
        {kAutomate, "Drive:-1=0", "refused: --automate times go forwards"},
        {kAutomate, "Drive:1e300=0", "refused: --automate times go forwards from 0 to at most 86400 s"},
        {kAutomate, "Drive:0=1.5", "refused: --automate point '0=1.5': VALUE is a normalised"},
        {kChannels, "3,1-2", "outputs 2 0 1"},
        {kChannels, "0", "refused: --channels takes output numbers from 1, like 1,2 or 3-4, not '0'"},
        {kChannels, "foo", "refused: --channels takes output numbers from 1"},
        {kChannels, "1,", "refused: --channels takes output numbers from 1"},
        {kChannels, "4-2", "refused: --channels range 4-2 runs backwards"},
        {kChannels, "1-100000,1-100000", "refused: --channels names more than 100000 outputs"},
        {kBitDepth, "24", "depth 3"},
        {kBitDepth, "FLOAT", "depth 5"},
        {kBitDepth, "12", "refused: --bit-depth takes 8, 16, 24, 32, float or double, not '12'"},
        {kDither, "tpdf", "dither 1"},
        {kDither, "rpdf", "refused: --dither takes none or tpdf, not 'rpdf'"},
        {kPresetOutput, "dir/My Sound.FXP", "program"},
        {kPresetOutput, "all.fxb", "bank"},
        {kPresetOutput, "dir/.fxb",
         "refused: --output names a program file (.fxp) or a bank of every program (.fxb), "
         "not 'dir/.fxb'"},
        {kPresetOutput, "sound.fx", "refused: --output names a program file"},
        {kRate, "48000", "rate 48000"},
        {kRate, "768000", "rate 768000"},
        {kRate, "44100.5", "refused: --output-rate takes a whole number of hertz from 8000 to 768000, not '44100.5'"},
        {kRate, "44100.0", "refused: --output-rate takes a whole number"},
        {kRate, "7999", "refused: --output-rate takes a whole number"},
        {kRate, "768001", "refused: --output-rate takes a whole number"},
        {kRate, "+48000", "refused: --output-rate takes a whole number"},
        {kRate, "99999999999999999999", "refused: --output-rate takes a whole number"},
    };
    for (const auto& entry : kCases) {
        std::string result;
        try {
            result = kParsers[entry.parser](entry.text);
        } catch (const HostError& error) {
            EXPECT_EQ(error.kind(), ErrorKind::Usage);
            result = std::string("refused: ") + error.what();
        }
        EXPECT_EQ(result.rfind(entry.expected, 0), 0u) << entry.text << " gave: " << result;
        EXPECT_TRUE(result.find("refused") == 0 || result == entry.expected) << entry.text << " gave: " << result;
    }
}

}  // namespace
