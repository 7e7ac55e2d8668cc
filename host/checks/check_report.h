// How the verdicts of a check run are shown: a line (or a few) per check as
// it finishes, a closing summary line that CI logs can grep, and the same as
// one JSON document, which carries every finding.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "checks/check_support.h"

struct CheckResult {
    std::string id;
    std::string name;
    CheckOutcome outcome;
    bool strict = false;  // warnings count as errors
    double seconds = 0.0;
    // A check that runs because others need it, though it was not selected,
    // counts only when it fails.
    bool selected = true;
    // When every error of this check follows from a fault an earlier check
    // found first: that check's id. The fault counts once, there.
    std::string sameFaultAs{};
    // On the check that found a fault first: the later checks it also failed.
    std::vector<std::string> alsoSeenIn{};
    // Every finding was suppressed (--suppress): reported, not counted
    // against the plug-in.
    bool suppressed = false;
    // The sample rate it ran at, shown when a run checks at several.
    double rate = 0.0;

    bool failed() const {
        return !suppressed && (outcome.verdict == Verdict::Error || (strict && outcome.verdict == Verdict::Warning));
    }
    bool counted() const { return (selected || failed()) && sameFaultAs.empty(); }
    // "block-sizes", or "block-sizes at 48000 Hz" in a run at several rates.
    std::string label(bool severalRates) const;
};

// The faults behind a check's findings (see Finding::cause); empty when
// any finding is a fault of its own.
std::set<std::string> causesOf(const CheckOutcome& outcome);

// Gives a check that was cut short (crash, hang, a fault on a protected
// page) its finding: the detail with the call it happened in and its cause.
void addInterruptionFinding(CheckOutcome& outcome);

// Decides whether every finding of the newest of `results` comes from
// faults an earlier check found first; if so, marks it and names it on the
// first such check.
void foldIntoEarlierFault(std::vector<CheckResult>& results);

struct Tally {
    int passed = 0;
    int failed = 0;
    int warnings = 0;
    int notTested = 0;  // skipped, not comparable or not tested
    int suppressed = 0;

    void add(const CheckResult& result);
    // "12 passed, 1 failed, 2 warnings, 3 not tested", then ", 1 suppressed"
    // when any were.
    std::string summaryLine() const;
};

// "PASS  id  name (detail)", "FAIL  id  name: findings" and so on (the first
// few findings), then the plug-in calls in progress and the step the check
// was in when it was cut short, and the plug-in's last output lines, each
// line ending in a newline.
std::string textReport(const CheckResult& result, bool severalRates = false);

// The fields of the whole run that are not per check.
struct RunDescription {
    std::string plugin;
    bool strict = false;
    double toleranceDb = -100.0;
    unsigned seed = 0;
    int strictness = 5;
    std::vector<double> rates;
    int repeat = 1;
    int timeoutSeconds = 0;
    int timeoutTotalSeconds = 0;
    bool isolated = true;
    // Whether fresh instances gave the same output; unknown when that was
    // never tried (the plug-in could not be loaded, say).
    std::optional<bool> reproducible;
    std::string irreproducibleBecause;
};

nlohmann::json jsonReport(const RunDescription& run, const std::vector<CheckResult>& results, const Tally& tally,
                          int exitCode);
// The document as text; bytes that are not UTF-8 (from a plug-in's texts)
// are replaced rather than failing the report.
std::string jsonText(const nlohmann::json& document);
