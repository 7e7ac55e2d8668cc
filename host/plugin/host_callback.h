// The host's side of the callback that every plug-in instance receives.
//
// The callback carries no user argument, so each instance's answers live in
// a HostState that the host hangs on the record's `user` field once the entry
// point has returned. Calls made while the entry point is still running
// (the record does not exist yet for the host) are answered from the state
// that the creating thread has announced with HostState::Creating.
#pragma once

#include <atomic>

#include "aeffect.h"
#include "plugin/host_clock.h"

// What the host reports as its current processing context
// (audioMasterGetCurrentProcessLevel): 1 user interface, 2 real time, 4 offline.
enum class ProcessLevel : VstInt32 { User = 1, Realtime = 2, Offline = 4 };

struct HostState {
    // Answered to audioMasterGetSampleRate / audioMasterGetBlockSize. The
    // host keeps these equal to what it last sent with effSetSampleRate /
    // effSetBlockSize; a scanner that has sent nothing answers 0.
    std::atomic<float> sampleRate{44100.0f};
    std::atomic<VstInt32> blockSize{512};
    // Answered to audioMasterVersion: 2400, or what a scanner that
    // imitates an older host answers.
    std::atomic<VstIntPtr> versionAnswer{kVstVersion};
    std::atomic<VstInt32> inputsConnected{2};
    std::atomic<VstInt32> outputsConnected{2};
    // Real time or offline while the plug-in processes; user otherwise.
    std::atomic<ProcessLevel> processingLevel{ProcessLevel::Realtime};
    // The transport that audioMasterGetTime reports; the instance advances
    // it with every block it processes.
    HostClock clock;
    // Requests the plug-in made of the host, for the checks to inspect.
    std::atomic<int> automateCalls{0};
    std::atomic<int> versionQueries{0};

    // Scope during an entry-point call: callbacks without a usable record
    // on this thread are answered from `state`.
    class Creating {
    public:
        explicit Creating(HostState& state);
        ~Creating();
        Creating(const Creating&) = delete;
        Creating& operator=(const Creating&) = delete;

    private:
        HostState* previous_;
    };
};

// True while this thread is inside a plug-in's process call that the host
// made (set by the instance wrapper); the callback answers the process level
// from it.
void setInsideProcess(bool inside);

// The callback handed to every entry point.
VstIntPtr VSTCALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt);

// The names this host gives when a plug-in asks.
inline constexpr const char* kHostVendor = "K Distortion project";
inline constexpr const char* kHostProduct = "K Distortion plughost";
inline constexpr VstInt32 kHostVendorVersion = 1000;
