// The library's only ways in: the exported entry point (under two names) and,
// on Windows, the loader's DllMain.
#include "audio_effect.h"
#include "floating_point_guard.h"
#include "opcodes.h"
#include "plugin_factory.h"

#ifdef _WIN32
#include <windows.h>
#endif

#if defined(_WIN32)
#define KD_EXPORT extern "C" __declspec(dllexport)
#else
#define KD_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Called by any thread, any number of times; each call builds one independent
// instance. Nothing is thrown into the host: a failed construction is null.
KD_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr) {
        return nullptr;
    }
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
            return nullptr;
        }
        // The host's own floating-point state holds for its version query; the
        // effect's construction runs with the one its results are meant in.
        const FloatingPointGuard floatingPoint;
        AudioEffect* effect = createEffectInstance(audioMaster);
        if (effect == nullptr) {
            return nullptr;
        }
        return effect->getAeffect();
    } catch (...) {
        return nullptr;
    }
}

#ifdef _WIN32
// The .def file exports the same function a second time as "main".
HINSTANCE moduleHandle = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE hInst, DWORD /*reason*/, LPVOID /*reserved*/) {
    moduleHandle = hInst;
    return 1;
}
#else
// Older hosts look the entry point up as "main"; a symbol alias gives the one
// function both names.
extern "C" __attribute__((visibility("default"), alias("VSTPluginMain"))) AEffect* vstPluginMainAlias(
    audioMasterCallback audioMaster) __asm__("main");
#endif
