#include "audio/block_schedule.h"

#include <algorithm>
#include <cstdint>

#include "plugin/plugin_instance.h"

namespace {

using Clock = std::chrono::steady_clock;

// Points `count` channel pointers `offset` frames on.
float** shifted(std::vector<float*>& into, float* const* channels, std::size_t offset) {
    for (std::size_t i = 0; i < into.size(); ++i) {
        into[i] = channels[i] + offset;
    }
    return into.data();
}

}  // namespace

BlockSchedule::BlockSchedule(PluginInstance& instance, const std::vector<ParameterRamp>& automation,
                             const MidiSequence* midi)
    : instance_(instance),
      automation_(automation),
      sent_(automation.size(), -1.0f),
      midi_(midi),
      inputs_(static_cast<std::size_t>(std::max(instance.numInputs(), 1))),
      outputs_(static_cast<std::size_t>(std::max(instance.numOutputs(), 1))) {}

std::size_t BlockSchedule::sendAutomation(std::size_t start, std::size_t end) {
    for (std::size_t i = 0; i < automation_.size(); ++i) {
        const ParameterRamp& ramp = automation_[i];
        const float value = ramp.valueAt(start);
        if (value != sent_[i]) {
            instance_.setParameter(ramp.index(), value);
            sent_[i] = value;
        }
        end = std::min(end, ramp.nextUpdate(start));
    }
    return end;
}

void BlockSchedule::process(float* const* inputs, float* const* outputs, std::size_t frames) {
    const std::size_t blockEnd = position_ + frames;
    while (position_ < blockEnd) {
        const std::size_t start = position_;
        const std::size_t end = sendAutomation(start, blockEnd);
        events_.clear();
        midi_.collect(start, end - start, events_);
        instance_.sendEvents(events_);
        const std::size_t offset = start - (blockEnd - frames);
        float** partInputs = shifted(inputs_, inputs, offset);
        float** partOutputs = shifted(outputs_, outputs, offset);
        const Clock::time_point before = Clock::now();
        instance_.process(partInputs, partOutputs, static_cast<VstInt32>(end - start));
        busy_ += Clock::now() - before;
        position_ = end;
    }
}
