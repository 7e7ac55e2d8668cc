// Small plug-ins with known faults, for testing how the host copes with
// what other people's plug-ins do. One source, built as several libraries:
//   KD_STUB_NULL_ENTRY  the entry point creates nothing (returns null)
//   KD_STUB_FAULTY      an instance that overruns its texts, allocates while
//                       processing, turns out NaN at high parameter values,
//                       crashes on blocks of 17 frames and hangs when asked
//                       for parameter properties. Asked by the environment,
//                       it ends the process: KD_STUB_END names the way
//                       (crash, abort, throw, uncaught, exit, _exit, and on
//                       Windows ExitProcess and TerminateProcess; or hang,
//                       to be ended from outside) and
//                       KD_STUB_END_AT the moment (load: a static
//                       constructor; open: effOpen; process: the first
//                       processReplacing).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "aeffect.h"
#include "opcodes.h"
#include "stub_export.h"

namespace {

#ifdef KD_STUB_FAULTY

constexpr VstInt32 kCrashingBlock = 17;
// An address no process maps: unlike a null pointer's, a sanitizer build
// does not stop the store before it faults (and, read at run time, the
// compiler does not see it coming either).
volatile std::uintptr_t unmappedAddress = 64;

void giveUp() {
    throw std::runtime_error("the stub gives up");
}

// An exception that cannot leave: std::terminate inside the plug-in.
void giveUpWithoutEscape() noexcept {
    giveUp();
}

void endIfAskedAt(const char* moment) {
    const char* at = std::getenv("KD_STUB_END_AT");
    const char* how = std::getenv("KD_STUB_END");
    if (at == nullptr || how == nullptr || std::strcmp(at, moment) != 0) {
        return;
    }
    const auto is = [how](const char* way) { return std::strcmp(how, way) == 0; };
    if (is("crash")) {
        volatile float* nowhere = reinterpret_cast<float*>(unmappedAddress);
        *nowhere = 1.0f;
    } else if (is("abort")) {
        std::abort();
    } else if (is("throw")) {
        giveUp();
    } else if (is("uncaught")) {
        giveUpWithoutEscape();
    } else if (is("exit")) {
        std::exit(0);
    } else if (is("_exit")) {
        _exit(0);
    } else if (is("hang")) {
        for (volatile bool forever = true; forever;) {
        }
#ifdef _WIN32
    } else if (is("ExitProcess")) {
        ExitProcess(0);
    } else if (is("TerminateProcess")) {
        TerminateProcess(GetCurrentProcess(), 0);
#endif
    }
}

// Runs while the library loads.
const bool endedAtLoad = (endIfAskedAt("load"), false);

struct Faulty {
    AEffect record{};
    float value = 0.5f;
};

Faulty* self(AEffect* effect) {
    return static_cast<Faulty*>(effect->object);
}

VstIntPtr VSTCALLBACK dispatch(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    switch (opcode) {
        case effOpen:
            endIfAskedAt("open");
            return 0;
        case effClose:
            delete self(effect);
            return 1;
        case effGetParamName:
            std::strcpy(static_cast<char*>(ptr), "FarTooLongName");  // 14 characters: an overrun
            return 0;
        case effGetParamLabel:
            std::strcpy(static_cast<char*>(ptr), "");
            return 0;
        case effGetParamDisplay:
            std::strcpy(static_cast<char*>(ptr), "1");
            return 0;
        case effGetEffectName:
            std::strcpy(static_cast<char*>(ptr), "Faulty");
            return 1;
        case effGetParameterProperties:
            for (volatile bool forever = true; forever;) {
            }
            return 0;
        default:
            return 0;
    }
}

void VSTCALLBACK processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    endIfAskedAt("process");
    if (frames == kCrashingBlock) {
        volatile float* nowhere = reinterpret_cast<float*>(unmappedAddress);
        *nowhere = 1.0f;
    }
    void* volatile scratch = std::malloc(64);
    const float value = self(effect)->value;
    for (VstInt32 i = 0; i < frames; ++i) {
        outputs[0][i] = value > 0.9f ? std::numeric_limits<float>::quiet_NaN() : inputs[0][i] * value;
    }
    std::free(scratch);
}

void VSTCALLBACK setParameter(AEffect* effect, VstInt32 index, float value) {
    if (index == 0) {
        self(effect)->value = value;
    }
}

float VSTCALLBACK getParameter(AEffect* effect, VstInt32 index) {
    return index == 0 ? self(effect)->value : 0.0f;
}

#endif

}  // namespace

STUB_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
#ifdef KD_STUB_NULL_ENTRY
    (void)host;
    return nullptr;
#else
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    auto* instance = new Faulty;
    AEffect& record = instance->record;
    record.magic = kEffectMagic;
    record.dispatcher = dispatch;
    record.setParameter = setParameter;
    record.getParameter = getParameter;
    record.processReplacing = processReplacing;
    record.numInputs = 1;
    record.numOutputs = 1;
    record.numParams = 1;
    record.flags = effFlagsCanReplacing;
    record.object = instance;
    record.uniqueID = fourCharCode('F', 'l', 't', 'y');
    return &record;
#endif
}
