// A small, well-behaved effect for testing what `plughost check` makes of
// plug-ins, built as one library per variant. The clean variant is a stereo
// one-pole low-pass with gain and mix, two programs, chunk state, a
// double-precision path and MIDI input (which it reads and ignores). Every
// other variant adds exactly one trait, chosen at compile time:
//   KD_FAULT_INFINITE_AT_ONE   the gain law divides by (1 - value): infinite
//                              output when the gain parameter is exactly 1
//   KD_FAULT_SILENT_PAST_256   a 256-frame scratch area: frames past 256 in a
//                              block come out silent
//   KD_FAULT_CHUNK_CRASH       restoring state from a chunk crashes
//   KD_FAULT_BROKEN_DOUBLE     the double-precision path skips the filter
//   KD_FAULT_MIDI_CRASH        a note-on event crashes
//   KD_FAULT_INFINITE          peaks above 0.25 leave as infinities
//   KD_FAULT_OVERRUN           writes one sample past the block
//   KD_FAULT_UNWRITTEN_CHANNEL never writes its second output channel
//   KD_FAULT_READS_PAST_INPUT  interpolates towards the input frame after
//                              the block's end
//   KD_FAULT_PEEKS_PAST_INPUT  reads the input frame after the block's end,
//                              only to test it
//   KD_FAULT_ECHO_PER_BLOCK    adds an echo whose delay is rounded up to
//                              whole blocks
//   KD_FAULT_DRY_BELOW_ANNOUNCED passes the input through unfiltered in
//                              blocks shorter than the announced size
//   KD_FAULT_SHARED_STATE      a tremolo whose phase lives in a global
//   KD_FAULT_BLOW_UP           a gain of 1e17 at gain values from 0.999
//   KD_FAULT_ZERO_FRAME_CRASH  a 0-frame process call crashes
//   KD_FAULT_ALLOCATES_AFTER_CHANGE allocates in the first process call
//                              after a parameter change
//   KD_FAULT_MIX_RESETS_GAIN   setting the mix resets the gain in use to
//                              0 dB, while the gain reads back as it was
//                              set: the sound depends on the order in which
//                              parameters are set (no chunk state, so that
//                              parameter values are its only state)
//   KD_TRAIT_SLOW              clean, but each instance takes long to create
//   KD_TRAIT_RANDOM            clean, but adds noise seeded differently in
//                              every instance
//   KD_TRAIT_LONG_TEXTS        clean, but its texts are longer than the
//                              conventional 8 characters (within 64 bytes)
//   KD_TRAIT_GLIDE             clean, but a reverb whose level glides up from
//                              silence a step per block after it is switched
//                              on
// The crashing variants print a coloured line first, as some plug-ins'
// loggers do.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

#include "aeffect.h"
#include "opcodes.h"
#include "plugin_parts.h"

