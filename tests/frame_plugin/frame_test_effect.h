// A minimal effect on the frame, built as its own plug-in library so that
// tests can reach the frame the way a host does: through the exported entry
// point and the record's function pointers only. It reports the frame's
// calls of its overridden operations to the host (frame_test_events.h).
#pragma once

#include "audio_effect_x.h"
#include "frame_test_events.h"

class FrameTestEffect : public AudioEffectX {
public:
    explicit FrameTestEffect(audioMasterCallback audioMaster);
    ~FrameTestEffect() override;

    void open() override;
    void close() override;
    void suspend() override;
    void resume() override;
    void setSampleRate(float newRate) override;
    void setBlockSize(VstInt32 newSize) override;

    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterName(VstInt32 index, char* text) override;

    void setProgram(VstInt32 program) override;
    void getProgramName(char* name) override;

private:
    void report(VstInt32 tag, VstIntPtr value = 0);

    // Distinct starting values, so a read through the record shows which index arrived.
    float params[frame_test::kNumParams] = {0.0f, 0.25f, 0.5f, 0.75f};
};
