#include "plugin/double_processing.h"

#include "opcodes.h"
#include "plugin/allocation_counter.h"
#include "plugin/host_callback.h"
#include "plugin/plugin_calls.h"
#include "plugin/plugin_instance.h"

namespace {
constexpr VstIntPtr kPrecision32 = 0;
constexpr VstIntPtr kPrecision64 = 1;
}  // namespace

bool canProcessDouble(const PluginInstance& instance) {
    const AEffect* effect = instance.effect();
    return (effect->flags & effFlagsCanDoubleReplacing) != 0 && effect->processDoubleReplacing != nullptr;
}

VstIntPtr setProcessPrecision(PluginInstance& instance, bool wide) {
    return instance.dispatch(effSetProcessPrecision, 0, wide ? kPrecision64 : kPrecision32);
}

long processDouble(PluginInstance& instance, double** inputs, double** outputs, VstInt32 frames) {
    AEffect* effect = instance.effect();
    PluginCall call;
    call.kind = PluginCallKind::ProcessDouble;
    call.frames = frames;
    call.previousFrames = instance.previousFrames();
    instance.notePreviousFrames(frames);
    setInsideProcess(true);
    long made = 0;
    callPlugin(call, [&] {
        allocation_counter::Scope counting;
        effect->processDoubleReplacing(effect, inputs, outputs, frames);
        made = counting.count();
    });
    setInsideProcess(false);
    instance.host().clock.advance(frames);
    return made;
}
