// Which file channel feeds which plug-in input, and which plug-in output
// becomes which channel of the output file. The render prints both, so that
// no channel is dropped or duplicated without a word.
//
// Inputs: a sidechain file of S channels feeds the last S inputs (a mono
// one feeds every input past the main file's channels); the main file
// feeds the inputs before them, channel for channel, a mono file feeding
// all of them. Inputs left over get silence; file channels left over are
// reported.
#pragma once

#include <string>
#include <vector>

struct InputRoute {
    enum class From { Main, Sidechain, Silence };
    From from = From::Silence;
    int channel = 0;  // channel of the file it comes from
};

struct ChannelMap {
    std::vector<InputRoute> inputs;  // one per plug-in input
    std::vector<int> outputs;        // one per output file channel: the plug-in output
    std::vector<std::string> warnings;

    // "file 1-2 -> in 1-2, sidechain 1 -> in 3, silence -> in 4" (numbered from 1)
    std::string describeInputs() const;
    // "out 1-2 -> file 1-2"
    std::string describeOutputs() const;
};

// `chosenOutputs` are plug-in outputs counted from 0, in file order; empty
// for all of them. Throws UsageError for a chosen output the plug-in does
// not have, or a sidechain that leaves no input for the main file.
ChannelMap mapChannels(int mainChannels, int sidechainChannels, int pluginInputs, int pluginOutputs,
                       const std::vector<int>& chosenOutputs);

// The simpler rule of the checks, which feed a test signal to every input:
// which channel of a buffer with `available` channels feeds plug-in input
// `input`, cycling through the channels; -1 when there are none.
inline int sourceChannelFor(int input, int available) {
    return available <= 0 ? -1 : input % available;
}
