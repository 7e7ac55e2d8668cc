#include "audio/channel_map.h"

#include <algorithm>

#include "support/host_error.h"

namespace {

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

std::string count(int number, const std::string& thing) {
    return std::to_string(number) + " " + thing + (number == 1 ? "" : "s");
}

// The plug-in inputs the main file feeds. A sidechain of S channels takes
// the last S inputs; a mono one takes every input past the main file's
// channels (half the inputs when the main file is mono too), as a mono
// main file feeds every main input.
int mainInputCount(int mainChannels, int sidechainChannels, int pluginInputs) {
    if (sidechainChannels != 1 || pluginInputs < 2) {
        return pluginInputs - sidechainChannels;
    }
    const int wanted = mainChannels > 1 ? mainChannels : (pluginInputs + 1) / 2;
    return std::min(wanted, pluginInputs - 1);
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
    const int mainInputs = mainInputCount(mainChannels, sidechainChannels, pluginInputs);
    if (sidechainChannels > 0 && mainInputs < 1) {
        throw UsageError("the sidechain file has " + count(sidechainChannels, "channel") +
                         ", which leaves none of the plug-in's " + count(pluginInputs, "input") +
                         " for the main input");
    }
    for (int input = 0; input < pluginInputs; ++input) {
        InputRoute route;
        if (input >= mainInputs) {
            route = {InputRoute::From::Sidechain, sidechainChannels == 1 ? 0 : input - mainInputs};
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
        map.warnings.push_back("input file " + which + " left out: the plug-in takes " + count(used, "main input"));
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
            throw UsageError("output " + std::to_string(output + 1) + " was chosen, but the plug-in has " +
                             count(pluginOutputs, "output"));
        }
        map.outputs.push_back(output);
    }
    return map;
}
