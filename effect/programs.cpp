// Program selection and program names. The table holds one record per
// announced program; the name operations address the current program's
// record, and curProgram only ever holds a number below the table's size.
#include <cstdint>
#include <cstring>

#include "distortion_k.h"
#include "identity.h"
#include "program_table.h"
#include "text.h"

static_assert(kFactoryProgramCount == kDistortionNumPrograms, "one program record per announced program");

void DistortionK::setProgram(VstInt32 program) {
    if (static_cast<std::uint32_t>(program) >= static_cast<std::uint32_t>(kFactoryProgramCount)) {
        return;
    }
    const FactoryProgram& chosen = kFactoryPrograms[program];
    curProgram = program;
    for (VstInt32 index = 0; index < ParameterTable::kCount; ++index) {
        setParameter(index, chosen.values[index]);
    }
    storeProgramName(chosen.name);
}

void DistortionK::setProgramName(char* name) {
    storeProgramName(name);
}

void DistortionK::getProgramName(char* name) {
    const char* stored = programs[curProgram].name;
    std::memcpy(name, stored, std::strlen(stored) + 1);
}

void DistortionK::storeProgramName(const char* name) {
    copyText(programs[curProgram].name, name, kVstMaxProgNameLen - 1);
}