namespace {

using namespace check_plugin;

constexpr int kParams = 3;
constexpr int kPrograms = 2;
constexpr int kChannels = 2;
constexpr int kProgramNameBytes = 24;
#ifdef KD_TRAIT_SLOW
constexpr int kCreationMilliseconds = KD_TRAIT_SLOW;
#endif
#ifdef KD_FAULT_ECHO_PER_BLOCK
constexpr int kEchoFrames = 100;
constexpr int kEchoCapacity = 8192;
#endif
#ifdef KD_FAULT_SHARED_STATE
// One phase for every instance in the process.
double tremoloPhase = 0.0;
#endif
#ifdef KD_TRAIT_GLIDE
constexpr int kCombs = 4;
constexpr int kCombFrames[kCombs] = {1117, 1277, 1423, 1559};
constexpr float kCombFeedback = 0.8f;
constexpr double kGlideSeconds = 0.6;
#endif

// Variants whose trait lives in the single-precision path alone offer no
// double-precision path, which would differ from it as a second fault.
#if defined(KD_FAULT_SILENT_PAST_256) || defined(KD_FAULT_UNWRITTEN_CHANNEL) || defined(KD_FAULT_ECHO_PER_BLOCK) || \
    defined(KD_FAULT_DRY_BELOW_ANNOUNCED) || defined(KD_TRAIT_GLIDE)
constexpr bool kDoublePath = false;
#else
constexpr bool kDoublePath = true;
#endif

// As some plug-ins' loggers print before they fail.
[[maybe_unused]] void complainInColour(const char* what) {
    std::fprintf(stderr, "\x1b[1;31merror:\x1b[0m %s\n", what);
    std::fflush(stderr);
}

struct Program {
    const char* name;
    float values[kParams];
};
constexpr Program kFactoryPrograms[kPrograms] = {{"Gentle", {0.5f, 0.3f, 1.0f}}, {"Bright", {0.4f, 0.9f, 0.5f}}};

#ifdef KD_TRAIT_LONG_TEXTS
constexpr const char* kNames[kParams] = {"Output Gain Amount", "Filter Cutoff Position", "Dry/Wet Mix Balance"};
constexpr const char* kLabels[kParams] = {"decibels", "fraction", "percent"};
#else
constexpr const char* kNames[kParams] = {"Gain", "Cutoff", "Mix"};
constexpr const char* kLabels[kParams] = {"dB", "", "%"};
#endif

struct Instance {
    AEffect record{};
    float values[kParams] = {};
#ifdef KD_FAULT_MIX_RESETS_GAIN
    float gainInUse = 0.5f;
#endif
    int program = 0;
    char programNames[kPrograms][kProgramNameBytes] = {};
    float chunk[kParams + 1] = {};
    float memory[kChannels] = {};
    double memoryDouble[kChannels] = {};
    int notesHeard = 0;
    VstInt32 announcedBlock = 512;
#ifdef KD_FAULT_ECHO_PER_BLOCK
    float echo[kChannels][kEchoCapacity] = {};
    long written = 0;
#endif
#ifdef KD_FAULT_ALLOCATES_AFTER_CHANGE
    bool changed = false;
#endif
#ifdef KD_TRAIT_GLIDE
    float combs[kChannels][kCombs][1600] = {};
    long combAt = 0;
    float level = 0.0f;
    float sampleRate = 44100.0f;
#endif
#ifdef KD_FAULT_SILENT_PAST_256
    float scratch[256] = {};
#endif
#ifdef KD_TRAIT_RANDOM
    std::minstd_rand noise{std::random_device{}()};
#endif
};

Instance* self(AEffect* effect) {
    return static_cast<Instance*>(effect->object);
}

// At most `limit` characters and a terminator.
void copyText(void* ptr, const char* text, std::size_t limit) {
    const std::size_t length = std::min(std::strlen(text), limit);
    std::memcpy(ptr, text, length);
    static_cast<char*>(ptr)[length] = '\0';
}

void loadProgram(Instance& instance, int program) {
    instance.program = program;
    std::memcpy(instance.values, kFactoryPrograms[program].values, sizeof instance.values);
#ifdef KD_FAULT_MIX_RESETS_GAIN
    instance.gainInUse = instance.values[0];
#endif
}

double gainOf(float value) {
#ifdef KD_FAULT_INFINITE_AT_ONE
    return static_cast<double>(value) / (1.0 - static_cast<double>(value)) * 2.0;
#elif defined(KD_FAULT_BLOW_UP)
    return value >= 0.999f ? 1e17 : 2.0 * static_cast<double>(value);
#else
    return 2.0 * static_cast<double>(value);
#endif
}

double coefficientOf(float value) {
    return 0.02 + 0.96 * static_cast<double>(value);
}

VstIntPtr processEvents(Instance& instance, const EventList* list) {
    if (list == nullptr) {
        return 0;
    }
    EventHeader* const* events = list->events;
    for (VstInt32 i = 0; i < list->numEvents; ++i) {
        const EventHeader* event = events[i];
        if (event == nullptr || event->type != kMidiEventType) {
            continue;
        }
        if ((event->midiData[0] & 0xF0) == 0x90 && event->midiData[2] > 0) {
#ifdef KD_FAULT_MIDI_CRASH
            complainInColour("note-on arrived");
            volatile int* nowhere = reinterpret_cast<int*>(unmappedAddress);
            *nowhere = event->midiData[1];
#endif
            ++instance.notesHeard;
        }
    }
    return 1;
}

VstIntPtr getChunk(Instance& instance, void* ptr) {
    std::memcpy(instance.chunk, instance.values, sizeof instance.values);
    instance.chunk[kParams] = static_cast<float>(instance.program);
    *static_cast<void**>(ptr) = instance.chunk;
    return static_cast<VstIntPtr>(sizeof instance.chunk);
}

VstIntPtr setChunk(Instance& instance, VstIntPtr size, const void* data) {
#ifdef KD_FAULT_CHUNK_CRASH
    complainInColour("restoring a chunk");
    // Takes the chunk for a pointer to the chunk, as if it were the
    // address argument of effGetChunk.
    const float* values = *static_cast<const float* const*>(data);
    std::memcpy(instance.values, values, sizeof instance.values);
#endif
    if (data == nullptr || size != static_cast<VstIntPtr>(sizeof instance.chunk)) {
        return 0;
    }
    float chunk[kParams + 1];
    std::memcpy(chunk, data, sizeof chunk);
    std::memcpy(instance.values, chunk, sizeof instance.values);
    const int program = static_cast<int>(chunk[kParams]);
    instance.program = program >= 0 && program < kPrograms ? program : 0;
    return 1;
}

void display(const Instance& instance, VstInt32 index, char* text) {
    const double value = instance.values[index];
#ifdef KD_TRAIT_LONG_TEXTS
    constexpr const char* kFormats[kParams] = {"%.6f dB", "%.6f", "%.4f %%"};
    constexpr std::size_t kLimit = 40;
#else
    constexpr const char* kFormats[kParams] = {"%.2f", "%.3f", "%.0f"};
    constexpr std::size_t kLimit = kVstMaxParamStrLen;
#endif
    const double shown[kParams] = {20.0 * std::log10(std::max(gainOf(instance.values[0]), 1e-6)), value, 100.0 * value};
    char formatted[64];
    std::snprintf(formatted, sizeof formatted, kFormats[index], shown[index]);
    copyText(text, formatted, kLimit);
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
    (void)opt;
    Instance& instance = *self(effect);
    const bool parameterIndex = index >= 0 && index < kParams;
    switch (opcode) {
        case effClose:
            delete &instance;
            return 1;
        case effSetProgram:
            if (value >= 0 && value < kPrograms) {
                loadProgram(instance, static_cast<int>(value));
            }
            return 0;
        case effGetProgram:
            return instance.program;
        case effSetProgramName:
            copyText(instance.programNames[instance.program], static_cast<const char*>(ptr), kProgramNameBytes - 1);
            return 0;
        case effGetProgramName:
            copyText(ptr, instance.programNames[instance.program], kProgramNameBytes - 1);
            return 0;
        case effGetProgramNameIndexed:
            if (index < 0 || index >= kPrograms) {
                return 0;
            }
            copyText(ptr, instance.programNames[index], kProgramNameBytes - 1);
            return 1;
        case effGetParamName:
        case effGetParamLabel:
        case effGetParamDisplay:
            if (!parameterIndex) {
                return 0;
            }
            if (opcode == effGetParamDisplay) {
                display(instance, index, static_cast<char*>(ptr));
            } else {
                copyText(ptr, (opcode == effGetParamName ? kNames : kLabels)[index], 63);
            }
            return 0;
        case effMainsChanged:
            if (value != 0) {
                instance.memory[0] = instance.memory[1] = 0.0f;
                instance.memoryDouble[0] = instance.memoryDouble[1] = 0.0;
#ifdef KD_TRAIT_GLIDE
                instance.level = 0.0f;
#endif
            }
            return 0;
        case effSetBlockSize:
            instance.announcedBlock = static_cast<VstInt32>(value);
            return 0;
#ifdef KD_TRAIT_GLIDE
        case effSetSampleRate:
            instance.sampleRate = opt > 0.0f ? opt : instance.sampleRate;
            return 0;
#endif
        case effGetChunk:
            return ptr != nullptr ? getChunk(instance, ptr) : 0;
        case effSetChunk:
            return setChunk(instance, value, ptr);
        case effProcessEvents:
            return processEvents(instance, static_cast<const EventList*>(ptr));
        case effCanBeAutomated:
            return parameterIndex ? 1 : 0;
        case effGetEffectName:
            copyText(ptr, "Check Plugin", kVstMaxEffectNameLen);
            return 1;
        case effGetVendorString:
            copyText(ptr, "K Distortion project", kVstMaxVendorStrLen);
            return 1;
        case effGetProductString:
            copyText(ptr, "Check Plugin", kVstMaxProductStrLen);
            return 1;
        case effGetVendorVersion:
            return 1;
        case effGetPlugCategory:
            return kPlugCategEffect;
        case effCanDo: {
            const char* question = static_cast<const char*>(ptr);
            return question != nullptr && (std::strcmp(question, "receiveVstEvents") == 0 ||
                                           std::strcmp(question, "receiveVstMidiEvent") == 0)
                       ? 1
                       : 0;
        }
        case effGetVstVersion:
            return kVstVersion;
        default:
            return 0;
    }
}

template <typename Sample>
void filterChannel(Instance& instance, const Sample* in, Sample* out, VstInt32 frames, Sample& memory) {
#ifdef KD_FAULT_MIX_RESETS_GAIN
    const auto gain = static_cast<Sample>(gainOf(instance.gainInUse));
#else
    const auto gain = static_cast<Sample>(gainOf(instance.values[0]));
#endif
    const auto coefficient = static_cast<Sample>(coefficientOf(instance.values[1]));
    const auto wet = static_cast<Sample>(instance.values[2]);
    Sample state = memory;
    for (VstInt32 i = 0; i < frames; ++i) {
#ifdef KD_FAULT_READS_PAST_INPUT
        // Half-way between this frame and the next, the next of the last
        // frame lying past the block.
        const Sample x = (in[i] + in[i + 1]) / Sample(2);
#else
        const Sample x = in[i];
#endif
        state += coefficient * (x - state);
        // Keeps the decaying tail out of the subnormal range.
        if (std::fabs(state) < Sample(1e-30)) {
            state = 0;
        }
        Sample y = gain * (wet * state + (Sample(1) - wet) * x);
#ifdef KD_FAULT_INFINITE
        if (std::fabs(y) > Sample(0.25)) {
            y = std::copysign(std::numeric_limits<Sample>::infinity(), y);
        }
#endif
#ifdef KD_TRAIT_RANDOM
        y += Sample(0.01) * (static_cast<Sample>(instance.noise() % 2001u) / Sample(1000) - Sample(1));
#endif
#ifdef KD_FAULT_SHARED_STATE
        y *= static_cast<Sample>(0.75 + 0.25 * std::sin(tremoloPhase));
        tremoloPhase += 2.0 * kPi * 3.7 / 44100.0 / kChannels;
#endif
        out[i] = y;
    }
#ifdef KD_FAULT_PEEKS_PAST_INPUT
    // A look at the frame after the block, whose value decides nothing.
    if (frames > 0) {
        const volatile Sample* past = in + frames;
        if (*past > Sample(1e30)) {
            state = 0;
        }
    }
#endif
    memory = state;
}

#ifdef KD_FAULT_ECHO_PER_BLOCK
// The echo is read a whole number of blocks back: its delay depends on the
// block size.
void addEcho(Instance& instance, float** outputs, VstInt32 frames) {
    if (frames <= 0) {
        return;
    }
    const long delay = (kEchoFrames + frames - 1) / frames * frames;
    for (int channel = 0; channel < kChannels; ++channel) {
        float* line = instance.echo[channel];
        for (VstInt32 i = 0; i < frames; ++i) {
            const long at = instance.written + i;
            const float dry = outputs[channel][i];
            outputs[channel][i] = dry + 0.5f * line[(at - delay + kEchoCapacity * 4) % kEchoCapacity];
            line[at % kEchoCapacity] = dry;
        }
    }
    instance.written += frames;
}
#endif

#ifdef KD_TRAIT_GLIDE
// Four combs in parallel; the wet level rises from 0 to 0.5 a step per
// block, the steps sized so that the rise takes kGlideSeconds whatever the
// block size, as plug-ins that smooth a parameter once per block do.
void addReverb(Instance& instance, float** outputs, VstInt32 frames) {
    const float step = static_cast<float>(frames / (kGlideSeconds * instance.sampleRate)) * 0.5f;
    instance.level = std::min(0.5f, instance.level + step);
    for (VstInt32 i = 0; i < frames; ++i) {
        for (int channel = 0; channel < kChannels; ++channel) {
            float sum = 0.0f;
            for (int comb = 0; comb < kCombs; ++comb) {
                float& cell = instance.combs[channel][comb][(instance.combAt + i) % kCombFrames[comb]];
                const float delayed = cell;
                cell = outputs[channel][i] + kCombFeedback * delayed;
                if (std::fabs(cell) < 1e-20f) {
                    cell = 0.0f;
                }
                sum += delayed;
            }
            outputs[channel][i] += instance.level * 0.25f * sum;
        }
    }
    instance.combAt += frames;
}
#endif

void VSTCALLBACK processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    Instance& instance = *self(effect);
#ifdef KD_FAULT_ZERO_FRAME_CRASH
    if (frames == 0) {
        complainInColour("nothing to process");
        volatile float* nowhere = reinterpret_cast<float*>(unmappedAddress);
        *nowhere = 0.0f;
    }
#endif
#ifdef KD_FAULT_ALLOCATES_AFTER_CHANGE
    if (instance.changed) {
        // Rebuilds its coefficient table on the heap.
        void* volatile table = std::malloc(4096);
        std::free(table);
        instance.changed = false;
    }
#endif
    for (int channel = 0; channel < kChannels; ++channel) {
#ifdef KD_FAULT_UNWRITTEN_CHANNEL
        if (channel == 1) {
            continue;
        }
#endif
#ifdef KD_FAULT_DRY_BELOW_ANNOUNCED
        if (frames < instance.announcedBlock) {
            std::memcpy(outputs[channel], inputs[channel], sizeof(float) * static_cast<std::size_t>(frames));
            continue;
        }
#endif
#ifdef KD_FAULT_SILENT_PAST_256
        // The channel goes through a scratch area that holds only 256
        // frames; the rest of a longer block is left silent.
        const VstInt32 kept = frames < 256 ? frames : 256;
        if (kept > 0) {
            std::memcpy(instance.scratch, inputs[channel], sizeof(float) * static_cast<std::size_t>(kept));
        }
        filterChannel<float>(instance, instance.scratch, outputs[channel], kept, instance.memory[channel]);
        for (VstInt32 i = kept; i < frames; ++i) {
            outputs[channel][i] = 0.0f;
        }
#else
        filterChannel<float>(instance, inputs[channel], outputs[channel], frames, instance.memory[channel]);
#endif
    }
#ifdef KD_FAULT_ECHO_PER_BLOCK
    addEcho(instance, outputs, frames);
#endif
#ifdef KD_TRAIT_GLIDE
    addReverb(instance, outputs, frames);
#endif
#ifdef KD_FAULT_OVERRUN
    if (frames > 0) {
        outputs[kChannels - 1][frames] = outputs[kChannels - 1][frames - 1];
    }
#endif
}

