// A whole check run: which checks, in which order, each in its own process
// with its time limit, the verdicts as they come, the summary and the exit
// status.
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "checks/checks.h"
#include "checks/suppressions.h"

// Strictness levels (see docs/plughost.md): the default; from this level
// every check runs at more sample rates, twice, with soaks three times as
// long and four times the time.
inline constexpr int kDefaultStrictness = 5;
inline constexpr int kStrictnessOfMoreRates = 10;
inline constexpr double kDefaultRate = 44100.0;
inline constexpr double kMoreRates[] = {44100.0, 48000.0, 96000.0};

struct CheckOptions {
    std::string plugin;
    bool isolate = true;  // a child process per check
    // 1 to 10: which checks run (each row's level) and how hard.
    int strictness = kDefaultStrictness;
    // Every check runs at each; empty: as the strictness says.
    std::vector<double> rates;
    // Smaller block sizes for the block-size comparison; empty: its own.
    std::vector<VstInt32> blockSizes;
    // Runs of each check, each with the next seed; 0: as the strictness says.
    int repeat = 0;
    std::string junitPath;  // empty: no JUnit report
    std::vector<Suppression> suppressions;
    // Without --timeout, each check has its row's allowance, scaled by the
    // strictness.
    bool timeoutGiven = false;
    int timeoutSeconds = 120;
    int timeoutTotalSeconds = 900;
    // Run the checks named by one of these (an id, a whole name, or the
    // first words of ids naming a group) and leave out those named by `skip`.
    std::vector<std::string> only;
    std::vector<std::string> skip;
    bool strict = false;  // warnings count as errors
    double toleranceDb = -100.0;
    // Seeds the random choices of every check; printed in every report.
    unsigned seed = 1;
    bool json = false;
    bool verbose = false;  // pass the plug-in's own output on as it comes
};

// An --only or --skip text that names no check: a usage mistake.
class CheckSelectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The checks chosen by --only and --skip, in the order they run (the
// checks that everything needs are added by the run itself).
std::vector<const CheckDefinition*> selectChecks(const std::vector<std::string>& only,
                                                 const std::vector<std::string>& skip);

// Exit statuses of a check run.
inline constexpr int kChecksPassed = 0;
inline constexpr int kChecksFoundErrors = 1;
inline constexpr int kPluginUnusable = 2;

// Runs the chosen checks on the plug-in and reports to `out`, as text or as
// one JSON document. Throws CheckSelectionError before loading anything.
int runChecks(const CheckOptions& options, std::ostream& out);

// The ids and names of all checks, one check a line.
void listChecks(std::ostream& out);

// The hidden options by which plughost, run anew as a check's child
// process, is told the check and whether outputs are reproducible.
inline constexpr const char* kChildCheckOption = "--run-check-in-child";
inline constexpr const char* kIrreproducibleOption = "--irreproducible-because";

// The child's side of running one check in a process of its own (on
// Windows, where there is no fork): runs the check `id` with the options'
// tolerance and time limit and sends its verdict to the parent; does not
// return.
[[noreturn]] void runCheckAsChild(const CheckOptions& options, const std::string& id,
                                  const std::string& irreproducibleBecause);
