#include "commands/check_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <random>

#include "checks/check_runner.h"
#include "checks/fresh_process.h"
#include "commands/exit_codes.h"
#include "support/host_error.h"

namespace {

struct CheckCommand {
    CheckOptions options;
    bool list = false;
    bool freshOutput = false;
    std::string childCheck;
    std::string suppressPath;
    std::string irreproducibleBecause;
};

}  // namespace

void addCheckCommand(CLI::App& app, int& exitCode) {
    static_assert(kChecksPassed == kExitSuccess && kChecksFoundErrors == kExitProblemFound &&
                  kPluginUnusable == kExitUsageOrLoad);
    auto command = std::make_shared<CheckCommand>();
    CheckOptions& options = command->options;
    CLI::App* check = app.add_subcommand(
        "check",
        "Conformance and robustness checks, each in a process of its own (unless --no-fork); ends with \"N "
        "passed, N failed, N warnings\"");
    check->add_option("PLUGIN", options.plugin, "The plug-in library file (not needed with --list)");
    check->add_flag("--strict,--warnings-as-errors", options.strict,
                    "Count warnings (conventions rather than safety rules) as errors");
    check
        ->add_option("--strictness", options.strictness,
                     "1 quick smoke checks, 5 every check, 10 also soaks, the rates 44100, 48000 and 96000 Hz, each "
                     "check twice and four times the time (docs/plughost.md tables the levels)")
        ->check(CLI::Range(1, 10))
        ->type_name("1-10")
        ->capture_default_str();
    check->add_option("--rates", options.rates, "Sample rates every check runs at, e.g. 44100,48000,96000")
        ->delimiter(',')
        ->check(CLI::Range(8000.0, 768000.0))
        ->type_name("HZ,...");
    check
        ->add_option("--block-sizes", options.blockSizes,
                     "Block sizes (1 to 4096) compared against blocks of the announced 4096, e.g. 1,64,500")
        ->delimiter(',')
        ->check(CLI::Range(1, 4096))
        ->type_name("N,...");
    check
        ->add_option("--repeat", options.repeat,
                     "Run each check N times, each with the next seed; a check's verdict is its first that does not "
                     "pass (default: 1, 2 at strictness 10)")
        ->check(CLI::Range(1, 1000))
        ->type_name("N");
    check->add_option("--junit", options.junitPath, "Also write the verdicts as JUnit XML to FILE, for CI")
        ->type_name("FILE");
    check
        ->add_option("--suppress", command->suppressPath,
                     "Findings to accept for now, one 'check-id[:finding words] reason' a line (or a JSON array of "
                     "{check, finding, reason}); they are reported as suppressed with their reason and do not fail")
        ->type_name("FILE");
    check
        ->add_option("--tolerance", options.toleranceDb,
                     "How far below the peak a difference between outputs that should agree may reach, in dB")
        ->check(CLI::Range(-300.0, 0.0))
        ->type_name("DB")
        ->capture_default_str();
    options.seed = std::random_device{}();
    check
        ->add_option("--seed", options.seed,
                     "Seed of the checks' random choices (orders, values); each report prints the one it used, so "
                     "that a run can be repeated (default: a new one each run)")
        ->type_name("N");
    check
        ->add_option("--timeout", options.timeoutSeconds,
                     "Time limit per check in seconds (default: each check's allowance at the strictness)")
        ->check(CLI::Range(1, 3600))
        ->type_name("S")
        ->capture_default_str();
    check
        ->add_option("--timeout-total", options.timeoutTotalSeconds,
                     "Time limit for the whole run in seconds; checks left when it runs out count as one failure")
        ->check(CLI::Range(1, 86400))
        ->type_name("S")
        ->capture_default_str();
    // One value per --only or --skip, so that the plug-in may follow them.
    check
        ->add_option("--only", options.only,
                     "Run only the check with this id (or whole name), or the group of checks whose ids start with "
                     "ID- (e.g. 'thread'); repeatable")
        ->type_name("ID")
        ->allow_extra_args(false);
    check->add_option("--skip", options.skip, "Leave out the check or group of checks named as for --only; repeatable")
        ->type_name("ID")
        ->allow_extra_args(false);
    check->add_flag("--json", options.json, "Print one JSON document instead of the text report");
    check->add_flag(
        "--no-fork", [&options](std::int64_t) { options.isolate = false; },
        "Run the checks inside the host process, for a debugger: the first crash, hang or exit ends "
        "the run, after its verdict and the summary");
    check->add_flag("--verbose", options.verbose, "Pass on what the plug-in prints as it comes");
    check->add_flag("--list", command->list, "List the checks' ids and names and exit");
    // The host runs itself in these modes to see a plug-in in a fresh
    // process, and (on Windows) to run one check in a process of its own.
    check->add_flag("--fresh-output", command->freshOutput)->group("");
    check->add_option(kChildCheckOption, command->childCheck)->group("");
    check->add_option(kIrreproducibleOption, command->irreproducibleBecause)->group("");
    check->callback([command, check, &exitCode] {
        if (command->list) {
            listChecks(std::cout);
            exitCode = kExitSuccess;
            return;
        }
        if (command->options.plugin.empty()) {
            throw UsageError("check needs a plug-in file (or --list)");
        }
        if (command->freshOutput) {
            exitCode = writeFreshOutput(command->options.plugin);
            return;
        }
        command->options.timeoutGiven = command->options.timeoutGiven || check->count("--timeout") > 0;
        if (!command->suppressPath.empty()) {
            try {
                command->options.suppressions = readSuppressions(command->suppressPath);
            } catch (const SuppressionFileError& error) {
                throw UsageError(error.what());
            }
        }
        if (!command->childCheck.empty()) {
            runCheckAsChild(command->options, command->childCheck, command->irreproducibleBecause);
        }
        try {
            exitCode = runChecks(command->options, std::cout);
        } catch (const CheckSelectionError& error) {
            throw UsageError(error.what());
        }
    });
}
