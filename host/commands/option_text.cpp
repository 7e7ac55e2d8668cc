#include "commands/option_text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "support/host_error.h"

namespace {

constexpr int kLargestChannelNumber = 100000;
// Parameter indices beyond this are refused as text: no plug-in has so many.
constexpr long kLargestParameterIndex = 1 << 30;

struct DitherWord {
    const char* word;
    Dither dither;
};
constexpr DitherWord kDitherWords[] = {{"none", Dither::None}, {"tpdf", Dither::Tpdf}};

struct PresetExtension {
    const char* extension;
    PresetContainer container;
};
constexpr PresetExtension kPresetExtensions[] = {{".fxp", PresetContainer::Program}, {".fxb", PresetContainer::Bank}};

// A finite decimal number filling the whole text, or nothing.
std::optional<double> number(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<float> normalised(const std::string& text) {
    const std::optional<double> value = number(text);
    if (!value || *value < 0.0 || *value > 1.0) {
        return std::nullopt;
    }
    return static_cast<float>(*value);
}

// Whether strtod reads all of `text` as a number, spaces, NaN and
// infinities included.
bool readsAsNumber(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

bool wholeNumber(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

ParameterRef parameterNamed(const std::string& text, const char* option) {
    if (!wholeNumber(text)) {
        return ParameterRef::named(text);
    }
    errno = 0;
    const long index = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || index > kLargestParameterIndex) {
        throw UsageError(std::string(option) + " names parameter " + text + ", which no plug-in has");
    }
    return ParameterRef(static_cast<int>(index));
}

int channelNumber(const std::string& text, const std::string& whole) {
    if (!wholeNumber(text) || text.size() > 6 || std::stol(text) < 1 || std::stol(text) > kLargestChannelNumber) {
        throw UsageError("--channels takes output numbers from 1, like 1,2 or 3-4, not '" + whole + "'");
    }
    return static_cast<int>(std::stol(text));
}

// The comma-separated items of a list; an empty text is one empty item.
std::vector<std::string> items(const std::string& list) {
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        result.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return result;
}

}  // namespace

ParameterSetting parseSetting(const std::string& text) {
    const auto equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("--set needs NAME=VALUE or INDEX=VALUE, not '" + text + "'");
    }
    const std::string value = text.substr(equals + 1);
    ParameterSetting setting(parameterNamed(text.substr(0, equals), "--set"), 0.0f);
    if (const std::optional<float> level = normalised(value)) {
        setting.value = *level;
        return setting;
    }
    // In double quotes, any text is a display text, a bare number too.
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    const DisplayText display = splitDisplayText(quoted ? value.substr(1, value.size() - 2) : value);
    if (!quoted && (readsAsNumber(value) || display.text.empty() || (display.number && display.unit.empty()))) {
        throw UsageError("--set " + text + ": VALUE is a normalised parameter value from 0 to 1, not '" + value +
                         "'; a value as the plug-in displays it comes with its unit, as in Gain=-6dB, or in double "
                         "quotes, as in Ratio=\"4\"");
    }
    if (display.text.empty()) {
        throw UsageError("--set " + text + ": the display text in quotes is empty");
    }
    setting.display = display;
    return setting;
}

AutomationRequest parseAutomation(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw UsageError("--automate needs NAME_OR_INDEX:TIME=VALUE,TIME=VALUE,..., not '" + text + "'");
    }
    AutomationRequest request;
    request.parameter = parameterNamed(text.substr(0, colon), "--automate");
    for (const std::string& point : items(text.substr(colon + 1))) {
        const auto equals = point.find('=');
        const std::optional<double> seconds = number(point.substr(0, std::min(equals, point.size())));
        const std::optional<float> value =
            equals == std::string::npos ? std::nullopt : normalised(point.substr(equals + 1));
        if (!seconds || equals == std::string::npos) {
            throw UsageError("--automate point '" + point + "' is not TIME=VALUE (seconds = normalised value)");
        }
        if (!value) {
            throw UsageError("--automate point '" + point +
                             "': VALUE is a normalised parameter value from 0 to 1, not '" + point.substr(equals + 1) +
                             "'");
        }
        const double previous = request.points.empty() ? 0.0 : request.points.back().seconds;
        if (*seconds < previous || *seconds > kLatestAutomationSeconds) {
            throw UsageError("--automate times go forwards from 0 to at most " +
                             std::to_string(static_cast<int>(kLatestAutomationSeconds)) + " s, not " +
                             point.substr(0, equals) +
                             (request.points.empty() ? "" : " after " + std::to_string(previous)));
        }
        request.points.push_back({*seconds, *value});
    }
    return request;
}

std::vector<int> parseChannelList(const std::string& text) {
    std::vector<int> outputs;
    for (const std::string& item : items(text)) {
        const std::size_t dash = item.find('-');
        const int first = channelNumber(item.substr(0, dash), text);
        const int last = dash == std::string::npos ? first : channelNumber(item.substr(dash + 1), text);
        if (last < first) {
            throw UsageError("--channels range " + item + " runs backwards");
        }
        if (outputs.size() + static_cast<std::size_t>(last - first) >=
            static_cast<std::size_t>(kLargestChannelNumber)) {
            throw UsageError("--channels names more than " + std::to_string(kLargestChannelNumber) + " outputs");
        }
        for (int channel = first; channel <= last; ++channel) {
            outputs.push_back(channel - 1);
        }
    }
    return outputs;
}

BitDepth parseBitDepthOption(const std::string& text) {
    const std::optional<BitDepth> depth = parseBitDepth(text);
    if (!depth) {
        throw UsageError(std::string("--bit-depth takes ") + kBitDepthWords + ", not '" + text + "'");
    }
    return *depth;
}

Dither parseDither(const std::string& text) {
    for (const DitherWord& entry : kDitherWords) {
        if (text == entry.word) {
            return entry.dither;
        }
    }
    throw UsageError("--dither takes none or tpdf, not '" + text + "'");
}

PresetContainer parsePresetOutput(const std::string& path) {
    std::string ending = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const PresetExtension& entry : kPresetExtensions) {
        if (ending == entry.extension && path.size() > 4 && path[path.size() - 5] != '/') {
            return entry.container;
        }
    }
    throw UsageError("--output names a program file (.fxp) or a bank of every program (.fxb), not '" + path + "'");
}

int parseSampleRate(const std::string& text, const char* option) {
    if (wholeNumber(text) && text.size() <= 7) {
        const long rate = std::strtol(text.c_str(), nullptr, 10);
        if (rate >= kLowestSampleRate && rate <= kHighestSampleRate) {
            return static_cast<int>(rate);
        }
    }
    throw UsageError(std::string(option) + " takes a whole number of hertz from " + std::to_string(kLowestSampleRate) +
                     " to " + std::to_string(kHighestSampleRate) + ", not '" + text + "'");
}
