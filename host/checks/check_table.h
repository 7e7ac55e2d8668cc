// The checks in the order they run: what everything else needs first, then
// the host orders, texts, processing, state and threads.
#pragma once

#include "checks/checks.h"

inline constexpr CheckDefinition kChecks[] = {
    {"entry point gives an effect record", checkEntryGivesRecord, true},
    {"open and close cold", checkOpenCloseCold, false},
    {"open and close warm, and after reloading", checkOpenCloseWarm, false},
    {"many instances opened and closed in turn", checkManyInstancesInTurn, false},
    {"instances alive at once keep separate state", checkInstancesIndependent, false},
    {"scanner order: queries, effMainsChanged 0 without 1, close", checkScannerOrder, false},
    {"sample rate and block size before effOpen, instance left open", checkSettingsBeforeOpen, false},
    {"instantiation order of a host", checkInstantiationOrder, false},
    {"identity texts within their limits", checkIdentityTexts, false},
    {"parameter names within 8 characters", checkParameterNames, false},
    {"parameter labels within 8 characters", checkParameterLabels, false},
    {"parameter display texts within 8 characters", checkParameterDisplays, false},
    {"every program selected", checkEveryProgram, false},
    {"processing at 22050 to 192000 Hz in blocks of 1, 2, 17, 64, 512, 4096 and 0", checkRatesAndBlockSizes, false},
    {"block sizes changing from call to call", checkVaryingBlockSizes, false},
    {"in-place buffers give the same output", checkInPlace, false},
    {"input buffers left untouched", checkInputsUntouched, false},
    {"parameters set to random values between blocks", checkRandomParameters, false},
    {"no NaN, infinity or subnormal output for finite input", checkOnlyNormalNumbers, false},
    {"suspend, new sample rate and resume between blocks", checkSuspendResume, false},
    {"state restore: parameters copied to a fresh instance give identical audio", checkStateRestore, false},
    {"no memory allocation during processing", checkNoAllocation, false},
    {"parameters set from another thread while processing", checkParametersFromAnotherThread, false},
    {"rendering order: effMainsChanged 0 then 1 on the audio thread", checkRenderingOrderOnAudioThread, false},
    {"second instance opened, queried and closed while the first processes", checkSecondInstanceWhileProcessing, false},
};
