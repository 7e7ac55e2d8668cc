// A plug-in parameter as a user names it, by index or by name, and a value
// for it: what the command line says before any plug-in is loaded.
#pragma once

#include <optional>
#include <string>

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

// A normalised value for a parameter, applied after the program.
struct ParameterSetting {
    ParameterRef parameter;
    float value = 0.0f;
};
