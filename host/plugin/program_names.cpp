#include "plugin/program_names.h"

#include "opcodes.h"
#include "plugin/plugin_instance.h"
#include "support/text_format.h"

namespace {

void noteOverrun(ProgramListing& listing, int program, const TextAnswer& answer) {
    if (!answer.fits && listing.overrun.empty()) {
        listing.overrun =
            format("program %d name took %zu bytes (limit %zu)", program, answer.bytesWritten, kProgramNameLimit + 1);
    }
}

}  // namespace

ProgramListing listPrograms(PluginInstance& instance) {
    ProgramListing listing;
    const int count = instance.numPrograms();
    for (int program = 0; program < count; ++program) {
        // Category -1: any category.
        TextAnswer answer = instance.text(effGetProgramNameIndexed, program, kProgramNameLimit, -1);
        if (answer.result == 0) {
            listing.names.clear();
            listing.bySelecting = true;
            break;
        }
        noteOverrun(listing, program, answer);
        listing.names.push_back(answer.text);
    }
    if (!listing.bySelecting) {
        return listing;
    }

    const auto current = static_cast<VstInt32>(instance.dispatch(effGetProgram));
    std::vector<float> values;
    for (int index = 0; index < instance.numParams(); ++index) {
        values.push_back(instance.parameter(index));
    }
    for (int program = 0; program < count; ++program) {
        instance.selectProgram(program);
        TextAnswer answer = instance.text(effGetProgramName, 0, kProgramNameLimit);
        noteOverrun(listing, program, answer);
        listing.names.push_back(answer.text);
    }
    if (count > 0) {
        instance.selectProgram(current);
    }
    for (int index = 0; index < instance.numParams(); ++index) {
        instance.setParameter(index, values[static_cast<std::size_t>(index)]);
        listing.restored = listing.restored && instance.parameter(index) == values[static_cast<std::size_t>(index)];
    }
    listing.restored = listing.restored && instance.dispatch(effGetProgram) == current;
    return listing;
}
