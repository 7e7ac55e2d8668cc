#include "audio/automation.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "support/host_error.h"

namespace {

bool parseDouble(const std::string& text, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
}

}  // namespace

std::string automationProblem(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        return "needs NAME_OR_INDEX:TIME=VALUE,TIME=VALUE,..., not '" + text + "'";
    }
    const std::string list = text.substr(colon + 1);
    double previous = -1.0;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string point = list.substr(start, comma - start);
        const auto equals = point.find('=');
        double seconds = 0.0;
        double value = 0.0;
        if (equals == std::string::npos || !parseDouble(point.substr(0, equals), seconds) ||
            !parseDouble(point.substr(equals + 1), value)) {
            return "point '" + point + "' is not TIME=VALUE (seconds = normalised value)";
        }
        if (seconds < 0.0 || seconds < previous) {
            return "times must start at 0 or later and go forwards, not " + point.substr(0, equals) + " after " +
                   std::to_string(previous);
        }
        if (value < 0.0 || value > 1.0) {
            return "VALUE is a normalised parameter value from 0 to 1, not '" + point.substr(equals + 1) + "'";
        }
        previous = seconds;
        start = comma + 1;
    }
    return "";
}

AutomationRequest parseAutomation(const std::string& text) {
    const std::string problem = automationProblem(text);
    if (!problem.empty()) {
        throw UsageError("--automate " + problem);
    }
    const auto colon = text.rfind(':');
    AutomationRequest request;
    request.parameter = text.substr(0, colon);
    const std::string list = text.substr(colon + 1);
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string point = list.substr(start, comma - start);
        const auto equals = point.find('=');
        request.points.push_back({std::strtod(point.substr(0, equals).c_str(), nullptr),
                                  static_cast<float>(std::strtod(point.substr(equals + 1).c_str(), nullptr))});
        start = comma + 1;
    }
    return request;
}

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
