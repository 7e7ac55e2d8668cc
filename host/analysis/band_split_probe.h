// Plug-ins whose band split the analysis knows how to take apart. For such a
// plug-in, with its band split on, the frequency response also shows each
// band played alone and the measured crossover frequencies. Everything else
// is measured as a black box.
#pragma once

#include <optional>
#include <vector>

#include "analysis/measurements.h"

class PluginInstance;

struct BandSplitPlan {
    std::vector<BandProbe> bands;  // low to high
    // What the plug-in's own displays say the crossovers are, in the order
    // of the crossovers between the bands (may be empty).
    std::vector<std::optional<double>> shownCrossovers;
};

// The plan for `instance` as it is set up (program and settings applied),
// or nothing when the plug-in is not one the analysis knows or its band
// split is off. Recognised by unique identifier and parameter names.
std::optional<BandSplitPlan> bandSplitPlan(PluginInstance& instance);
