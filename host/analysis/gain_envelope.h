// How a plug-in's gain moves after a step in the level of a tone whose
// period is a whole number of samples: the output's mean square over the
// last period against the input's, which is steady for any steady state of
// such a tone, and the time the gain takes to settle.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

// The gain in dB at every sample: 10 log10 of the output's sum of squares
// over the `period` samples that end there, over the input's (the first
// period - 1 samples take what there is). -400 where the input is silent.
std::vector<double> gainEnvelope(const float* input, const float* output, std::size_t count, std::size_t period);

// The first index in [begin, end) from which `gain` stays within `fraction`
// of the change from `from` to `to` (|gain - to| <= fraction |to - from|)
// up to `end`; none when it never does.
std::optional<std::size_t> settlesAt(const std::vector<double>& gain, std::size_t begin, std::size_t end, double from,
                                     double to, double fraction);

// The mean of gain[first, last).
double meanGain(const std::vector<double>& gain, std::size_t first, std::size_t last);
