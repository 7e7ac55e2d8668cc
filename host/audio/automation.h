// Parameter automation: values at points in time with straight lines
// between them, sent to the plug-in at most kAutomationStep frames apart
// while they move (the renderer splits blocks there), and exactly at each
// point.
#pragma once

#include <cstddef>
#include <vector>

#include "plugin/parameter_ref.h"

inline constexpr std::size_t kAutomationStep = 32;

struct AutomationPoint {
    double seconds = 0.0;
    float value = 0.0f;  // normalised, 0..1
};

// A parameter moved along straight lines between values at points in time.
struct AutomationRequest {
    ParameterRef parameter;
    std::vector<AutomationPoint> points;  // at least one; times ascending, from 0 on
};

class ParameterRamp {
public:
    ParameterRamp(int index, const std::vector<AutomationPoint>& points, double sampleRate);

    int index() const { return index_; }
    // The value at a frame: the first point's before it, the last point's
    // after it, on the straight line in between.
    float valueAt(std::size_t frame) const;
    // The next frame after `frame` at which the value must be sent again;
    // SIZE_MAX when it stays as it is from `frame` on.
    std::size_t nextUpdate(std::size_t frame) const;

private:
    struct Point {
        std::size_t frame;
        float value;
    };
    int index_;
    std::vector<Point> points_;
};
