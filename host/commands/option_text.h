// The command line's text turned into typed values at the edge, before any
// file is opened or any plug-in loaded. Each parser throws UsageError whose
// message names the option and says what it takes.
#pragma once

#include <string>
#include <vector>

#include "audio/automation.h"
#include "audio/output_format.h"
#include "audio/sample_quantizer.h"
#include "plugin/parameter_ref.h"
#include "plugin/preset_file.h"

// Automation points lie within this many seconds of the start.
inline constexpr double kLatestAutomationSeconds = 86400.0;

// "NAME=VALUE" or "INDEX=VALUE" (--set): a whole number is an index, any
// other text a name. A number is a normalised value, 0 to 1; any other text
// ("+6 dB", "6dB", "On") the value as the plug-in displays it, split into
// its number and unit. A number without a unit is a display text only in
// double quotes ("4"), for parameters displayed without one.
ParameterSetting parseSetting(const std::string& text);

// "NAME_OR_INDEX:TIME=VALUE,TIME=VALUE,..." (--automate): times in seconds,
// from 0 on and never going back; values normalised.
AutomationRequest parseAutomation(const std::string& text);

// "1,2,5-8" (--channels), counted from 1, to outputs counted from 0.
std::vector<int> parseChannelList(const std::string& text);

// "8", "16", "24", "32", "float", "double" (--bit-depth).
BitDepth parseBitDepthOption(const std::string& text);

// "none", "tpdf" (--dither).
Dither parseDither(const std::string& text);

// The file save-preset writes (-o): a name ending in ".fxp" is a program,
// ".fxb" a bank of every program, in any letter case.
PresetContainer parsePresetOutput(const std::string& path);

// Sample rates a render takes (--rate, --output-rate): whole numbers of
// hertz in this range.
inline constexpr int kLowestSampleRate = 8000;
inline constexpr int kHighestSampleRate = 768000;
// "48000"; `option` names the option in the refusal.
int parseSampleRate(const std::string& text, const char* option);
