// Parameter values as a plug-in displays them ("+6.0 dB", "440 Hz", "On"),
// compared the way a user reads them: spacing, a plus sign, letter case
// and how many digits a number has ("6" is "6.00") do not matter, and the
// unit may come from the display text itself or from the parameter's label.
#pragma once

#include <optional>
#include <string>

// A display text split into the decimal number it starts with, if any, and
// what follows it.
struct DisplayText {
    std::string text;  // without surrounding spaces
    std::optional<double> number;
    std::string unit;  // after the number, without surrounding spaces; empty without a number
};

DisplayText splitDisplayText(const std::string& text);

// The number the plug-in shows (`display`, with its `label`), when it shows
// one in the unit `wanted` asks for. A unit the plug-in does not show at all
// is no obstacle, so that "6 dB" finds a gain displayed as a bare "6".
std::optional<double> comparableNumber(const DisplayText& wanted, const std::string& display, const std::string& label);

// Whether the plug-in's `display` and `label` say what `wanted` says.
bool displayMatches(const DisplayText& wanted, const std::string& display, const std::string& label);

// "6 dB": the display with its label, as a user sees them together.
std::string shownWithLabel(const std::string& display, const std::string& label);
