#include "checks/check_runner.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>

#include "checks/check_report.h"
#include "checks/check_table.h"
#include "checks/isolation.h"
#include "checks/junit_report.h"
#include "checks/suppressions.h"
#include "support/last_words.h"
#include "support/text_format.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isId(const std::string& text) {
    const auto& checks = allChecks();
    return std::any_of(checks.begin(), checks.end(),
                       [&text](const CheckDefinition* check) { return text == check->id; });
}

// A check is named by its id or its whole name, case ignored; a text that
// is no id picks the group of ids it starts ("thread" for every "thread-").
bool names(const CheckDefinition& check, const std::string& text) {
    const std::string wanted = lowered(text);
    const std::string id = check.id;
    return wanted == id || wanted == lowered(check.name) ||
           (!isId(wanted) && id.compare(0, wanted.size() + 1, wanted + "-") == 0);
}

bool matchesAny(const CheckDefinition& check, const std::vector<std::string>& texts) {
    return std::any_of(texts.begin(), texts.end(), [&check](const std::string& text) { return names(check, text); });
}

void expectEachMatches(const std::vector<std::string>& texts, const char* option) {
    for (const std::string& text : texts) {
        const auto& checks = allChecks();
        const bool matched = std::any_of(checks.begin(), checks.end(),
                                         [&text](const CheckDefinition* check) { return names(*check, text); });
        if (!matched) {
            throw CheckSelectionError(
                format("%s '%s' names no check or group of checks; 'plughost check --list' shows their ids and names",
                       option, text.c_str()));
        }
    }
}

// Replaces every `from` in `text` with `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// What to print should `name`, running inside the host, end it.
std::string lastWordsFor(const CheckDefinition& check, const CheckOptions& options, const RunDescription& run,
                         std::vector<CheckResult> results, Tally tally) {
    CheckResult crashed{check.id, check.name, CheckOutcome::error(std::string(1, last_words::kCause)), options.strict};
    crashed.outcome.step = std::string(1, last_words::kStep);
    crashed.outcome.call = std::string(1, last_words::kCall);
    tally.add(crashed);
    if (!options.json) {
        return textReport(crashed) + tally.summaryLine() + "\n";
    }
    results.push_back(crashed);
    // The placeholders come out of the JSON writer escaped.
    std::string text = jsonText(jsonReport(run, results, tally, kChecksFoundErrors));
    text = replaced(text, "\\u0001", std::string(1, last_words::kCause));
    text = replaced(text, "\\u0003", std::string(1, last_words::kCall));
    return replaced(text, "\\u0002", std::string(1, last_words::kStep)) + "\n";
}

// How plughost run anew finds the same check with the same settings (see
// runCheckAsChild).
std::vector<std::string> childArguments(const CheckDefinition& check, const CheckOptions& options,
                                        const CheckSettings& settings) {
    std::vector<std::string> arguments{"check",           options.plugin,
                                       "--timeout",       std::to_string(settings.timeoutSeconds),
                                       "--tolerance",     format("%.17g", settings.toleranceDb),
                                       "--seed",          std::to_string(settings.seed),
                                       "--rates",         format("%.17g", static_cast<double>(settings.rate)),
                                       kChildCheckOption, check.id};
    arguments.insert(arguments.end(), {"--strictness", std::to_string(options.strictness)});
    if (!settings.blockSizes.empty()) {
        std::string sizes;
        for (const VstInt32 size : settings.blockSizes) {
            sizes += (sizes.empty() ? "" : ",") + std::to_string(size);
        }
        arguments.insert(arguments.end(), {"--block-sizes", sizes});
    }
    if (!settings.reproducible) {
        arguments.insert(arguments.end(), {kIrreproducibleOption, settings.irreproducibleBecause});
    }
    return arguments;
}

// What a strictness level adds beyond the checks of its level: rates,
// repetitions, longer soaks and more time.
struct StrictnessPlan {
    std::vector<double> rates;
    int repeat = 1;
    int soakFactor = 1;
    double timeFactor = 1.0;
};

StrictnessPlan planFor(const CheckOptions& options) {
    StrictnessPlan plan;
    const int level = options.strictness;
    plan.rates = !options.rates.empty()            ? options.rates
                 : level >= kStrictnessOfMoreRates ? std::vector<double>(std::begin(kMoreRates), std::end(kMoreRates))
                                                   : std::vector<double>{kDefaultRate};
    plan.repeat = options.repeat > 0 ? options.repeat : level >= kStrictnessOfMoreRates ? 2 : 1;
    plan.soakFactor = level >= kStrictnessOfMoreRates ? 3 : 1;
    plan.timeFactor = level <= 1 ? 0.5 : level >= kStrictnessOfMoreRates ? 4.0 : 1.0;
    return plan;
}

