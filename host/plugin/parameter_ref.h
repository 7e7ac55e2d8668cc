// A plug-in parameter as a user names it, by index or by name, and a value
// for it: what the command line says before any plug-in is loaded.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "plugin/display_text.h"

// Once resolved against a plug-in (parameter_lookup.h), both the index and
// the name are known.
struct ParameterRef {
    std::optional<int> index;
    std::string name;

    ParameterRef() = default;
    // NOLINTNEXTLINE(google-explicit-constructor): an index is a reference.
    ParameterRef(int at) : index(at) {}
    static ParameterRef named(std::string name);
    // The name when known, else the index: for messages.
    std::string text() const;
};

// A value for a parameter, applied after the program: normalised, or the
// text the plug-in should display, whose value is found once it is loaded.
struct ParameterSetting {
    ParameterSetting() = default;
    ParameterSetting(ParameterRef ref, float normalised) : parameter(std::move(ref)), value(normalised) {}

    ParameterRef parameter;
    float value = 0.0f;
    std::optional<DisplayText> display;
};
