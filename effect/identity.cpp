// The texts and number a host shows for the effect.
#include "identity.h"

#include "distortion_k.h"
#include "text.h"

bool DistortionK::getEffectName(char* name) {
    copyText(name, kDistortionEffectName, kVstMaxEffectNameLen);
    return true;
}

bool DistortionK::getVendorString(char* text) {
    copyText(text, kDistortionVendor, kVstMaxVendorStrLen);
    return true;
}

bool DistortionK::getProductString(char* text) {
    copyText(text, kDistortionProduct, kVstMaxProductStrLen);
    return true;
}

VstInt32 DistortionK::getVendorVersion() {
    return kDistortionVendorVersion;
}
