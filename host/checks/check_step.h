// The sub-step a check is in (rate, block size, parameter and value), handed
// to whoever reports on the check should the plug-in crash or hang in it.
#pragma once

#include <cstddef>
#include <string>

// Receives each step as it starts. Called on the thread that announces it,
// possibly while another thread announces too; must not allocate.
using StepSink = void (*)(const char* text, std::size_t length);

void setStepSink(StepSink sink);
void announceStep(const std::string& what);
