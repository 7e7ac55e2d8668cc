// The distortion effect: an optional main distortion, an input gain and an
// optional three-band split with per-band distortion and levels, mono in,
// the same result to both outputs. Seventeen parameters, nine factory
// programs, no editor.
#pragma once

#include <atomic>

#include "audio_effect_x.h"
#include "parameter_snapshot.h"
#include "program_record.h"
#include "signal_path_state.h"

class DistortionK : public AudioEffectX {
public:
    // thread that calls the entry point; may throw std::bad_alloc
    explicit DistortionK(audioMasterCallback audioMaster);
    // thread that sends effClose
    ~DistortionK() override;

    // thread that sends effMainsChanged; leaves the filter memories alone
    void resume() override;

    // audio thread: no allocation, no locks, no host calls. Reads the first
    // input channel, writes the first output and the second when it is not
    // null; the first output may be the input block itself.
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    // any thread, the audio thread included: constant time, no allocation,
    // no lock. An index outside 0..16 stores nothing and reads 0. A value
    // written while a block is processed counts from the next block on.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;

    // any thread the host sends opcodes from. Numbers outside 0..8 change nothing.
    void setProgram(VstInt32 program) override;
    // name: zero-terminated; longer than 23 characters is cut to 23
    void setProgramName(char* name) override;
    // text: at least 24 bytes
    void getProgramName(char* name) override;
    // any thread the host sends opcodes from, while another thread processes
    // included. Copies the name of program `index` (0..8) into text (at least
    // 24 bytes) and answers true, whatever the category; selects nothing and
    // changes no parameter. Any other index answers false and writes nothing.
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // text: at least 9 bytes; an index outside 0..16 leaves it untouched
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;

    // any thread; name: 33 bytes, vendor and product: 65 bytes
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;

    // audio thread: 10^(2 * level - 1), so 0 gives 0.1, 0.5 exactly 1, 1 gives 10.
    // The one operation this class adds to the table, and virtual on purpose:
    // the signal path turns every gain and level into a factor through the
    // table, so an effect derived from this one may bring its own law.
    virtual float levelToGain(float level);

private:
    friend struct ParameterTable;

    // Gives every program record its factory program's name.
    void nameProgramRecords();

    // All seventeen parameter values at once, as the next block runs with them.
    ParameterSnapshot readParameters() const;

    // The parameters: written by setParameter on any thread, read by
    // processReplacing once per block; relaxed atomics, plain loads and
    // stores on x86.
    std::atomic<float> mainDistAmount;
    std::atomic<float> lowDistAmount;
    std::atomic<float> midDistAmount;
    std::atomic<float> highDistAmount;
    std::atomic<float> gain;
    std::atomic<float> lowDistGain;
    std::atomic<float> midDistGain;
    std::atomic<float> highDistGain;
    std::atomic<float> mainDistMix;
    std::atomic<float> mainDistOn;
    std::atomic<float> multiDistOn;
    std::atomic<float> eqOn;
    std::atomic<float> lowLevel;
    std::atomic<float> midLevel;
    std::atomic<float> highLevel;
    std::atomic<float> lowMidCrossover;
    std::atomic<float> midHighCrossover;
    EffectProgram* programs;
    // The filter memories and what processReplacing keeps between blocks;
    // only it reads or writes them after construction (audio thread).
    signal_path::SignalPathState signal;
};
