#include "plugin/tempo_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kClocksPerQuarter = 24.0;
// Bar arithmetic on positions that went through seconds and back: a point
// this close to a bar line belongs to the bar that starts there.
constexpr double kBarEpsilon = 1e-9;

bool isPowerOfTwo(long value) {
    return value > 0 && (value & (value - 1)) == 0;
}

}  // namespace

std::optional<TimeSignature> parseTimeSignature(const std::string& text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == text.size() || text.size() > 8) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != slash && (text[i] < '0' || text[i] > '9')) {
            return std::nullopt;
        }
    }
    const long numerator = std::strtol(text.substr(0, slash).c_str(), nullptr, 10);
    const long denominator = std::strtol(text.substr(slash + 1).c_str(), nullptr, 10);
    if (numerator < 1 || numerator > kLargestMeterNumerator || !isPowerOfTwo(denominator) ||
        denominator > kLargestMeterDenominator) {
        return std::nullopt;
    }
    return TimeSignature{static_cast<int>(numerator), static_cast<int>(denominator)};
}

std::string toText(const TimeSignature& meter) {
    return std::to_string(meter.numerator) + "/" + std::to_string(meter.denominator);
}

TempoMap::TempoMap(double bpm, TimeSignature meter) : tempos_{{0.0, 0.0, bpm}}, meters_{{0.0, meter}} {}

void TempoMap::changeTempo(double seconds, double bpm) {
    const TempoSegment& last = tempos_.back();
    if (seconds <= last.seconds) {
        tempos_.back().bpm = bpm;
        return;
    }
    const double quarters = last.quarters + (seconds - last.seconds) * last.bpm / 60.0;
    tempos_.push_back({seconds, quarters, bpm});
}

void TempoMap::changeMeter(double seconds, TimeSignature meter) {
    const double quarters = at(seconds).quarters;
    if (quarters <= meters_.back().quarters + kBarEpsilon) {
        meters_.back().meter = meter;
        return;
    }
    meters_.push_back({quarters, meter});
}

const TempoMap::TempoSegment& TempoMap::segmentAt(double seconds) const {
    // The last segment that starts at or before `seconds`.
    const auto after = std::upper_bound(tempos_.begin(), tempos_.end(), seconds,
                                        [](double s, const TempoSegment& segment) { return s < segment.seconds; });
    return after == tempos_.begin() ? tempos_.front() : *(after - 1);
}

TempoMap::Point TempoMap::at(double seconds) const {
    const TempoSegment& tempo = segmentAt(std::max(seconds, 0.0));
    Point point;
    point.bpm = tempo.bpm;
    point.quarters = tempo.quarters + (std::max(seconds, 0.0) - tempo.seconds) * tempo.bpm / 60.0;
    const auto after =
        std::upper_bound(meters_.begin(), meters_.end(), point.quarters + kBarEpsilon,
                         [](double quarters, const MeterSegment& segment) { return quarters < segment.quarters; });
    const MeterSegment& meter = after == meters_.begin() ? meters_.front() : *(after - 1);
    point.meter = meter.meter;
    const double bar = meter.meter.barQuarters();
    const double bars = std::floor((point.quarters - meter.quarters) / bar + kBarEpsilon);
    point.barStartQuarters = meter.quarters + std::max(bars, 0.0) * bar;
    return point;
}

double TempoMap::secondsToNearestClock(double seconds) const {
    const Point point = at(seconds);
    const double clocks = point.quarters * kClocksPerQuarter;
    const double toNearest = (std::round(clocks) - clocks) / kClocksPerQuarter;
    return toNearest * 60.0 / point.bpm;
}
