// The check functions, one group per file; check_table.h orders them.
#pragma once

#include "checks/check_support.h"

using CheckFunction = CheckOutcome (*)(CheckContext&);

enum class CheckRole {
    Ordinary,
    // Without it nothing else can run: a failure ends the check run.
    Essential,
    // Decides whether outputs can be compared; runs before any check that
    // compares, whatever the selection.
    Reproducibility,
};

struct CheckDefinition {
    // A short stable identity for --only, --skip, the JSON report and
    // scripts: lower-case words joined by '-', the first word naming the
    // check's group.
    const char* id;
    const char* name;
    CheckFunction run;
    CheckRole role;
    // Compares outputs, so it needs the reproducibility check's verdict.
    bool compares;
};

// lifecycle_checks.cpp
CheckOutcome checkEntryGivesRecord(CheckContext& context);
CheckOutcome checkOpenCloseCold(CheckContext& context);
CheckOutcome checkOpenCloseWarm(CheckContext& context);
CheckOutcome checkManyInstancesInTurn(CheckContext& context);
CheckOutcome checkInstancesIndependent(CheckContext& context);

// text_checks.cpp
CheckOutcome checkIdentityTexts(CheckContext& context);
CheckOutcome checkParameterNames(CheckContext& context);
CheckOutcome checkParameterLabels(CheckContext& context);
CheckOutcome checkParameterDisplays(CheckContext& context);
CheckOutcome checkEveryProgram(CheckContext& context);

// comparison_checks.cpp
CheckOutcome checkReproducible(CheckContext& context);
CheckOutcome checkBlockSizesAgree(CheckContext& context);
CheckOutcome checkDoublePrecision(CheckContext& context);

// processing_checks.cpp
CheckOutcome checkRatesAndBlockSizes(CheckContext& context);
CheckOutcome checkVaryingBlockSizes(CheckContext& context);
CheckOutcome checkInPlace(CheckContext& context);
CheckOutcome checkInputsUntouched(CheckContext& context);
CheckOutcome checkBufferBounds(CheckContext& context);
CheckOutcome checkParameterExtremes(CheckContext& context);
CheckOutcome checkRandomParameters(CheckContext& context);
CheckOutcome checkOnlyNormalNumbers(CheckContext& context);
CheckOutcome checkSuspendResume(CheckContext& context);

// event_checks.cpp
CheckOutcome checkMidiEvents(CheckContext& context);

// state_checks.cpp
CheckOutcome checkStateRestore(CheckContext& context);
CheckOutcome checkChunkRestore(CheckContext& context);
CheckOutcome checkNoAllocation(CheckContext& context);

// thread_checks.cpp
CheckOutcome checkParametersFromAnotherThread(CheckContext& context);
CheckOutcome checkRenderingOrderOnAudioThread(CheckContext& context);
CheckOutcome checkSecondInstanceWhileProcessing(CheckContext& context);

// host_order_checks.cpp
CheckOutcome checkScannerOrder(CheckContext& context);
CheckOutcome checkSettingsBeforeOpen(CheckContext& context);
CheckOutcome checkInstantiationOrder(CheckContext& context);
