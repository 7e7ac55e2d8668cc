// Supplied by the effect: builds one instance constructed with the host
// callback, or returns null. May throw; the entry point catches.
#pragma once

#include "aeffect.h"

class AudioEffect;

AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
