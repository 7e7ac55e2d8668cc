// A small, well-behaved instrument for testing what `plughost check` makes
// of instruments: no inputs, two outputs, sine voices with a short attack
// and release that start and stop at the frames the host gave with the
// notes. One variant adds one fault:
//   KD_FAULT_NOTES_AT_BLOCK_START  notes start and stop at the start of the
//                                  block they arrive with, so the output
//                                  depends on the block size
#include <cmath>
#include <cstring>

#include "aeffect.h"
#include "opcodes.h"
#include "plugin_parts.h"

namespace {

using namespace check_plugin;

constexpr int kVoices = 8;
constexpr int kPending = 64;
constexpr double kRampSeconds = 0.005;

struct Voice {
    int key = -1;
    bool held = false;
    double phase = 0.0;
    double level = 0.0;
    double velocity = 0.0;
};

struct Note {
    VstInt32 frame;
    unsigned char status;
    unsigned char key;
    unsigned char velocity;
};

struct Instrument {
    AEffect record{};
    float volume = 0.5f;
    double sampleRate = 44100.0;
    Voice voices[kVoices];
    Note pending[kPending];
    int pendingCount = 0;
};

Instrument* self(AEffect* effect) {
    return static_cast<Instrument*>(effect->object);
}

void copyText(void* ptr, const char* text) {
    std::strncpy(static_cast<char*>(ptr), text, 8);
    static_cast<char*>(ptr)[8] = '\0';
}

void play(Instrument& instrument, const Note& note) {
    const bool on = (note.status & 0xF0) == 0x90 && note.velocity > 0;
    if (!on) {
        for (Voice& voice : instrument.voices) {
            if (voice.key == note.key) {
                voice.held = false;
            }
        }
        return;
    }
    Voice* chosen = &instrument.voices[0];
    for (Voice& voice : instrument.voices) {
        if (voice.key < 0 || (!voice.held && voice.level < chosen->level)) {
            chosen = &voice;
        }
    }
    *chosen = Voice{note.key, true, 0.0, 0.0, note.velocity / 127.0};
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt) {
    Instrument& instrument = *self(effect);
    switch (opcode) {
        case effClose:
            delete &instrument;
            return 1;
        case effSetSampleRate:
            instrument.sampleRate = opt > 0.0f ? opt : instrument.sampleRate;
            return 0;
        case effMainsChanged:
            for (Voice& voice : instrument.voices) {
                voice = Voice{};
            }
            instrument.pendingCount = 0;
            return 0;
        case effProcessEvents: {
            const auto* list = static_cast<const EventList*>(ptr);
            EventHeader* const* events = list->events;
            for (VstInt32 i = 0; i < list->numEvents && instrument.pendingCount < kPending; ++i) {
                const EventHeader* event = events[i];
                if (event->type == kMidiEventType) {
                    instrument.pending[instrument.pendingCount++] = {event->deltaFrames, event->midiData[0],
                                                                     event->midiData[1], event->midiData[2]};
                }
            }
            return 1;
        }
        case effGetParamName:
            copyText(ptr, index == 0 ? "Volume" : "");
            return 0;
        case effGetParamLabel:
            copyText(ptr, "");
            return 0;
        case effGetParamDisplay:
            copyText(ptr, index == 0 ? "level" : "");
            return 0;
        case effGetEffectName:
            std::strcpy(static_cast<char*>(ptr), "Check Instrument");
            return 1;
        case effGetPlugCategory:
            return kPlugCategSynth;
        case effCanDo:
            return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? 1 : 0;
        case effGetVstVersion:
            return kVstVersion;
        default:
            return 0;
    }
}

void VSTCALLBACK processReplacing(AEffect* effect, float**, float** outputs, VstInt32 frames) {
    Instrument& instrument = *self(effect);
    const double ramp = 1.0 / (kRampSeconds * instrument.sampleRate);
    int next = 0;
    for (VstInt32 n = 0; n < frames; ++n) {
        for (; next < instrument.pendingCount; ++next) {
            const Note& note = instrument.pending[next];
#ifndef KD_FAULT_NOTES_AT_BLOCK_START
            if (note.frame > n) {
                break;
            }
#endif
            play(instrument, note);
        }
        double sum = 0.0;
        for (Voice& voice : instrument.voices) {
            if (voice.key < 0) {
                continue;
            }
            voice.level = voice.held ? std::fmin(1.0, voice.level + ramp) : std::fmax(0.0, voice.level - ramp);
            const double frequency = 440.0 * std::pow(2.0, (voice.key - 69) / 12.0);
            sum += voice.velocity * voice.level * std::sin(voice.phase);
            voice.phase = std::fmod(voice.phase + 2.0 * kPi * frequency / instrument.sampleRate, 2.0 * kPi);
            if (!voice.held && voice.level == 0.0) {
                voice.key = -1;
            }
        }
        outputs[0][n] = outputs[1][n] = static_cast<float>(0.25 * instrument.volume * sum);
    }
    instrument.pendingCount = frames > 0 ? 0 : instrument.pendingCount;
}

void VSTCALLBACK setParameter(AEffect* effect, VstInt32 index, float value) {
    if (index == 0) {
        self(effect)->volume = value;
    }
}

float VSTCALLBACK getParameter(AEffect* effect, VstInt32 index) {
    return index == 0 ? self(effect)->volume : 0.0f;
}

}  // namespace

CHECK_PLUGIN_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    auto* instrument = new Instrument;
    AEffect& record = instrument->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numParams = 1;
    record.numOutputs = 2;
    record.flags = effFlagsCanReplacing | effFlagsIsSynth;
    record.object = instrument;
    record.uniqueID = fourCharCode('K', 'd', 'C', 'i');
    record.version = 1;
    return &record;
}
