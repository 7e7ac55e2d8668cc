// The musical timeline the host's clock reads: a tempo and a time signature
// from the start, and the changes a MIDI file makes to them, mapped from
// seconds to quarter notes and bars. It knows no sample rate; the clock
// turns sample positions into seconds.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct TimeSignature {
    int numerator = 4;
    int denominator = 4;  // a power of two
    bool operator==(const TimeSignature& other) const {
        return numerator == other.numerator && denominator == other.denominator;
    }
    // Quarter notes in one bar.
    double barQuarters() const { return 4.0 * numerator / denominator; }
};

inline constexpr double kDefaultTempo = 120.0;  // beats (quarter notes) per minute
inline constexpr double kSlowestTempo = 1.0;
inline constexpr double kFastestTempo = 1000.0;
inline constexpr int kLargestMeterNumerator = 255;
inline constexpr int kLargestMeterDenominator = 128;

// "3/4" -> {3, 4}; none for anything but a numerator of 1 to 255 over a
// power of two from 1 to 128.
std::optional<TimeSignature> parseTimeSignature(const std::string& text);
std::string toText(const TimeSignature& meter);

class TempoMap {
public:
    explicit TempoMap(double bpm = kDefaultTempo, TimeSignature meter = {});

    // Changes from `seconds` on. Each change lies at or after every change
    // made before it (a MIDI file's events in time order); one at the same
    // time as the last replaces it.
    void changeTempo(double seconds, double bpm);
    void changeMeter(double seconds, TimeSignature meter);

    struct Point {
        double quarters = 0.0;          // from the start
        double bpm = kDefaultTempo;     // the tempo in force
        double barStartQuarters = 0.0;  // the start of the bar that holds this point
        TimeSignature meter;
    };
    // Where `seconds` (0 or later) falls. No allocation: audio thread safe.
    Point at(double seconds) const;
    // Seconds from `seconds` to the nearest MIDI clock (every 1/24 of a
    // quarter note), negative when it lies behind, at the tempo in force.
    double secondsToNearestClock(double seconds) const;

private:
    struct TempoSegment {
        double seconds;
        double quarters;  // at `seconds`
        double bpm;
    };
    struct MeterSegment {
        double quarters;  // where its first bar starts
        TimeSignature meter;
    };
    const TempoSegment& segmentAt(double seconds) const;

    std::vector<TempoSegment> tempos_;  // ascending seconds, the first at 0
    std::vector<MeterSegment> meters_;  // ascending quarters, the first at 0
};

// The tempo and time signature a user asked for; none where they said
// nothing, so that a MIDI file can tell what it overrides.
struct TempoSettings {
    std::optional<double> bpm;
    std::optional<TimeSignature> meter;
    TempoMap map() const { return TempoMap(bpm.value_or(kDefaultTempo), meter.value_or(TimeSignature{})); }
};
