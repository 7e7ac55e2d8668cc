// Construction, resume and destruction of the effect instance.
#include "distortion_k.h"

#include "identity.h"
#include "parameter_table.h"

DistortionK::DistortionK(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kDistortionNumPrograms, kDistortionNumParams) {
    setNumInputs(kDistortionNumInputs);
    setNumOutputs(kDistortionNumOutputs);
    setUniqueID(kDistortionUniqueId);
    canProcessReplacing(true);

    for (const ParameterRow& row : ParameterTable::rows) {
        (this->*(row.field)).store(row.constructorValue, std::memory_order_relaxed);
    }
    // The filter memories start at 0: signal's own initialisers.

    programs = new EffectProgram[kDistortionNumPrograms];
    // Hosts list the programs by index, often on an instance that has never
    // selected one; each record therefore carries its name from the start.
    nameProgramRecords();
    setProgram(0);
    resume();
}

DistortionK::~DistortionK() {
    delete[] programs;
}

void DistortionK::resume() {
    AudioEffectX::resume();
}
