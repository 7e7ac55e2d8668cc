#include "plugin/midi_events.h"

#include <algorithm>
#include <cstring>

MidiEventBatch::MidiEventBatch(std::size_t capacity) {
    events_.reserve(capacity);
    words_.reserve(capacity + 2);
}

void MidiEventBatch::clear() {
    events_.clear();
}

void MidiEventBatch::add(const MidiMessage& message) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = static_cast<VstInt32>(sizeof(VstMidiEvent));
    event.deltaFrames = static_cast<VstInt32>(message.frame);
    event.flags = kVstMidiEventIsRealtime;
    for (int i = 0; i < 3; ++i) {
        event.midiData[i] = static_cast<char>(message.bytes[i]);
    }
    events_.push_back(event);
}

VstEvents* MidiEventBatch::list() {
    // Plug-ins read the pointers in order and expect the offsets ascending.
    std::stable_sort(events_.begin(), events_.end(),
                     [](const VstMidiEvent& a, const VstMidiEvent& b) { return a.deltaFrames < b.deltaFrames; });
    words_.assign(2 + std::max<std::size_t>(events_.size(), 2), 0);
    const auto count = static_cast<VstInt32>(events_.size());
    std::memcpy(words_.data(), &count, sizeof count);
    for (std::size_t i = 0; i < events_.size(); ++i) {
        words_[2 + i] = reinterpret_cast<VstIntPtr>(&events_[i]);
    }
    return reinterpret_cast<VstEvents*>(words_.data());
}
