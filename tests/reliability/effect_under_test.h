// An effect instance opened and driven only through its record, as a host
// does: the host's version query, the factory, then dispatcher, parameter and
// process entries; closed with effClose when the object goes.
#pragma once

#include <vector>

#include "aeffect.h"
#include "parameter_index.h"

namespace reliability {

constexpr VstInt32 kProgramCount = 9;

// A host callback that answers the version query (2400) and 0 to the rest.
audioMasterCallback quietHostCallback();
// Opens one instance the way the exported entry point does; null if the
// factory gives none.
AEffect* openLikeAHost();
// effClose; the record is gone afterwards.
void closeLikeAHost(AEffect* effect);
// A short life between open and close, as a plug-in scanner or a brief
// insertion gives it: identity questions, switch on, one block, a program
// change, a rename, switch off.
void useBrieflyLikeAHost(AEffect* effect);

class EffectUnderTest {
public:
    EffectUnderTest();
    ~EffectUnderTest();
    EffectUnderTest(const EffectUnderTest&) = delete;
    EffectUnderTest& operator=(const EffectUnderTest&) = delete;

    AEffect* record() const { return effect_; }
    void set(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
    float get(VstInt32 index) const { return effect_->getParameter(effect_, index); }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    void selectProgram(VstInt32 program);

    // One block through processReplacing with two input and two output
    // channels; the first output comes back.
    std::vector<float> process(const std::vector<float>& input);

private:
    AEffect* effect_;
};

// A sine of the given length and level, continuing from sample `start`.
std::vector<float> sine(std::size_t frames, float level, std::size_t start = 0);

// Index of the first sample that is not finite, or -1.
long firstNonFinite(const std::vector<float>& samples);

}  // namespace reliability
