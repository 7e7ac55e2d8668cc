// Program selection and program names. The table holds one record per
// announced program, each named after its factory program when the instance
// is made; the name operations address the current program's record, and
// curProgram only ever holds a number below the table's size.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "distortion_k.h"
#include "identity.h"
#include "program_table.h"
#include "text.h"

static_assert(kFactoryProgramCount == kDistortionNumPrograms, "one program record per announced program");

namespace {

constexpr std::size_t kLongestProgramName = kVstMaxProgNameLen - 1;

bool isFactoryProgram(VstInt32 program) {
    return static_cast<std::uint32_t>(program) < static_cast<std::uint32_t>(kFactoryProgramCount);
}

// Copies a record's name up to and including its terminator: at most 24 bytes.
void copyProgramName(const EffectProgram& record, char* text) {
    std::size_t length = 0;
    while (length < kLongestProgramName && record.name[length] != 0) {
        ++length;
    }
    std::memcpy(text, record.name, length);
    text[length] = 0;
}

}  // namespace

void DistortionK::nameProgramRecords() {
    for (int program = 0; program < kFactoryProgramCount; ++program) {
        copyText(programs[program].name, kFactoryPrograms[program].name, kLongestProgramName);
    }
}

void DistortionK::setProgram(VstInt32 program) {
    if (!isFactoryProgram(program)) {
        return;
    }
    const FactoryProgram& chosen = kFactoryPrograms[program];
    curProgram = program;
    for (VstInt32 index = 0; index < kParameterCount; ++index) {
        setParameter(index, chosen.values[index]);
    }
    // Through the virtual operation, so that an effect derived from this one
    // sees the name; the copy is writable, as the operation's signature allows.
    char name[kVstMaxProgNameLen];
    copyText(name, chosen.name, kLongestProgramName);
    setProgramName(name);
}

void DistortionK::setProgramName(char* name) {
    copyText(programs[curProgram].name, name, kLongestProgramName);
}

void DistortionK::getProgramName(char* name) {
    copyProgramName(programs[curProgram], name);
}

bool DistortionK::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (!isFactoryProgram(index)) {
        return false;
    }
    copyProgramName(programs[index], text);
    return true;
}