void VSTCALLBACK processDoubleReplacing(AEffect* effect, double** inputs, double** outputs, VstInt32 frames) {
    Instance& instance = *self(effect);
#ifdef KD_FAULT_BROKEN_DOUBLE
    (void)instance;
    for (int channel = 0; channel < kChannels; ++channel) {
        for (VstInt32 i = 0; i < frames; ++i) {
            outputs[channel][i] = inputs[channel][i];
        }
    }
#else
    for (int channel = 0; channel < kChannels; ++channel) {
        filterChannel<double>(instance, inputs[channel], outputs[channel], frames, instance.memoryDouble[channel]);
    }
#endif
}

void VSTCALLBACK setParameter(AEffect* effect, VstInt32 index, float value) {
    if (index >= 0 && index < kParams) {
        self(effect)->values[index] = value;
#ifdef KD_FAULT_MIX_RESETS_GAIN
        if (index == 0) {
            self(effect)->gainInUse = value;
        } else if (index == 2) {
            self(effect)->gainInUse = 0.5f;
        }
#endif
#ifdef KD_FAULT_ALLOCATES_AFTER_CHANGE
        self(effect)->changed = true;
#endif
    }
}

float VSTCALLBACK getParameter(AEffect* effect, VstInt32 index) {
    return index >= 0 && index < kParams ? self(effect)->values[index] : 0.0f;
}

}  // namespace

CHECK_PLUGIN_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
#ifdef KD_TRAIT_SLOW
    std::this_thread::sleep_for(std::chrono::milliseconds(kCreationMilliseconds));
#endif
    auto* instance = new Instance;
    for (int program = 0; program < kPrograms; ++program) {
        copyText(instance->programNames[program], kFactoryPrograms[program].name, kProgramNameBytes - 1);
    }
    loadProgram(*instance, 0);
    AEffect& record = instance->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.processDoubleReplacing = kDoublePath ? processDoubleReplacing : nullptr;
    record.numPrograms = kPrograms;
    record.numParams = kParams;
    record.numInputs = kChannels;
    record.numOutputs = kChannels;
#ifdef KD_FAULT_MIX_RESETS_GAIN
    constexpr VstInt32 kChunks = 0;
#else
    constexpr VstInt32 kChunks = effFlagsProgramChunks;
#endif
    record.flags = effFlagsCanReplacing | (kDoublePath ? effFlagsCanDoubleReplacing : 0) | kChunks;
    record.object = instance;
    record.uniqueID = fourCharCode('K', 'd', 'C', 'k');
    record.version = 1;
    return &record;
}
