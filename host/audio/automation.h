// Parameter automation: values at points in time with straight lines
// between them, sent to the plug-in at most kAutomationStep frames apart
// while they move (the renderer splits blocks there), and exactly at each
// point.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr std::size_t kAutomationStep = 32;

struct AutomationPoint {
    double seconds = 0.0;
    float value = 0.0f;  // normalised, 0..1
};

// What --automate NAME_OR_INDEX:TIME=VALUE,TIME=VALUE,... says, before the
// parameter is looked up in the plug-in.
struct AutomationRequest {
    std::string parameter;
    std::vector<AutomationPoint> points;  // times ascending
};

// Throws UsageError for text that is not of that form, times that go
// backwards, or values outside 0..1.
AutomationRequest parseAutomation(const std::string& text);
// The same checks, as a message; empty when the text is good.
std::string automationProblem(const std::string& text);

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
