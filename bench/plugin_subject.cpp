#include "plugin_subject.h"

#include <algorithm>
#include <vector>

#include "opcodes.h"

namespace bench {
namespace {

// A host that answers the version query and nothing else.
VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0) {
    return effect->dispatcher(effect, opcode, index, value, nullptr, 0.0f);
}

}  // namespace

void PluginSubject::Closer::operator()(AEffect* effect) const {
    dispatch(effect, effMainsChanged, 0, 0);
    dispatch(effect, effClose);
}

PluginSubject::PluginSubject(const std::string& path) : path_(path) {
    if (!library_.load(path)) {
        error_ = library_.error();
        return;
    }
    entry_ = library_.entry();
    if (entry_ == nullptr) {
        error_ = path + " exports neither VSTPluginMain nor main";
    }
}

PluginSubject::Instance PluginSubject::open(int program, bool equaliserOnly) const {
    Instance effect(entry_ != nullptr ? entry_(quietHost) : nullptr);
    if (effect) {
        dispatch(effect.get(), effOpen);
        dispatch(effect.get(), effSetProgram, 0, program);
        if (equaliserOnly) {
            effect->setParameter(effect.get(), kMultiDistOn, 0.0f);
        }
        dispatch(effect.get(), effMainsChanged, 0, 1);
    }
    return effect;
}

Settings PluginSubject::settingsOf(AEffect* effect) {
    Settings values{};
    for (int index = 0; index < kParameterCount; ++index) {
        values[static_cast<std::size_t>(index)] = effect->getParameter(effect, index);
    }
    return values;
}

void PluginSubject::process(AEffect* effect, const float* in, float* out, std::size_t count, std::size_t block) {
    // The second output, as the host's own buffer; what lands there is not looked at.
    static std::vector<float> second;
    second.resize(std::max(second.size(), block));
    for (std::size_t start = 0; start < count; start += block) {
        const std::size_t frames = std::min(block, count - start);
        float* inputs[2] = {const_cast<float*>(in + start), const_cast<float*>(in + start)};
        float* outputs[2] = {out + start, second.data()};
        effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(frames));
    }
}

}  // namespace bench
