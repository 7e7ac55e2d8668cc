#include "host_dispatch.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_failure.h"
#include "guarded_buffer.h"
#include "opcodes.h"
#include "parameter_index.h"
#include "structures.h"

namespace {
constexpr VstInt32 kProgramCount = 9;

// Buffer sizes of the interface, terminator included.
constexpr std::size_t kParameterTextBytes = kVstMaxParamStrLen + 1;
constexpr std::size_t kProgramNameBytes = kVstMaxProgNameLen;
constexpr std::size_t kEffectNameBytes = kVstMaxEffectNameLen + 1;
constexpr std::size_t kVendorBytes = kVstMaxVendorStrLen + 1;
constexpr std::size_t kProductBytes = kVstMaxProductStrLen + 1;
constexpr std::size_t kShellNameBytes = 64 + 1;
constexpr std::size_t kErrorTextBytes = 256 + 1;
// Structures the host fills with zeros before it hands them over; the sizes
// are those of the interface's largest 64-bit layouts, rounded up.
constexpr std::size_t kPinPropertiesBytes = 128;
constexpr std::size_t kParameterPropertiesBytes = 152;
constexpr std::size_t kMidiNameBytes = 80;
constexpr std::size_t kPatchChunkInfoBytes = 64;
constexpr std::size_t kEventListBytes = 64;
constexpr std::size_t kVariableIoBytes = 64;
constexpr std::size_t kOfflineBytes = 1024;
constexpr std::size_t kScratchBytes = 256;
// A program name longer than any the effect keeps, to test the cut.
constexpr std::size_t kLongestProgramNameSent = 100;

VstIntPtr call(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void requireGuard(const GuardedBuffer& buffer, VstInt32 opcode, VstInt32 index, const char* what) {
    FUZZ_REQUIRE(buffer.guardIntact(), "opcode %d (index %d) wrote into the guard behind the %zu-byte %s at byte %zu",
                 opcode, index, buffer.size(), what, buffer.size() + buffer.firstDamagedGuardByte());
}

// A text answer into a buffer of exactly `bytes` bytes.
enum class TextRule { kMustWrite, kMayWrite, kMustNotWrite };

GuardedBuffer askForText(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, std::size_t bytes,
                         TextRule rule, VstIntPtr* result = nullptr) {
    GuardedBuffer text(bytes);
    const VstIntPtr answer = call(effect, opcode, index, value, text.data(), 0.0f);
    if (result != nullptr) {
        *result = answer;
    }
    requireGuard(text, opcode, index, "text buffer");
    switch (rule) {
        case TextRule::kMustWrite:
            FUZZ_REQUIRE(text.terminated(), "opcode %d (index %d) left no terminator within its %zu-byte buffer",
                         opcode, index, bytes);
            break;
        case TextRule::kMayWrite:
            FUZZ_REQUIRE(text.untouched() || text.terminated(),
                         "opcode %d (index %d) wrote a text without a terminator within its %zu-byte buffer", opcode,
                         index, bytes);
            break;
        case TextRule::kMustNotWrite:
            FUZZ_REQUIRE(text.untouched(), "opcode %d with index %d (rejected) changed the host's %zu-byte buffer",
                         opcode, index, bytes);
            break;
    }
    return text;
}

bool parameterIndexValid(VstInt32 index) {
    return index >= 0 && index < kParameterCount;
}

// A zero-terminated string on the heap, exactly as long as it needs to be,
// so that reading past its terminator is caught.
std::unique_ptr<char[]> heapString(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

std::string capabilityQuestion(FuzzBytes& in) {
    static const char* const known[] = {
        "sendVstEvents",
        "sendVstMidiEvent",
        "receiveVstEvents",
        "receiveVstMidiEvent",
        "receiveVstTimeInfo",
        "offline",
        "midiProgramNames",
        "bypass",
        "plugAsChannelInsert",
        "plugAsSend",
        "mixDryWet",
        "noRealTime",
        "multipass",
        "metapass",
        "1in1out",
        "1in2out",
        "2in1out",
        "2in2out",
        "2in4out",
        "4in2out",
        "conformsToWindowRules",
        "",
    };
    constexpr unsigned count = sizeof(known) / sizeof(known[0]);
    return in.flag() ? known[in.below(count)] : in.text(80);
}

std::string numberText(FuzzBytes& in) {
    static const char* const known[] = {"0",    "0.5",   "1",    "-1",   "1e40", "-1e40",
                                        "nan",  "inf",   "-inf", "20",   "-20",  "19000",
                                        "0x10", "1e-45", " 3",   "3 dB", "",     "99999999999999999999"};
    constexpr unsigned count = sizeof(known) / sizeof(known[0]);
    return in.flag() ? known[in.below(count)] : in.text(40);
}

void requireAllParametersInRange(AEffect* effect, VstIntPtr program) {
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        const float v = effect->getParameter(effect, i);
        FUZZ_REQUIRE(v >= 0.0f && v <= 1.0f, "factory program %lld left parameter %d at %g, outside 0..1",
                     static_cast<long long>(program), i, static_cast<double>(v));
    }
}

void setProgram(AEffect* effect, FuzzBytes& in) {
    const VstIntPtr program = in.flag() ? static_cast<VstIntPtr>(in.below(kProgramCount + 2)) - 1 : in.value();
    GuardedBuffer scratch(kScratchBytes, 0);
    call(effect, effSetProgram, 0, program, in.flag() ? scratch.data() : nullptr, 0.0f);
    requireGuard(scratch, effSetProgram, 0, "scratch");
    if (program >= 0 && program < kProgramCount) {
        requireAllParametersInRange(effect, program);
    }
    const VstIntPtr current = call(effect, effGetProgram, 0, 0, nullptr, 0.0f);
    FUZZ_REQUIRE(current >= 0 && current < kProgramCount, "effGetProgram answered %lld after effSetProgram %lld",
                 static_cast<long long>(current), static_cast<long long>(program));
}

// The host renames the current program, then reads the name back: the
// effect keeps at most 23 characters.
void renameProgram(AEffect* effect, FuzzBytes& in) {
    const std::string name = in.text(kLongestProgramNameSent);
    std::unique_ptr<char[]> sent = heapString(name);
    call(effect, effSetProgramName, 0, 0, sent.get(), 0.0f);
    GuardedBuffer back = askForText(effect, effGetProgramName, 0, 0, kProgramNameBytes, TextRule::kMustWrite);
    const std::string expected = name.substr(0, kProgramNameBytes - 1);
    FUZZ_REQUIRE(back.text() == expected, "a %zu-character program name came back as %zu characters, expected %zu",
                 name.size(), back.text().size(), expected.size());
}

void parameterText(AEffect* effect, VstInt32 opcode, FuzzBytes& in) {
    const VstInt32 index = in.index(kParameterCount);
    askForText(effect, opcode, index, in.value(), kParameterTextBytes,
               parameterIndexValid(index) ? TextRule::kMustWrite : TextRule::kMustNotWrite);
}

void identityText(AEffect* effect, VstInt32 opcode, std::size_t bytes, FuzzBytes& in) {
    VstIntPtr result = 0;
    const VstInt32 index = in.index(kParameterCount);
    askForText(effect, opcode, index, in.value(), bytes, TextRule::kMustWrite, &result);
    FUZZ_REQUIRE(result == 1, "identity opcode %d answered %lld, expected 1", opcode, static_cast<long long>(result));
}

// Program names (current or by number) and shell plug-in names.
void programText(AEffect* effect, VstInt32 opcode, std::size_t bytes, TextRule rule, FuzzBytes& in) {
    const VstInt32 index = in.index(kProgramCount);
    askForText(effect, opcode, index, in.value(), bytes, rule);
}

void getChunk(AEffect* effect, FuzzBytes& in) {
    void* data = nullptr;
    const VstInt32 isPreset = in.index(2);
    const VstIntPtr value = in.value();
    const VstIntPtr size = call(effect, effGetChunk, isPreset, value, &data, in.opt());
    FUZZ_REQUIRE(size >= 0, "effGetChunk answered a negative size %lld", static_cast<long long>(size));
    if (size > 0) {
        FUZZ_REQUIRE(data != nullptr, "effGetChunk answered %lld bytes but gave no data", static_cast<long long>(size));
        // Read every byte the effect claims, as a host saving a project would.
        volatile unsigned char sum = 0;
        for (VstIntPtr i = 0; i < size; ++i) {
            sum = static_cast<unsigned char>(sum + static_cast<unsigned char*>(data)[i]);
        }
    }
}

void setChunk(AEffect* effect, FuzzBytes& in) {
    const std::size_t size = in.below(257);
    GuardedBuffer chunk(size, 0);
    for (std::size_t i = 0; i < size; ++i) {
        chunk.data()[i] = static_cast<char>(in.byte());
    }
    const VstIntPtr announced =
        in.flag() ? static_cast<VstIntPtr>(size) : static_cast<VstIntPtr>(in.below(257) % (size + 1));
    const VstInt32 isPreset = in.index(2);
    call(effect, effSetChunk, isPreset, announced, chunk.data(), in.opt());
    requireGuard(chunk, effSetChunk, 0, "chunk");
}

// The host's view of an arrangement block for `channels` speakers, allocated
// to exactly that size.
struct HostArrangement {
    explicit HostArrangement(VstInt32 channels) : block(speakerArrangementBytes(channels), 0) {
        auto* arrangement = get();
        arrangement->numChannels = channels;
        arrangement->type = channels;
        for (VstInt32 i = 0; i < channels; ++i) {
            VstSpeakerProperties& speaker = arrangement->speakers[i];
            std::strcpy(speaker.name, i % 2 == 0 ? "L" : "R");
            speaker.type = i % 2;
        }
    }
    VstSpeakerArrangement* get() { return reinterpret_cast<VstSpeakerArrangement*>(block.data()); }
    GuardedBuffer block;
};

void setSpeakerArrangement(AEffect* effect, FuzzBytes& in) {
    HostArrangement input(static_cast<VstInt32>(in.below(3)));
    HostArrangement output(static_cast<VstInt32>(in.below(3)));
    const VstInt32 index = in.index(2);
    call(effect, effSetSpeakerArrangement, index, reinterpret_cast<VstIntPtr>(input.get()), output.get(), in.opt());
    requireGuard(input.block, effSetSpeakerArrangement, 0, "input arrangement");
    requireGuard(output.block, effSetSpeakerArrangement, 0, "output arrangement");
}

// A slot the effect may fill with its own arrangement; read whatever it puts
// there the way a host would.
void readArrangement(const VstSpeakerArrangement* arrangement, const VstSpeakerArrangement* hostOwned) {
    if (arrangement == nullptr || arrangement == hostOwned) {
        return;
    }
    const VstInt32 channels = arrangement->numChannels;
    FUZZ_REQUIRE(channels >= 0 && channels <= 64, "effGetSpeakerArrangement gave an arrangement of %d channels",
                 channels);
    volatile float sum = 0.0f;
    for (VstInt32 i = 0; i < channels; ++i) {
        sum = sum + arrangement->speakers[i].azimuth + static_cast<float>(arrangement->speakers[i].name[0]);
    }
}

void getSpeakerArrangement(AEffect* effect, FuzzBytes& in) {
    HostArrangement previous(2);
    VstSpeakerArrangement* inputSlot = previous.get();
    VstSpeakerArrangement* outputSlot = previous.get();
    const bool passInput = in.below(4) != 0;
    const bool passOutput = in.below(4) != 0;
    const VstInt32 index = in.index(2);
    call(effect, effGetSpeakerArrangement, index, passInput ? reinterpret_cast<VstIntPtr>(&inputSlot) : 0,
         passOutput ? &outputSlot : nullptr, in.opt());
    readArrangement(inputSlot, previous.get());
    readArrangement(outputSlot, previous.get());
}

// Opcodes that hand the effect a structure for it to fill or read.
void structureCall(AEffect* effect, VstInt32 opcode, std::size_t bytes, VstIntPtr value, FuzzBytes& in) {
    GuardedBuffer structure(bytes, 0);
    const VstInt32 index = in.index(kParameterCount);
    call(effect, opcode, index, value, structure.data(), in.opt());
    requireGuard(structure, opcode, 0, "structure");
}

void canDo(AEffect* effect, FuzzBytes& in) {
    std::unique_ptr<char[]> question = heapString(capabilityQuestion(in));
    const VstIntPtr answer = call(effect, effCanDo, 0, 0, question.get(), 0.0f);
    FUZZ_REQUIRE(answer >= -1 && answer <= 1, "effCanDo \"%s\" answered %lld, not -1, 0 or 1", question.get(),
                 static_cast<long long>(answer));
}

void string2parameter(AEffect* effect, FuzzBytes& in) {
    const VstInt32 index = in.index(kParameterCount);
    std::unique_ptr<char[]> text = heapString(numberText(in));
    const VstIntPtr answer = call(effect, effString2Parameter, index, 0, text.get(), 0.0f);
    FUZZ_REQUIRE(answer == 0 || answer == 1, "effString2Parameter answered %lld", static_cast<long long>(answer));
}

void editGetRect(AEffect* effect, FuzzBytes& in) {
    void* rect = nullptr;
    const VstIntPtr value = in.value();
    const VstIntPtr answer = call(effect, effEditGetRect, 0, value, &rect, in.opt());
    if (answer != 0 && rect != nullptr) {
        volatile short sum = 0;
        for (int i = 0; i < 4; ++i) {
            sum = static_cast<short>(sum + static_cast<short*>(rect)[i]);
        }
    }
}

bool defined(VstInt32 opcode) {
    return opcode >= effOpen && opcode <= effGetNumMidiOutputChannels;
}

// The twelve opcodes of the version-2 range that reach no operation.
bool unrouted(VstInt32 opcode) {
    switch (opcode) {
        case effGetNumProgramCategories:
        case effCopyProgram:
        case effConnectInput:
        case effConnectOutput:
        case effGetCurrentPosition:
        case effGetDestinationBuffer:
        case effSetBlockSizeAndSampleRate:
        case effGetErrorText:
        case effIdle:
        case effGetIcon:
        case effSetViewPosition:
        case effKeysRequired:
            return true;
        default:
            return false;
    }
}

// Opcodes whose pointer argument the interface leaves unused (or, for the
// editor, an opaque window handle): null or a zeroed scratch block.
void plainCall(AEffect* effect, VstInt32 opcode, FuzzBytes& in) {
    const VstInt32 index = in.index(kParameterCount);
    const VstIntPtr value = in.value();
    const float opt = in.opt();
    const bool passScratch = in.flag();
    const bool handledNowhere = !defined(opcode) || unrouted(opcode);
    // The patterned fill shows any byte the effect writes, zeros included.
    GuardedBuffer scratch(opcode == effGetErrorText ? kErrorTextBytes : kScratchBytes,
                          handledNowhere ? GuardedBuffer::kFill : 0);
    const VstIntPtr answer = call(effect, opcode, index, value, passScratch ? scratch.data() : nullptr, opt);
    requireGuard(scratch, opcode, index, "scratch block");
    if (handledNowhere) {
        FUZZ_REQUIRE(answer == 0, "opcode %d, which no layer handles, answered %lld", opcode,
                     static_cast<long long>(answer));
        FUZZ_REQUIRE(scratch.untouched(), "opcode %d, which no layer handles, wrote into the host's buffer", opcode);
    }
}
}  // namespace

DispatchOutcome dispatchLikeAHost(AEffect* effect, VstInt32 opcode, FuzzBytes& in) {
    switch (opcode) {
        case effClose: {
            const VstInt32 index = in.index(2);
            const VstIntPtr value = in.value();
            const VstIntPtr answer = call(effect, effClose, index, value, nullptr, in.opt());
            FUZZ_REQUIRE(answer == 1, "effClose answered %lld, expected 1", static_cast<long long>(answer));
            return DispatchOutcome::kInstanceClosed;
        }
        case effSetProgram:
            setProgram(effect, in);
            break;
        case effSetProgramName:
            renameProgram(effect, in);
            break;
        case effGetProgramName:
            programText(effect, opcode, kProgramNameBytes, TextRule::kMustWrite, in);
            break;
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
            parameterText(effect, opcode, in);
            break;
        case effEditGetRect:
            editGetRect(effect, in);
            break;
        case effGetChunk:
            getChunk(effect, in);
            break;
        case effSetChunk:
            setChunk(effect, in);
            break;
        case effProcessEvents:
            structureCall(effect, opcode, kEventListBytes, 0, in);
            break;
        case effString2Parameter:
            string2parameter(effect, in);
            break;
        case effGetProgramNameIndexed:
            programText(effect, opcode, kProgramNameBytes, TextRule::kMayWrite, in);
            break;
        case effGetInputProperties:
        case effGetOutputProperties:
            structureCall(effect, opcode, kPinPropertiesBytes, in.value(), in);
            break;
        case effOfflineNotify:
        case effOfflinePrepare:
        case effOfflineRun:
            // The value is the number of files or tasks: at most the one there is room for.
            structureCall(effect, opcode, kOfflineBytes, static_cast<VstIntPtr>(in.below(2)), in);
            break;
        case effProcessVarIo:
            structureCall(effect, opcode, kVariableIoBytes, in.value(), in);
            break;
        case effSetSpeakerArrangement:
            setSpeakerArrangement(effect, in);
            break;
        case effGetEffectName:
            identityText(effect, opcode, kEffectNameBytes, in);
            break;
        case effGetVendorString:
            identityText(effect, opcode, kVendorBytes, in);
            break;
        case effGetProductString:
            identityText(effect, opcode, kProductBytes, in);
            break;
        case effCanDo:
            canDo(effect, in);
            break;
        case effGetParameterProperties:
            structureCall(effect, opcode, kParameterPropertiesBytes, in.value(), in);
            break;
        case effGetMidiProgramName:
        case effGetCurrentMidiProgram:
        case effGetMidiProgramCategory:
        case effGetMidiKeyName:
            structureCall(effect, opcode, kMidiNameBytes, in.value(), in);
            break;
        case effGetSpeakerArrangement:
            getSpeakerArrangement(effect, in);
            break;
        case effShellGetNextPlugin:
            programText(effect, opcode, kShellNameBytes, TextRule::kMayWrite, in);
            break;
        case effBeginLoadBank:
        case effBeginLoadProgram:
            structureCall(effect, opcode, kPatchChunkInfoBytes, in.value(), in);
            break;
        default:
            plainCall(effect, opcode, in);
            break;
    }
    return DispatchOutcome::kInstanceLives;
}
