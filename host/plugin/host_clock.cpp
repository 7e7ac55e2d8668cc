#include "plugin/host_clock.h"

#include <chrono>
#include <cmath>

void HostClock::advance(VstInt32 frames) {
    if (frames > 0) {
        position_.fetch_add(frames, std::memory_order_relaxed);
    }
}

void HostClock::setPlaying(bool playing) {
    if (playing_.exchange(playing) != playing) {
        changed_ = true;
    }
}

VstTimeInfo* HostClock::answer(VstIntPtr filter, double sampleRate, bool processing) {
    if (processing) {
        fill(processingRecord_, filter, sampleRate);
        return &processingRecord_;
    }
    std::lock_guard<std::mutex> lock(otherLock_);
    fill(otherRecord_, filter, sampleRate);
    return &otherRecord_;
}

// audio thread when called for the processing record: no allocation, no locks
void HostClock::fill(VstTimeInfo& info, VstIntPtr filter, double sampleRate) {
    info = VstTimeInfo{};
    const auto position = static_cast<double>(position_.load(std::memory_order_relaxed));
    info.samplePos = position;
    info.sampleRate = sampleRate;
    if (playing_.load()) {
        info.flags |= kVstTransportPlaying;
    }
    if (changed_.exchange(false)) {
        info.flags |= kVstTransportChanged;
    }
    const double seconds = sampleRate > 0.0 ? position / sampleRate : 0.0;
    const TempoMap::Point point = map_.at(seconds);
    if ((filter & kVstNanosValid) != 0) {
        info.nanoSeconds = static_cast<double>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
        info.flags |= kVstNanosValid;
    }
    if ((filter & kVstPpqPosValid) != 0) {
        info.ppqPos = point.quarters;
        info.flags |= kVstPpqPosValid;
    }
    if ((filter & kVstTempoValid) != 0) {
        info.tempo = point.bpm;
        info.flags |= kVstTempoValid;
    }
    if ((filter & kVstBarsValid) != 0) {
        info.barStartPos = point.barStartQuarters;
        info.flags |= kVstBarsValid;
    }
    if ((filter & kVstTimeSigValid) != 0) {
        info.timeSigNumerator = point.meter.numerator;
        info.timeSigDenominator = point.meter.denominator;
        info.flags |= kVstTimeSigValid;
    }
    if ((filter & kVstClockValid) != 0 && sampleRate > 0.0) {
        info.samplesToNextClock = static_cast<VstInt32>(std::lround(map_.secondsToNearestClock(seconds) * sampleRate));
        info.flags |= kVstClockValid;
    }
}
