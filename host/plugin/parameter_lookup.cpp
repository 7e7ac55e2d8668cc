#include "plugin/parameter_lookup.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
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

bool wholeNumber(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

int findParameter(PluginInstance& instance, const std::string& nameOrIndex) {
    const int count = instance.numParams();
    if (wholeNumber(nameOrIndex)) {
        errno = 0;
        const long index = std::strtol(nameOrIndex.c_str(), nullptr, 10);
        if (errno != 0 || index >= count) {
            throw UsageError("parameter " + nameOrIndex + " does not exist: the plug-in has " + std::to_string(count) +
                             " parameters" + (count > 0 ? " (0 to " + std::to_string(count - 1) + ")" : ""));
        }
        return static_cast<int>(index);
    }
    std::vector<std::string> names;
    for (int index = 0; index < count; ++index) {
        names.push_back(instance.text(effGetParamName, index, kVstMaxParamStrLen).text);
    }
    std::vector<int> matches;
    for (int pass = 0; pass < 2 && matches.empty(); ++pass) {
        for (int index = 0; index < count; ++index) {
            const std::string& name = names[static_cast<std::size_t>(index)];
            if (pass == 0 ? name == nameOrIndex : folded(name) == folded(nameOrIndex)) {
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
        throw UsageError("several parameters are called \"" + nameOrIndex + "\" (" + indices +
                         "): give the index instead");
    }
    std::string list;
    for (std::size_t index = 0; index < names.size() && index < kNamesListed; ++index) {
        list += (list.empty() ? "" : ", ") + std::to_string(index) + " " + printable(names[index]);
    }
    if (names.size() > kNamesListed) {
        list += ", ...";
    }
    throw UsageError("the plug-in has no parameter called \"" + nameOrIndex + "\"" +
                     (list.empty() ? std::string(": it has no parameters") : "; its parameters: " + list));
}

std::string settingProblem(const std::string& text) {
    const auto equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        return "needs NAME=VALUE or INDEX=VALUE, not '" + text + "'";
    }
    const std::string value = text.substr(equals + 1);
    char* end = nullptr;
    errno = 0;
    const double level = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || errno != 0 || !(level >= 0.0 && level <= 1.0)) {
        return "VALUE is a normalised parameter value from 0 to 1, not '" + value + "'";
    }
    return "";
}

ParameterValue splitSetting(const std::string& text) {
    const auto equals = text.rfind('=');
    return ParameterValue{text.substr(0, equals), static_cast<float>(std::strtod(text.c_str() + equals + 1, nullptr))};
}
