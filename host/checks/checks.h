// What a check is. Each group file (lifecycle_checks.cpp, ...) holds its
// checks and their rows; check_table.h puts every group's rows in order.
#pragma once

#include <cstddef>

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
    // Where the check runs among all checks: lower first. Checks that
    // others depend on come first, then the host orders, texts, whether
    // outputs are reproducible, processing, events, state and threads.
    int order;
    // A short stable identity for --only, --skip, the JSON report and
    // scripts: lower-case words joined by '-', the first word naming the
    // check's group.
    const char* id;
    const char* name;
    CheckFunction run;
    CheckRole role;
    // Compares outputs, so it needs the reproducibility check's verdict.
    bool compares;
    // The lowest --strictness at which it runs: 1 for the quick checks that
    // still find every fault they are built for, 5 (the default) for the
    // rest, 10 for soaks.
    int level;
    // How long it may take at the default strictness, in seconds; longer
    // counts as a hang. Scaled with the strictness (see check_runner.h).
    int seconds;
};

// The rows of one group file, in any order.
struct CheckGroup {
    const CheckDefinition* rows;
    std::size_t count;
};

template <std::size_t Count>
constexpr CheckGroup groupOf(const CheckDefinition (&rows)[Count]) {
    return {rows, Count};
}

CheckGroup lifecycleChecks();
CheckGroup hostOrderChecks();
CheckGroup textChecks();
CheckGroup comparisonChecks();
CheckGroup processingChecks();
CheckGroup eventChecks();
CheckGroup stateChecks();
CheckGroup threadChecks();
