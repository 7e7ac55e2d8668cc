// The factory the entry point calls: one call, one instance.
#include "plugin_factory.h"

#include "distortion_k.h"

// thread that calls the entry point; std::bad_alloc reaches the entry point,
// which answers the host with null
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new DistortionK(audioMaster);
}
