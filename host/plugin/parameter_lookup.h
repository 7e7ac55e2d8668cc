// Finding a plug-in parameter by what a user typed: its index, or its name
// as the plug-in gives it.
#pragma once

#include <optional>
#include <string>

class PluginInstance;

// A parameter as the user names it, by index or by name; once resolved
// against a plug-in, both are known.
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

// A normalised value for a parameter, applied after the program.
struct ParameterSetting {
    ParameterRef parameter;
    float value = 0.0f;
};

// The parameter with both its index and the name the plug-in gives it. A
// name is matched exactly, else ignoring case and surrounding spaces.
// Throws UsageError for an index out of range, an unknown name (listing the
// names) or a name that several parameters share.
ParameterRef resolveParameter(PluginInstance& instance, const ParameterRef& parameter);
