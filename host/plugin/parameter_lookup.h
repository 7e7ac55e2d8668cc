// Finding a plug-in parameter by what a user typed: its index, or its name
// as the plug-in gives it.
#pragma once

#include <string>

class PluginInstance;

// A whole number is an index; anything else is a name, matched exactly,
// else ignoring case and surrounding spaces. Throws UsageError for an index
// out of range, an unknown name (listing the names) or a name that several
// parameters share.
int findParameter(PluginInstance& instance, const std::string& nameOrIndex);

// "NAME=VALUE" or "INDEX=VALUE" with a normalised value; an empty text when
// it is one, else what is wrong with it.
std::string settingProblem(const std::string& text);

struct ParameterValue {
    std::string parameter;
    float value;
};
// Splits text that settingProblem accepts.
ParameterValue splitSetting(const std::string& text);
