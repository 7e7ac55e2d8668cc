// The five parameter operations, each a loop-free lookup in the parameter
// table, and the snapshot the signal path takes of all of them.
#include "distortion_k.h"
#include "parameter_display.h"
#include "parameter_table.h"
#include "text.h"

void DistortionK::setParameter(VstInt32 index, float value) {
    if (const ParameterRow* row = ParameterTable::find(index)) {
        (this->*(row->field)).store(value, std::memory_order_relaxed);
    }
}

float DistortionK::getParameter(VstInt32 index) {
    const ParameterRow* row = ParameterTable::find(index);
    return row != nullptr ? (this->*(row->field)).load(std::memory_order_relaxed) : 0.0f;
}

ParameterSnapshot DistortionK::readParameters() const {
    ParameterSnapshot snapshot;
    for (const ParameterRow& row : ParameterTable::rows) {
        snapshot.values[row.index] = (this->*(row.field)).load(std::memory_order_relaxed);
    }
    return snapshot;
}

void DistortionK::getParameterName(VstInt32 index, char* text) {
    if (const ParameterRow* row = ParameterTable::find(index)) {
        copyText(text, row->name, kVstMaxParamStrLen);
    }
}

void DistortionK::getParameterLabel(VstInt32 index, char* label) {
    if (const ParameterRow* row = ParameterTable::find(index)) {
        copyText(label, row->label, kVstMaxParamStrLen);
    }
}

void DistortionK::getParameterDisplay(VstInt32 index, char* text) {
    if (const ParameterRow* row = ParameterTable::find(index)) {
        formatDisplayFigure(row->display((this->*(row->field)).load(std::memory_order_relaxed)), text);
    }
}
