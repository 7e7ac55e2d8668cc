// Finding a plug-in parameter by what a user typed: its index, or its name
// as the plug-in gives it.
#pragma once

#include "plugin/parameter_ref.h"

class PluginInstance;

// The parameter with both its index and the name the plug-in gives it. A
// name is matched exactly, else ignoring case and surrounding spaces.
// Throws UsageError for an index out of range, an unknown name (listing the
// names) or a name that several parameters share.
ParameterRef resolveParameter(PluginInstance& instance, const ParameterRef& parameter);
