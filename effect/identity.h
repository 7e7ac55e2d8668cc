// How the effect introduces itself to a host.
#pragma once

#include "aeffect.h"
#include "parameter_index.h"

constexpr VstInt32 kDistortionUniqueId = fourCharCode('K', 'r', 'v', 'x');
constexpr VstInt32 kDistortionNumPrograms = 9;
constexpr VstInt32 kDistortionNumParams = kParameterCount;
constexpr VstInt32 kDistortionNumInputs = 2;
constexpr VstInt32 kDistortionNumOutputs = 2;
constexpr VstInt32 kDistortionVendorVersion = 1000;

constexpr const char* kDistortionEffectName = "Distortion";
constexpr const char* kDistortionVendor = "Velkaro";
constexpr const char* kDistortionProduct = "K Distortion";
