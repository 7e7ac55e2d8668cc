#include "audio/channel_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "support/host_error.h"

namespace {

constexpr int kLargestChannelNumber = 100000;

struct Link {
    std::string source;  // "file", "sidechain", "silence", "out"
    int from;            // counted from 1; 0 for silence
    int to;              // counted from 1
};

// Joins runs in which both ends count up by one: "file 1-2 -> in 1-2".
std::string describe(const std::vector<Link>& links, const std::string& target) {
    std::string text;
    for (std::size_t first = 0; first < links.size();) {
        std::size_t last = first;
        while (last + 1 < links.size() && links[last + 1].source == links[first].source &&
               links[last + 1].to == links[last].to + 1 &&
               (links[first].from == 0 ? links[last + 1].from == 0 : links[last + 1].from == links[last].from + 1)) {
            ++last;
        }
        auto span = [first, last](int a, int b) {
            return first == last ? std::to_string(a) : std::to_string(a) + "-" + std::to_string(b);
        };
        const Link& a = links[first];
        const Link& b = links[last];
        text += text.empty() ? "" : ", ";
        text += a.from == 0 ? a.source : a.source + " " + span(a.from, b.from);
        text += " -> " + target + " " + span(a.to, b.to);
        first = last + 1;
    }
    return text.empty() ? "none" : text;
}

int parseNumber(const std::string& text, const std::string& whole) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > kLargestChannelNumber) {
        throw UsageError("--channels takes output numbers from 1, like 1,2 or 3-4, not '" + whole + "'");
    }
    return static_cast<int>(value);
}

}  // namespace

std::string ChannelMap::describeInputs() const {
    std::vector<Link> links;
    for (std::size_t input = 0; input < inputs.size(); ++input) {
        const InputRoute& route = inputs[input];
        const char* source = route.from == InputRoute::From::Main        ? "file"
                             : route.from == InputRoute::From::Sidechain ? "sidechain"
                                                                         : "silence";
        links.push_back(
            {source, route.from == InputRoute::From::Silence ? 0 : route.channel + 1, static_cast<int>(input) + 1});
    }
    return describe(links, "in");
}

std::string ChannelMap::describeOutputs() const {
    std::vector<Link> links;
    for (std::size_t channel = 0; channel < outputs.size(); ++channel) {
        links.push_back({"out", outputs[channel] + 1, static_cast<int>(channel) + 1});
    }
    return describe(links, "file");
}

ChannelMap mapChannels(int mainChannels, int sidechainChannels, int pluginInputs, int pluginOutputs,
                       const std::vector<int>& chosenOutputs) {
    ChannelMap map;
    const int mainInputs = pluginInputs - sidechainChannels;
    if (sidechainChannels > 0 && mainInputs < 1) {
        throw UsageError("the sidechain file has " + std::to_string(sidechainChannels) +
                         " channels, which leaves none of the plug-in's " + std::to_string(pluginInputs) +
                         " inputs for the main input");
    }
    for (int input = 0; input < pluginInputs; ++input) {
        InputRoute route;
        if (input >= mainInputs) {
            route = {InputRoute::From::Sidechain, input - mainInputs};
        } else if (mainChannels == 1) {
            route = {InputRoute::From::Main, 0};
        } else if (input < mainChannels) {
            route = {InputRoute::From::Main, input};
        }
        map.inputs.push_back(route);
    }
    const int used = std::max(mainInputs, 0);
    if (mainChannels > 1 && mainChannels > used) {
        const std::string which = mainChannels == used + 1 ? "channel " + std::to_string(mainChannels) + " is"
                                                           : "channels " + std::to_string(used + 1) + " to " +
                                                                 std::to_string(mainChannels) + " are";
        map.warnings.push_back("input file " + which + " left out: the plug-in takes " + std::to_string(used) +
                               " main inputs");
    } else if (mainChannels == 1 && used == 0) {
        map.warnings.push_back("the input file is left out: the plug-in has no audio inputs for it");
    }
    if (chosenOutputs.empty()) {
        for (int output = 0; output < pluginOutputs; ++output) {
            map.outputs.push_back(output);
        }
    }
    for (int output : chosenOutputs) {
        if (output < 0 || output >= pluginOutputs) {
            throw UsageError("--channels names output " + std::to_string(output + 1) + ", but the plug-in has " +
                             std::to_string(pluginOutputs) + " outputs");
        }
        map.outputs.push_back(output);
    }
    return map;
}

std::vector<int> parseChannelList(const std::string& text) {
    std::vector<int> outputs;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const int first = parseNumber(item.substr(0, dash), text);
        const int last = dash == std::string::npos ? first : parseNumber(item.substr(dash + 1), text);
        if (last < first) {
            throw UsageError("--channels range " + item + " runs backwards");
        }
        for (int channel = first; channel <= last; ++channel) {
            outputs.push_back(channel - 1);
        }
        start = comma + 1;
    }
    return outputs;
}
