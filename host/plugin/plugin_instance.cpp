#include "plugin/plugin_instance.h"

#include <cstdio>
#include <cstring>

#include "opcodes.h"
#include "plugin/allocation_counter.h"
#include "plugin/guarded_text.h"
#include "plugin/midi_events.h"
#include "plugin/plugin_calls.h"
#include "plugin/plugin_module.h"
#include "support/host_error.h"

namespace {

std::string hex(VstInt32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

void validate(const AEffect* effect, const std::string& path) {
    if (effect == nullptr) {
        throw LoadError("plug-in " + path + " created no instance: its entry point returned null");
    }
    if (effect->magic != kEffectMagic) {
        throw LoadError("plug-in " + path + " returned a record that is not an effect (magic " + hex(effect->magic) +
                        ")");
    }
    if (effect->dispatcher == nullptr) {
        throw LoadError("plug-in " + path + " returned an effect record without a dispatcher");
    }
    auto inRange = [](VstInt32 value, VstInt32 limit) { return value >= 0 && value <= limit; };
    if (!inRange(effect->numInputs, kMaxPlausibleChannels) || !inRange(effect->numOutputs, kMaxPlausibleChannels) ||
        !inRange(effect->numParams, kMaxPlausibleParams) || !inRange(effect->numPrograms, kMaxPlausiblePrograms)) {
        throw LoadError("plug-in " + path + " returned implausible counts: " + std::to_string(effect->numInputs) +
                        " inputs, " + std::to_string(effect->numOutputs) + " outputs, " +
                        std::to_string(effect->numParams) + " parameters, " + std::to_string(effect->numPrograms) +
                        " programs");
    }
}

}  // namespace

PluginInstance::PluginInstance(const PluginModule& module, float hostSampleRate, VstInt32 hostBlockSize,
                               VstIntPtr hostVersion)
    : host_(std::make_unique<HostState>()) {
    host_->sampleRate = hostSampleRate;
    host_->blockSize = hostBlockSize;
    host_->versionAnswer = hostVersion;
    effect_ = module.create(*host_);
    validate(effect_, module.path());
    effect_->user = host_.get();
    if (effect_->numInputs > kQuestionableChannels || effect_->numOutputs > kQuestionableChannels) {
        warning_ = "plug-in " + module.path() + " declares an unusual number of channels (" +
                   std::to_string(effect_->numInputs) + " inputs, " + std::to_string(effect_->numOutputs) + " outputs)";
    }
    host_->inputsConnected = effect_->numInputs;
    host_->outputsConnected = effect_->numOutputs;
}

PluginInstance::~PluginInstance() {
    if (closed_) {
        return;
    }
    if (mainsOn_) {
        setMains(false);
    }
    close();
}

VstIntPtr PluginInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    PluginCall call;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.opt = opt;
    if (opcode == effCanDo && ptr != nullptr) {
        std::strncpy(call.text, static_cast<const char*>(ptr), sizeof call.text - 1);
    }
    return callPlugin(call, [&] { return effect_->dispatcher(effect_, opcode, index, value, ptr, opt); });
}

TextAnswer PluginInstance::text(VstInt32 opcode, VstInt32 index, std::size_t limitChars, VstIntPtr value) {
    GuardedText buffer;
    TextAnswer answer;
    answer.result = dispatch(opcode, index, value, buffer.data());
    answer.text = buffer.text();
    answer.bytesWritten = buffer.bytesWritten();
    answer.fits = buffer.fitsWithin(limitChars);
    return answer;
}

void PluginInstance::openForPlayback(float sampleRate, VstInt32 blockSize) {
    open();
    setSampleRate(sampleRate);
    setBlockSize(blockSize);
}

void PluginInstance::open() {
    dispatch(effOpen);
    opened_ = true;
}

void PluginInstance::setSampleRate(float sampleRate) {
    host_->sampleRate = sampleRate;
    dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
}

void PluginInstance::setBlockSize(VstInt32 blockSize) {
    host_->blockSize = blockSize;
    dispatch(effSetBlockSize, 0, blockSize);
}

void PluginInstance::setMains(bool on) {
    dispatch(effMainsChanged, 0, on ? 1 : 0);
    mainsOn_ = on;
    host_->clock.setPlaying(on);
}

void PluginInstance::close() {
    if (closed_) {
        return;
    }
    closed_ = true;
    dispatch(effClose);
    effect_ = nullptr;
}

void PluginInstance::selectProgram(VstInt32 program) {
    dispatch(effBeginSetProgram);
    dispatch(effSetProgram, 0, program);
    dispatch(effEndSetProgram);
}

float PluginInstance::parameter(VstInt32 index) const {
    if (effect_->getParameter == nullptr) {
        return 0.0f;
    }
    PluginCall call;
    call.kind = PluginCallKind::GetParameter;
    call.index = index;
    return callPlugin(call, [&] { return effect_->getParameter(effect_, index); });
}

void PluginInstance::setParameter(VstInt32 index, float value) {
    if (effect_->setParameter != nullptr) {
        PluginCall call;
        call.kind = PluginCallKind::SetParameter;
        call.index = index;
        call.opt = value;
        callPlugin(call, [&] { effect_->setParameter(effect_, index, value); });
    }
}

bool PluginInstance::canReplace() const {
    return (effect_->flags & effFlagsCanReplacing) != 0 && effect_->processReplacing != nullptr;
}

void PluginInstance::process(float** inputs, float** outputs, VstInt32 frames) {
    const bool replacing = canReplace();
    if (!replacing) {
        for (VstInt32 channel = 0; channel < effect_->numOutputs; ++channel) {
            std::memset(outputs[channel], 0, sizeof(float) * static_cast<std::size_t>(frames > 0 ? frames : 0));
        }
    }
    PluginCall call;
    call.kind = replacing ? PluginCallKind::ProcessReplacing : PluginCallKind::ProcessAccumulating;
    call.frames = frames;
    call.previousFrames = previousFrames_;
    previousFrames_ = frames;
    setInsideProcess(true);
    long made = 0;
    callPlugin(call, [&] {
        allocation_counter::Scope counting;
        if (replacing) {
            effect_->processReplacing(effect_, inputs, outputs, frames);
        } else if (effect_->process != nullptr) {
            effect_->process(effect_, inputs, outputs, frames);
        }
        made = counting.count();
    });
    setInsideProcess(false);
    processAllocations_ += made;
    host_->clock.advance(frames);
}

bool PluginInstance::isInstrument() {
    return (effect_->flags & effFlagsIsSynth) != 0 || dispatch(effGetPlugCategory) == kPlugCategSynth;
}

bool PluginInstance::takesEvents() {
    const auto says = [this](const char* capability) {
        return dispatch(effCanDo, 0, 0, const_cast<char*>(capability)) > 0;
    };
    return isInstrument() || says("receiveVstEvents") || says("receiveVstMidiEvent");
}

void PluginInstance::sendEvents(MidiEventBatch& batch) {
    if (!batch.empty()) {
        dispatch(effProcessEvents, 0, 0, batch.list());
    }
}
