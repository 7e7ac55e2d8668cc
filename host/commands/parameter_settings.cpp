#include "commands/parameter_settings.h"

#include <cerrno>
#include <cstdlib>

std::string settingProblem(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) {
        return "needs INDEX=VALUE, not '" + text + "'";
    }
    const std::string index = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(index.c_str(), &end, 10);
    if (index.empty() || *end != '\0' || errno != 0 || number < 0 || number > 100000) {
        return "INDEX needs a whole number from 0, not '" + index + "'";
    }
    const double level = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(level >= 0.0 && level <= 1.0)) {
        return "VALUE is a normalised parameter value from 0 to 1, not '" + value + "'";
    }
    return "";
}

ParameterSetting parseSetting(const std::string& text) {
    const auto equals = text.find('=');
    return ParameterSetting{std::atoi(text.substr(0, equals).c_str()),
                            static_cast<float>(std::strtod(text.c_str() + equals + 1, nullptr))};
}
