#include "host_session.h"

#include "audio_effect.h"
#include "fuzz_failure.h"
#include "opcodes.h"
#include "plugin_factory.h"

namespace {
VstIntPtr VSTCALLBACK fuzzHost(AEffect* /*effect*/, VstInt32 opcode, VstInt32 /*index*/, VstIntPtr /*value*/,
                               void* /*ptr*/, float /*opt*/) {
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// What the exported entry point does, minus the export: the fuzzer is its
// own program and cannot link the library's entry file, which also names
// itself "main".
AEffect* openInstance() {
    if (fuzzHost(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    AudioEffect* effect = createEffectInstance(fuzzHost);
    FUZZ_REQUIRE(effect != nullptr, "the factory built no instance");
    AEffect* record = effect->getAeffect();
    FUZZ_REQUIRE(record != nullptr && record->magic == kEffectMagic && record->object == effect,
                 "the new instance's record is not filled in");
    return record;
}
}  // namespace

HostSession::~HostSession() {
    for (int slot = 0; slot < kSlots; ++slot) {
        close(slot);
    }
}

AEffect* HostSession::instance(int slot) {
    if (effects_[slot] == nullptr) {
        effects_[slot] = openInstance();
        rules_[slot].reset();
    }
    return effects_[slot];
}

void HostSession::forget(int slot) {
    effects_[slot] = nullptr;
}

void HostSession::close(int slot) {
    AEffect* effect = effects_[slot];
    if (effect == nullptr) {
        return;
    }
    effects_[slot] = nullptr;
    const VstIntPtr answer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    FUZZ_REQUIRE(answer == 1, "effClose answered %lld, expected 1", static_cast<long long>(answer));
}
