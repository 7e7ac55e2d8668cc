#include "plugin/display_search.h"

#include <algorithm>
#include <cmath>

#include "opcodes.h"
#include "plugin/plugin_instance.h"

namespace {

// 257 values, 1/256 apart: a parameter of up to 256 steps shows every step.
constexpr int kScanSteps = 256;
// Decimals tried for a tidy value within a range; a float has about nine.
constexpr int kMostDecimals = 9;
// Texts listed for a parameter that shows words.
constexpr std::size_t kTextsListed = 12;

struct Probe {
    float value;
    std::string shown;  // display and label, as a user reads them
    bool matches;
    std::optional<double> number;  // when the display is a number in the wanted unit
};

class Prober {
public:
    Prober(PluginInstance& instance, VstInt32 index, const DisplayText& wanted)
        : instance_(instance), index_(index), wanted_(wanted) {}

    Probe at(float value) {
        instance_.setParameter(index_, value);
        const std::string display = instance_.text(effGetParamDisplay, index_, kVstMaxParamStrLen).text;
        const std::string label = instance_.text(effGetParamLabel, index_, kVstMaxParamStrLen).text;
        Probe probe{value, shownWithLabel(display, label), displayMatches(wanted_, display, label),
                    wanted_.number ? comparableNumber(wanted_, display, label) : std::nullopt};
        tried_.push_back(probe);
        return probe;
    }

    // The edge between `outside` (not showing the text) and `inside`
    // (showing it), to the resolution of a float: the last value inside.
    float edge(float outside, float inside) {
        for (;;) {
            const float middle = outside + (inside - outside) / 2.0f;
            if (middle == outside || middle == inside) {
                return inside;
            }
            (at(middle).matches ? inside : outside) = middle;
        }
    }

    // The range from `lowInside` to `highInside` (both showing the text)
    // widened to its edges towards `below` and `above` (the same values as
    // the inside ones at the ends of the scale), and the value in it with
    // the fewest decimals nearest its middle: 0.66 rather than 0.6625 for a
    // range from 0.65 to 0.675, 0 for one that ends at 0.
    float middleOfRange(float below, float lowInside, float highInside, float above) {
        const double low = edge(below, lowInside);
        const double high = edge(above, highInside);
        const double middle = (low + high) / 2.0;
        for (int decimals = 0; decimals <= kMostDecimals; ++decimals) {
            const double scale = std::pow(10.0, decimals);
            const auto tidy = static_cast<float>(std::round(middle * scale) / scale);
            if (tidy >= low && tidy <= high && at(tidy).matches) {
                return tidy;
            }
        }
        // A range that is not one piece: keep a value known to show it.
        return at(static_cast<float>(middle)).matches ? static_cast<float>(middle) : lowInside;
    }

    // Between two scanned values whose numbers lie either side of the wanted
    // one: the value that shows it, by bisection on the number.
    std::optional<float> between(Probe low, Probe high) {
        const double wanted = *wanted_.number;
        const bool lowBelow = *low.number < wanted;
        for (;;) {
            const float middle = low.value + (high.value - low.value) / 2.0f;
            if (middle == low.value || middle == high.value) {
                return std::nullopt;
            }
            const Probe probe = at(middle);
            if (probe.matches) {
                return middleOfRange(low.value, middle, middle, high.value);
            }
            if (!probe.number) {
                return std::nullopt;  // not monotonic here after all
            }
            (((*probe.number < wanted) == lowBelow) ? low : high) = probe;
        }
    }

    const std::vector<Probe>& tried() const { return tried_; }

private:
    PluginInstance& instance_;
    VstInt32 index_;
    const DisplayText& wanted_;
    std::vector<Probe> tried_;
};

std::vector<std::string> nearestNumbers(const std::vector<Probe>& tried, double wanted) {
    const Probe* below = nullptr;
    const Probe* above = nullptr;
    for (const Probe& probe : tried) {
        if (!probe.number) {
            continue;
        }
        if (*probe.number < wanted && (below == nullptr || *probe.number > *below->number)) {
            below = &probe;
        }
        if (*probe.number > wanted && (above == nullptr || *probe.number < *above->number)) {
            above = &probe;
        }
    }
    std::vector<std::string> nearest;
    for (const Probe* probe : {below, above}) {
        if (probe != nullptr) {
            nearest.push_back(probe->shown);
        }
    }
    return nearest;
}

// The texts the scan met; for a parameter that shows numbers, the first and
// the last.
std::vector<std::string> textsShown(const std::vector<Probe>& tried) {
    const bool numbers = std::all_of(tried.begin(), tried.end(),
                                     [](const Probe& probe) { return splitDisplayText(probe.shown).number; });
    if (numbers && !tried.empty()) {
        return {tried.front().shown, tried.back().shown};
    }
    std::vector<std::string> texts;
    for (const Probe& probe : tried) {
        if (texts.size() < kTextsListed && std::find(texts.begin(), texts.end(), probe.shown) == texts.end()) {
            texts.push_back(probe.shown);
        }
    }
    return texts;
}

}  // namespace

DisplaySearch searchDisplay(PluginInstance& instance, VstInt32 index, const DisplayText& wanted) {
    Prober prober(instance, index, wanted);
    std::vector<Probe> scan;
    for (int step = 0; step <= kScanSteps; ++step) {
        scan.push_back(prober.at(static_cast<float>(step) / kScanSteps));
    }
    DisplaySearch search;
    const auto first = std::find_if(scan.begin(), scan.end(), [](const Probe& probe) { return probe.matches; });
    if (first != scan.end()) {
        const auto last = std::prev(std::find_if(first, scan.end(), [](const Probe& probe) { return !probe.matches; }));
        const float below = first == scan.begin() ? first->value : std::prev(first)->value;
        const float above = std::next(last) == scan.end() ? last->value : std::next(last)->value;
        search.value = prober.middleOfRange(below, first->value, last->value, above);
        return search;
    }
    if (wanted.number) {
        for (std::size_t step = 0; step + 1 < scan.size() && !search.value; ++step) {
            const Probe& low = scan[step];
            const Probe& high = scan[step + 1];
            if (low.number && high.number && (*low.number < *wanted.number) != (*high.number < *wanted.number)) {
                search.value = prober.between(low, high);
            }
        }
        if (search.value) {
            return search;
        }
        search.nearest = nearestNumbers(prober.tried(), *wanted.number);
    }
    if (search.nearest.empty()) {
        search.nearest = textsShown(scan);
        search.fromTo = search.nearest.size() == 2 && splitDisplayText(search.nearest.front()).number;
    }
    return search;
}
