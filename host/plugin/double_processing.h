// The double-precision replacing path of an instance, which the instance
// wrapper leaves out: hosts that mix in 64 bits use it when the plug-in
// offers it.
#pragma once

#include "aeffect.h"

class PluginInstance;

// The record's flag and function are both there.
bool canProcessDouble(const PluginInstance& instance);

// effSetProcessPrecision: 64-bit samples when `wide`, else 32-bit. Hosts
// send it while the instance is switched off. Returns the plug-in's answer.
VstIntPtr setProcessPrecision(PluginInstance& instance, bool wide);

// Calls processDoubleReplacing on this thread, as a host's audio thread
// does; returns the heap allocations the call made on this thread. The
// caller guarantees canProcessDouble and buffers of `frames` samples for
// every declared channel.
// audio thread: allocates nothing itself, takes no locks
long processDouble(PluginInstance& instance, double** inputs, double** outputs, VstInt32 frames);