std::string joinedIds(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : ", ") + id;
    }
    return text;
}

}  // namespace

std::vector<const CheckDefinition*> selectChecks(const std::vector<std::string>& only,
                                                 const std::vector<std::string>& skip) {
    expectEachMatches(only, "--only");
    expectEachMatches(skip, "--skip");
    std::vector<const CheckDefinition*> selected;
    for (const CheckDefinition* check : allChecks()) {
        if ((only.empty() || matchesAny(*check, only)) && !matchesAny(*check, skip)) {
            selected.push_back(check);
        }
    }
    if (selected.empty()) {
        throw CheckSelectionError(
            "--only and --skip leave no check to run: --skip leaves out every check that --only names");
    }
    return selected;
}

void listChecks(std::ostream& out) {
    std::size_t width = 0;
    for (const CheckDefinition* check : allChecks()) {
        width = std::max(width, std::strlen(check->id));
    }
    for (const CheckDefinition* check : allChecks()) {
        out << check->id << std::string(width + 2 - std::strlen(check->id), ' ') << check->name << "\n";
    }
}

int runChecks(const CheckOptions& options, std::ostream& out) {
    const std::vector<const CheckDefinition*> selected = selectChecks(options.only, options.skip);
    const bool comparing =
        std::any_of(selected.begin(), selected.end(), [](const CheckDefinition* check) { return check->compares; });
    const bool isolate = options.isolate;
    const bool named = !options.only.empty();
    const StrictnessPlan plan = planFor(options);
    const bool severalRates = plan.rates.size() > 1;

    RunDescription run;
    run.plugin = options.plugin;
    run.strict = options.strict;
    run.toleranceDb = options.toleranceDb;
    run.timeoutSeconds = options.timeoutSeconds;
    run.timeoutTotalSeconds = options.timeoutTotalSeconds;
    run.isolated = isolate;
    run.seed = options.seed;
    run.strictness = options.strictness;
    run.rates = plan.rates;
    run.repeat = plan.repeat;
    CheckSettings settings;
    settings.toleranceDb = options.toleranceDb;
    settings.blockSizes = options.blockSizes;
    settings.soakFactor = plan.soakFactor;

    if (!isolate) {
        last_words::install();
    }
    if (!options.json) {
        out << "checking " << options.plugin << (isolate ? "" : " (inside the host process)") << " at --strictness "
            << options.strictness << " with --seed " << options.seed << "\n";
        out.flush();
    }
    const Clock::time_point start = Clock::now();
    std::vector<CheckResult> results;
    Tally tally;
    bool unusable = false;
    std::vector<std::string> notRun;  // ids
    for (const double rate : plan.rates) {
        settings.rate = static_cast<float>(rate);
        for (const CheckDefinition* definition : allChecks()) {
            const CheckDefinition& check = *definition;
            const bool chosen = std::find(selected.begin(), selected.end(), &check) != selected.end();
            // Checks named by --only run at any strictness.
            const bool atThisLevel = check.level <= options.strictness || (named && chosen);
            const bool wanted = (chosen && atThisLevel) || check.role == CheckRole::Essential ||
                                (check.role == CheckRole::Reproducibility && comparing);
            if (!wanted || (check.role == CheckRole::Essential && rate != plan.rates.front())) {
                continue;
            }
            const double left =
                options.timeoutTotalSeconds - std::chrono::duration<double>(Clock::now() - start).count();
            if (left < 1.0) {
                notRun.push_back(
                    CheckResult{check.id, "", {}, false, 0.0, true, {}, {}, false, rate}.label(severalRates));
                continue;
            }
            const int allowance = options.timeoutGiven ? options.timeoutSeconds
                                                       : std::max(1, static_cast<int>(check.seconds * plan.timeFactor));
            settings.timeoutSeconds = std::min(allowance, static_cast<int>(std::ceil(left)));
            const std::string path = options.plugin;
            const Clock::time_point checkStart = Clock::now();
            CheckOutcome outcome;
            // Each repetition with its own seed; the first that does not
            // pass is the verdict.
            for (int repetition = 0; repetition < plan.repeat; ++repetition) {
                settings.seed = options.seed + static_cast<unsigned>(repetition);
                auto work = [&check, &path, settings] {
                    CheckContext context(path, settings);
                    return check.run(context);
                };
                if (isolate) {
                    outcome = runIsolated({work, childArguments(check, options, settings)}, settings.timeoutSeconds,
                                          options.verbose);
                } else {
                    last_words::prepare(lastWordsFor(check, options, run, results, tally), options.json);
                    last_words::arm(settings.timeoutSeconds);
                    outcome = runInProcess(work);
                    last_words::disarm();
                    last_words::clear();
                }
                if (outcome.verdict != Verdict::Pass) {
                    if (repetition > 0) {
                        outcome.detail = format("repetition %d of %d (--seed %u): %s", repetition + 1, plan.repeat,
                                                settings.seed, outcome.detail.c_str());
                    }
                    break;
                }
            }
            addInterruptionFinding(outcome);
            CheckResult result{check.id,
                               check.name,
                               std::move(outcome),
                               options.strict,
                               std::chrono::duration<double>(Clock::now() - checkStart).count(),
                               chosen};
            result.rate = rate;
            if (check.role == CheckRole::Reproducibility) {
                if (result.outcome.outputsDiffer) {
                    settings.reproducible = false;
                    run.reproducible = false;
                    run.irreproducibleBecause = result.outcome.detail;
                    settings.irreproducibleBecause =
                        format("the output differs between fresh instances (see %s)", check.id);
                } else if (result.outcome.verdict == Verdict::Pass && run.reproducible != false) {
                    run.reproducible = true;
                }
            }
            applySuppressions(result, options.suppressions);
            results.push_back(std::move(result));
            foldIntoEarlierFault(results);
            tally.add(results.back());
            if (!options.json) {
                out << textReport(results.back(), severalRates);
                out.flush();
            }
            if (check.role == CheckRole::Essential && results.back().outcome.verdict == Verdict::Error) {
                unusable = true;
                break;
            }
        }
        if (unusable) {
            break;
        }
    }
    if (!notRun.empty()) {
        const std::string names = joinedIds(notRun);
        CheckResult timeUp{"time-total", "overall time limit",
                           CheckOutcome::error(format("--timeout-total %d s ran out before %zu checks: %s",
                                                      options.timeoutTotalSeconds, notRun.size(), names.c_str())),
                           options.strict, 0.0};
        tally.add(timeUp);
        if (!options.json) {
            out << textReport(timeUp);
        }
        results.push_back(std::move(timeUp));
    }
    const int exitCode = unusable ? kPluginUnusable : tally.failed > 0 ? kChecksFoundErrors : kChecksPassed;
    if (!options.junitPath.empty()) {
        const std::string problem = writeJunitFile(options.junitPath, junitXml(run, results, tally));
        if (!problem.empty()) {
            throw CheckSelectionError(problem);
        }
    }
    if (options.json) {
        out << jsonText(jsonReport(run, results, tally, exitCode)) << "\n";
    } else {
        if (unusable) {
            out << "the plug-in cannot be loaded, so no other check was run\n";
        }
        for (const CheckResult& result : results) {
            if (!result.alsoSeenIn.empty()) {
                out << result.label(severalRates) << ": the same fault also seen in: " << joinedIds(result.alsoSeenIn)
                    << "\n";
            }
        }
        out << tally.summaryLine() << "\n";
    }
    out.flush();
    return exitCode;
}

void runCheckAsChild(const CheckOptions& options, const std::string& id, const std::string& irreproducibleBecause) {
    const auto& checks = allChecks();
    const auto found =
        std::find_if(checks.begin(), checks.end(), [&id](const CheckDefinition* check) { return id == check->id; });
    if (found == checks.end()) {
        throw CheckSelectionError(format("%s %s names no check", kChildCheckOption, id.c_str()));
    }
    CheckSettings settings;
    settings.toleranceDb = options.toleranceDb;
    settings.seed = options.seed;
    settings.rate = static_cast<float>(options.rates.empty() ? kDefaultRate : options.rates.front());
    settings.blockSizes = options.blockSizes;
    settings.soakFactor = planFor(options).soakFactor;
    settings.timeoutSeconds = options.timeoutSeconds;
    settings.reproducible = irreproducibleBecause.empty();
    settings.irreproducibleBecause = irreproducibleBecause;
    const CheckDefinition& check = **found;
    const std::string path = options.plugin;
    runAsIsolatedChild([&check, &path, settings] {
        CheckContext context(path, settings);
        return check.run(context);
    });
}
