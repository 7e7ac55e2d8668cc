// The normalised value at which a plug-in displays a given text, found by
// asking the plug-in's own display function: a parameter set, its display
// and label read back. Display functions are monotonic where they show
// numbers, and step-shaped, since they round or cut digits: the values that
// show one text form a range, and the search returns the middle of it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "aeffect.h"
#include "plugin/display_text.h"

class PluginInstance;

struct DisplaySearch {
    // The middle of a range of values that show the text: the first one
    // the scan meets, from 0 up.
    std::optional<float> value;
    // When no value shows it: for a number, the nearest the parameter shows
    // below and above it; else the texts the parameter shows, or, when it
    // shows numbers, those at 0 and at 1 (`fromTo`).
    std::vector<std::string> nearest;
    bool fromTo = false;
};

// Reads the display at evenly spaced values from 0 to 1 (a scan, which
// finds words and any shape), then narrows by bisection: to the edges of a
// range found, and, for a number that lies between two neighbouring
// displays of the scan, to the value between them that shows it. Leaves the
// parameter at the last value tried; the caller sets the one found.
// Plug-in thread, as any setParameter.
DisplaySearch searchDisplay(PluginInstance& instance, VstInt32 index, const DisplayText& wanted);
