// One live instance of a plug-in, with the host's side of its state, and
// safe helpers for the calls that the host makes through its record.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "aeffect.h"
#include "plugin/host_callback.h"

class PluginModule;
class MidiEventBatch;

struct TextAnswer {
    std::string text;
    std::size_t bytesWritten = 0;  // bytes the plug-in changed in the buffer
    bool fits = true;              // within the limit given, terminator included
    VstIntPtr result = 0;
};

class PluginInstance {
public:
    // Calls the entry point. Throws HostError when the plug-in returns null
    // or something that is not an effect record. Nothing is sent to the
    // instance yet: the caller chooses the opening order.
    // `hostSampleRate` and `hostBlockSize` are what the host answers when the
    // plug-in asks before anything has been sent (a scanner answers 0).
    explicit PluginInstance(const PluginModule& module, float hostSampleRate = 44100.0f, VstInt32 hostBlockSize = 512,
                            VstIntPtr hostVersion = kVstVersion);
    // Switches the instance off if it is on and closes it, unless the caller
    // has closed or abandoned it already.
    ~PluginInstance();
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    AEffect* effect() const { return effect_; }
    HostState& host() { return *host_; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
    // A text query into a guarded buffer; `limitChars` is the interface's
    // limit for this answer, which the buffer does not rely on.
    TextAnswer text(VstInt32 opcode, VstInt32 index, std::size_t limitChars, VstIntPtr value = 0);

    // The order a host instantiating for playback uses: open, then sample
    // rate and block size.
    void openForPlayback(float sampleRate, VstInt32 blockSize);
    void open();
    void setSampleRate(float sampleRate);
    void setBlockSize(VstInt32 blockSize);
    // Also starts and stops the transport that the plug-in's clock reports.
    void setMains(bool on);
    bool mainsOn() const { return mainsOn_; }
    void close();
    // Leaves the instance open for good, as a host that never closes it.
    void abandon() { closed_ = true; }

    // Begin / set / end, as hosts select programs.
    void selectProgram(VstInt32 program);
    float parameter(VstInt32 index) const;
    void setParameter(VstInt32 index, float value);

    // Replacing processing when the plug-in offers it, else the accumulating
    // call on zeroed outputs. Counts the heap allocations the call makes on
    // this thread, and moves the host's clock on by `frames`.
    void process(float** inputs, float** outputs, VstInt32 frames);
    bool canReplace() const;
    // Hands the plug-in the MIDI events of the block that the next process
    // call renders (effProcessEvents); nothing is sent for an empty batch.
    // Audio thread, just before process(); the batch must stay alive and
    // unchanged until that call returns, as plug-ins may keep the pointers.
    void sendEvents(MidiEventBatch& batch);
    long processAllocations() const { return processAllocations_; }

    // An instrument by its flags or its category: it plays MIDI, not audio.
    bool isInstrument();
    // An instrument, or an effect that says it receives events or MIDI.
    bool takesEvents();

    VstInt32 numInputs() const { return effect_->numInputs; }
    VstInt32 numOutputs() const { return effect_->numOutputs; }
    VstInt32 numParams() const { return effect_->numParams; }
    VstInt32 numPrograms() const { return effect_->numPrograms; }

    // Doubts about the record that do not stop the host; empty when none.
    const std::string& warning() const { return warning_; }

private:
    std::unique_ptr<HostState> host_;
    AEffect* effect_ = nullptr;
    bool opened_ = false;
    bool mainsOn_ = false;
    bool closed_ = false;
    long processAllocations_ = 0;
    std::string warning_;
};

// Upper bounds that separate a plausible record from garbage. Plug-ins with
// hundreds of channels exist (high-order Ambisonics); counts above
// kQuestionableChannels are loaded with a warning.
inline constexpr VstInt32 kMaxPlausibleChannels = 4096;
inline constexpr VstInt32 kQuestionableChannels = 256;
inline constexpr VstInt32 kMaxPlausibleParams = 100000;
inline constexpr VstInt32 kMaxPlausiblePrograms = 100000;
