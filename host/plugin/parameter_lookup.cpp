#include "plugin/parameter_lookup.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "opcodes.h"
#include "plugin/describe.h"
#include "plugin/plugin_instance.h"
#include "support/host_error.h"

namespace {

constexpr std::size_t kNamesListed = 24;

std::string folded(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    std::string result = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

std::string nameOf(PluginInstance& instance, int index) {
    return instance.text(effGetParamName, index, kVstMaxParamStrLen).text;
}

int indexNamed(PluginInstance& instance, const std::string& wanted) {
    const int count = instance.numParams();
    std::vector<std::string> names;
    for (int index = 0; index < count; ++index) {
        names.push_back(nameOf(instance, index));
    }
    std::vector<int> matches;
    for (int pass = 0; pass < 2 && matches.empty(); ++pass) {
        for (int index = 0; index < count; ++index) {
            const std::string& name = names[static_cast<std::size_t>(index)];
            if (pass == 0 ? name == wanted : folded(name) == folded(wanted)) {
                matches.push_back(index);
            }
        }
    }
    if (matches.size() == 1) {
        return matches.front();
    }
    if (matches.size() > 1) {
        std::string indices;
        for (int index : matches) {
            indices += (indices.empty() ? "" : ", ") + std::to_string(index);
        }
        throw UsageError("several parameters are called \"" + wanted + "\" (" + indices + "): give the index instead");
    }
    std::string list;
    for (std::size_t index = 0; index < names.size() && index < kNamesListed; ++index) {
        list += (list.empty() ? "" : ", ") + std::to_string(index) + " " + printable(names[index]);
    }
    if (names.size() > kNamesListed) {
        list += ", ...";
    }
    throw UsageError("the plug-in has no parameter called \"" + wanted + "\"" +
                     (list.empty() ? std::string(": it has no parameters") : "; its parameters: " + list));
}

}  // namespace

ParameterRef resolveParameter(PluginInstance& instance, const ParameterRef& parameter) {
    const int count = instance.numParams();
    ParameterRef resolved;
    if (parameter.index) {
        if (*parameter.index < 0 || *parameter.index >= count) {
            throw UsageError("parameter " + std::to_string(*parameter.index) + " does not exist: the plug-in has " +
                             std::to_string(count) + " parameters" +
                             (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : ""));
        }
        resolved.index = parameter.index;
    } else {
        resolved.index = indexNamed(instance, parameter.name);
    }
    resolved.name = printable(nameOf(instance, *resolved.index));
    return resolved;
}
