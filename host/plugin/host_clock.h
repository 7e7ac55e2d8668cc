// The host's transport as plug-ins ask for it (audioMasterGetTime): a
// position that advances with every block the plug-in processes, read
// against a tempo map. plughost renders offline, so the transport plays
// while the instance is switched on, from position 0 of a fresh instance.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "aeffect.h"
#include "plugin/tempo_map.h"
#include "structures.h"

class HostClock {
public:
    // Before the instance processes: nobody may be asking meanwhile.
    void follow(const TempoMap& map) { map_ = map; }
    const TempoMap& map() const { return map_; }

    // Audio thread, after each process call: no allocation, no locks.
    void advance(VstInt32 frames);
    void setPlaying(bool playing);
    std::int64_t position() const { return position_.load(std::memory_order_relaxed); }

    // The record for a request with `filter` (the ...Valid bits the plug-in
    // wants): the sample position and rate and the transport bits always,
    // of the rest what the filter asks for, marked valid. The record stays
    // as it is until the next request from the same side: the processing
    // thread (`processing`: no allocation, no locks) has one record, every
    // other thread shares another.
    VstTimeInfo* answer(VstIntPtr filter, double sampleRate, bool processing);

private:
    void fill(VstTimeInfo& info, VstIntPtr filter, double sampleRate);

    TempoMap map_;
    std::atomic<std::int64_t> position_{0};
    std::atomic<bool> playing_{false};
    std::atomic<bool> changed_{false};  // playing started or stopped since the last answer
    VstTimeInfo processingRecord_{};
    std::mutex otherLock_;
    VstTimeInfo otherRecord_{};
};
