#include "audio/automation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

ParameterRamp::ParameterRamp(int index, const std::vector<AutomationPoint>& points, double sampleRate) : index_(index) {
    for (const AutomationPoint& point : points) {
        points_.push_back({static_cast<std::size_t>(std::llround(point.seconds * sampleRate)), point.value});
    }
}

float ParameterRamp::valueAt(std::size_t frame) const {
    if (points_.empty()) {
        return 0.0f;
    }
    if (frame <= points_.front().frame) {
        return points_.front().value;
    }
    for (std::size_t i = 1; i < points_.size(); ++i) {
        const Point& a = points_[i - 1];
        const Point& b = points_[i];
        if (frame < b.frame) {
            const double along = static_cast<double>(frame - a.frame) / static_cast<double>(b.frame - a.frame);
            return static_cast<float>(a.value + (b.value - a.value) * along);
        }
    }
    return points_.back().value;
}

std::size_t ParameterRamp::nextUpdate(std::size_t frame) const {
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (frame < points_[i].frame) {
            const bool ramping = i > 0 && points_[i - 1].value != points_[i].value;
            return ramping ? std::min(frame + kAutomationStep, points_[i].frame) : points_[i].frame;
        }
    }
    return SIZE_MAX;
}
