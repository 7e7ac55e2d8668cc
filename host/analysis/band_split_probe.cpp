#include "analysis/band_split_probe.h"

#include <cstdlib>
#include <string>

#include "opcodes.h"
#include "plugin/plugin_instance.h"

namespace {

// K Distortion: three bands split by two crossover low-passes, each band
// with a level from -20 dB (0.0) to +20 dB (1.0). A band plays alone when
// its level is at the top and the others at the bottom (40 dB apart), with
// both distortions off so that the filters are measured on their own.
constexpr VstInt32 kKDistortionId = fourCharCode('K', 'r', 'v', 'x');
constexpr const char* kSplitSwitch = "EQ";
constexpr const char* kDistortionSwitches[] = {"K.Dist", "Mult.Dis"};
constexpr const char* kBandLevels[] = {"Low", "Mid", "High"};
constexpr const char* kBandNames[] = {"low", "mid", "high"};
constexpr const char* kCrossoverFrequencies[] = {"Frq L-M", "Frq M-H"};
constexpr float kSwitchOn = 0.5f;

int parameterNamed(PluginInstance& instance, const std::string& name) {
    for (VstInt32 index = 0; index < instance.numParams(); ++index) {
        if (instance.text(effGetParamName, index, kVstMaxParamStrLen).text == name) {
            return index;
        }
    }
    return -1;
}

// The figure of a display text such as "515", if it is one.
std::optional<double> displayedNumber(PluginInstance& instance, int index) {
    const std::string text = instance.text(effGetParamDisplay, index, kVstMaxParamStrLen).text;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<BandSplitPlan> bandSplitPlan(PluginInstance& instance) {
    if (instance.effect()->uniqueID != kKDistortionId) {
        return std::nullopt;
    }
    const int split = parameterNamed(instance, kSplitSwitch);
    if (split < 0 || instance.parameter(split) < kSwitchOn) {
        return std::nullopt;
    }
    int levels[3];
    for (int band = 0; band < 3; ++band) {
        levels[band] = parameterNamed(instance, kBandLevels[band]);
        if (levels[band] < 0) {
            return std::nullopt;
        }
    }
    std::vector<ParameterSetting> distortionOff;
    for (const char* name : kDistortionSwitches) {
        const int index = parameterNamed(instance, name);
        if (index >= 0) {
            distortionOff.push_back({index, 0.0f});
        }
    }

    BandSplitPlan plan;
    for (int band = 0; band < 3; ++band) {
        BandProbe probe{kBandNames[band], distortionOff};
        for (int other = 0; other < 3; ++other) {
            probe.solo.push_back({levels[other], other == band ? 1.0f : 0.0f});
        }
        plan.bands.push_back(probe);
    }
    for (const char* name : kCrossoverFrequencies) {
        const int index = parameterNamed(instance, name);
        plan.shownCrossovers.push_back(index >= 0 ? displayedNumber(instance, index) : std::nullopt);
    }
    return plan;
}
