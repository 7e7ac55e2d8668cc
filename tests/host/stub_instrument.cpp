// A small instrument: no inputs, two outputs, which hold velocity / 127 from
// the frame of a note-on to the frame of its note-off (the frames the host
// gave with the events), and 0 otherwise.
#include <cstdint>
#include <cstring>
#include <vector>

#include "aeffect.h"
#include "opcodes.h"
#include "plugin/midi_events.h"
#include "stub_export.h"

namespace {

struct Instrument {
    AEffect record{};
    std::vector<VstMidiEvent> pending;  // this block's events
    float level = 0.0f;
    int key = -1;
};

Instrument* self(AEffect* effect) {
    return static_cast<Instrument*>(effect->object);
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    Instrument* instrument = self(effect);
    switch (opcode) {
        case effClose:
            delete instrument;
            return 1;
        case effProcessEvents: {
            const auto* events = static_cast<const VstEvents*>(ptr);
            for (VstInt32 i = 0; i < events->numEvents; ++i) {
                if (events->events[i]->type == kVstMidiType) {
                    instrument->pending.push_back(*reinterpret_cast<const VstMidiEvent*>(events->events[i]));
                }
            }
            return 1;
        }
        case effCanDo:
            return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? 1 : 0;
        case effGetPlugCategory:
            return kPlugCategSynth;
        default:
            return 0;
    }
}

void VSTCALLBACK processReplacing(AEffect* effect, float**, float** outputs, VstInt32 frames) {
    Instrument* instrument = self(effect);
    std::size_t next = 0;
    for (VstInt32 n = 0; n < frames; ++n) {
        for (; next < instrument->pending.size() && instrument->pending[next].deltaFrames <= n; ++next) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(instrument->pending[next].midiData);
            if ((bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) {
                instrument->level = static_cast<float>(bytes[2]) / 127.0f;
                instrument->key = bytes[1];
            } else if (((bytes[0] & 0xF0) == 0x80 || (bytes[0] & 0xF0) == 0x90) && bytes[1] == instrument->key) {
                instrument->level = 0.0f;
            }
        }
        outputs[0][n] = outputs[1][n] = instrument->level;
    }
    instrument->pending.clear();
}

}  // namespace

STUB_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback) {
    auto* instrument = new Instrument;
    AEffect& record = instrument->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.processReplacing = processReplacing;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing | effFlagsIsSynth;
    record.object = instrument;
    record.uniqueID = fourCharCode('S', 't', 'b', 'I');
    return &record;
}
