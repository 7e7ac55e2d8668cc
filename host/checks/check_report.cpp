#include "checks/check_report.h"

#include <cstring>

#include "support/text_format.h"

namespace {

struct VerdictNames {
    Verdict verdict;
    const char* word;    // in the text report
    const char* prefix;  // before the detail in the text report
    const char* json;
};

constexpr VerdictNames kVerdictNames[] = {
    {Verdict::Pass, "PASS", "", "passed"},
    {Verdict::Warning, "WARN", "", "warning"},
    {Verdict::Error, "FAIL", "", "error"},
    {Verdict::Skip, "SKIP", "", "skipped"},
    {Verdict::NotComparable, "SKIP", "not comparable: ", "not comparable"},
    {Verdict::NotTested, "SKIP", "not tested: ", "not tested"},
};

constexpr const char* kSeverityNames[] = {"warning", "error"};

const VerdictNames& namesOf(Verdict verdict) {
    for (const VerdictNames& names : kVerdictNames) {
        if (names.verdict == verdict) {
            return names;
        }
    }
    return kVerdictNames[0];
}

// How a check that was cut short names its cause: by the words its detail
// starts with; a fixed cause, or a word and the call it happened in.
struct InterruptionCause {
    const char* start;
    const char* cause;
    const char* word;
};
constexpr InterruptionCause kInterruptionCauses[] = {
    {"writes past the end of ", kWritesOutsideTheBlock, nullptr},
    {"reaches past the end of output", kWritesOutsideTheBlock, nullptr},
    {"reads past the end of input", kReadsPastTheBlockEnd, nullptr},
    {"the plug-in crashed", nullptr, "crash"},
    {"did not finish within", nullptr, "hang"},
};

constexpr const char* kIndent = "      ";
// Findings shown per check in the text report; the JSON report has them all.
constexpr std::size_t kFindingsShown = 3;

// The first few findings, errors first, and how many more there are.
std::string shortDetail(const CheckOutcome& outcome) {
    const std::vector<Finding>& findings = outcome.findings;
    if (findings.size() <= kFindingsShown) {
        return outcome.detail;
    }
    std::string detail;
    for (std::size_t i = 0; i < kFindingsShown; ++i) {
        const bool firstWarning =
            i > 0 && findings[i].severity == Severity::Warning && findings[i - 1].severity == Severity::Error;
        detail += std::string(i == 0 ? "" : firstWarning ? "; warnings: " : "; ") + findings[i].text;
    }
    return detail + format(" (and %zu more; --json lists them all)", findings.size() - kFindingsShown);
}

}  // namespace

std::set<std::string> causesOf(const CheckOutcome& outcome) {
    std::set<std::string> causes;
    for (const Finding& finding : outcome.findings) {
        if (finding.cause.empty()) {
            return {};
        }
        causes.insert(finding.cause);
    }
    return causes;
}

void addInterruptionFinding(CheckOutcome& outcome) {
    if (outcome.interrupted && outcome.findings.empty()) {
        outcome.findings.push_back({Severity::Error, outcome.detail, "", outcome.call});
    }
    // The innermost call: the last of those in progress.
    const std::size_t last = outcome.call.rfind("; ");
    std::string call = last == std::string::npos ? outcome.call : outcome.call.substr(last + 2);
    call = call.substr(0, call.find(" after "));
    const std::string where = call.empty() ? "a call of the host's own" : call;
    for (Finding& finding : outcome.findings) {
        if (finding.severity != Severity::Error || !finding.cause.empty()) {
            continue;
        }
        for (const InterruptionCause& known : kInterruptionCauses) {
            if (finding.text.compare(0, std::strlen(known.start), known.start) == 0) {
                finding.cause = known.cause != nullptr ? known.cause : std::string(known.word) + " in " + where;
                break;
            }
        }
    }
}

void foldIntoEarlierFault(std::vector<CheckResult>& results) {
    if (results.empty()) {
        return;
    }
    CheckResult& latest = results.back();
    const std::set<std::string> causes = causesOf(latest.outcome);
    if (causes.empty() || latest.suppressed) {
        return;
    }
    std::set<std::string> explained;
    CheckResult* root = nullptr;
    for (std::size_t i = 0; i + 1 < results.size(); ++i) {
        CheckResult& earlier = results[i];
        if (!earlier.sameFaultAs.empty()) {
            continue;
        }
        for (const std::string& cause : causesOf(earlier.outcome)) {
            if (causes.count(cause) != 0) {
                explained.insert(cause);
                root = root == nullptr ? &earlier : root;
            }
        }
    }
    if (root != nullptr && explained == causes) {
        latest.sameFaultAs = root->label(root->rate != latest.rate);
        root->alsoSeenIn.push_back(latest.label(root->rate != latest.rate));
    }
}

std::string CheckResult::label(bool severalRates) const {
    return severalRates && rate > 0.0 ? format("%s at %.0f Hz", id.c_str(), rate) : id;
}

void Tally::add(const CheckResult& result) {
    if (!result.sameFaultAs.empty()) {
        return;
    }
    if (result.suppressed) {
        ++suppressed;
        return;
    }
    if (result.failed()) {
        ++failed;
        return;
    }
    if (!result.counted()) {
        return;
    }
    switch (result.outcome.verdict) {
        case Verdict::Pass:
            ++passed;
            break;
        case Verdict::Warning:
            ++warnings;
            break;
        case Verdict::Error:
            ++failed;
            break;
        case Verdict::Skip:
        case Verdict::NotComparable:
        case Verdict::NotTested:
            ++notTested;
            break;
    }
}

std::string Tally::summaryLine() const {
    std::string line = format("%d passed, %d failed, %d warnings, %d not tested", passed, failed, warnings, notTested);
    return suppressed > 0 ? line + format(", %d suppressed", suppressed) : line;
}

std::string textReport(const CheckResult& result, bool severalRates) {
    const CheckOutcome& outcome = result.outcome;
    const VerdictNames& names = namesOf(outcome.verdict);
    const std::string id = result.label(severalRates);
    if (result.suppressed) {
        std::string text = "SUPP  " + id + "  " + result.name + ":";
        for (const Finding& finding : outcome.findings) {
            text += "\n" + std::string(kIndent) + finding.text + " (suppressed: " + finding.suppressedBecause + ")";
        }
        return text + "\n";
    }
    if (!result.sameFaultAs.empty()) {
        std::string causes;
        for (const std::string& cause : causesOf(outcome)) {
            causes += (causes.empty() ? "" : ", ") + cause;
        }
        return "SAME  " + id + "  " + result.name + ": " + shortDetail(outcome) + "; the fault " + result.sameFaultAs +
               " found (" + causes + "), counted there\n";
    }
    std::string text = std::string(result.failed() ? "FAIL" : names.word) + "  " + id + "  " + result.name;
    const std::string strictNote = result.failed() && outcome.verdict == Verdict::Warning ? "warning (--strict): " : "";
    if (outcome.verdict == Verdict::Pass) {
        text += outcome.detail.empty() ? "" : " (" + outcome.detail + ")";
    } else {
        text += ": " + strictNote + names.prefix + shortDetail(outcome);
    }
    if (!result.counted()) {
        text += " [not selected: run because other checks need it, and not counted]";
    }
    text += "\n";
    if (!outcome.call.empty()) {
        text += std::string(kIndent) + "in: " + outcome.call + "\n";
    }
    if (!outcome.step.empty()) {
        text += std::string(kIndent) + "during: " + outcome.step + "\n";
    }
    if (!outcome.pluginOutput.empty()) {
        text += std::string(kIndent) + "the plug-in's last output lines:\n";
        for (const std::string& line : outcome.pluginOutput) {
            text += std::string(kIndent) + "| " + line + "\n";
        }
    }
    return text;
}

nlohmann::json jsonReport(const RunDescription& run, const std::vector<CheckResult>& results, const Tally& tally,
                          int exitCode) {
    nlohmann::json checks = nlohmann::json::array();
    for (const CheckResult& result : results) {
        nlohmann::json findings = nlohmann::json::array();
        for (const Finding& finding : result.outcome.findings) {
            nlohmann::json entry = {{"severity", kSeverityNames[static_cast<int>(finding.severity)]},
                                    {"text", finding.text}};
            if (!finding.cause.empty()) {
                entry["cause"] = finding.cause;
            }
            if (!finding.call.empty()) {
                entry["call"] = finding.call;
            }
            if (!finding.suppressedBecause.empty()) {
                entry["suppressed_because"] = finding.suppressedBecause;
            }
            findings.push_back(std::move(entry));
        }
        nlohmann::json check = {{"id", result.id},
                                {"name", result.name},
                                {"verdict", namesOf(result.outcome.verdict).json},
                                {"failed", result.failed()},
                                {"suppressed", result.suppressed},
                                {"rate", result.rate},
                                {"counted", result.counted()},
                                {"detail", result.outcome.detail},
                                {"findings", std::move(findings)},
                                {"seconds", result.seconds}};
        if (!result.outcome.call.empty()) {
            check["call"] = result.outcome.call;
        }
        if (!result.sameFaultAs.empty()) {
            check["same_fault_as"] = result.sameFaultAs;
        }
        if (!result.alsoSeenIn.empty()) {
            check["also_seen_in"] = result.alsoSeenIn;
        }
        if (!result.outcome.step.empty()) {
            check["step"] = result.outcome.step;
        }
        if (!result.outcome.pluginOutput.empty()) {
            check["plugin_output"] = result.outcome.pluginOutput;
        }
        checks.push_back(std::move(check));
    }
    nlohmann::json document = {
        {"plugin", run.plugin},
        {"settings",
         {{"strict", run.strict},
          {"tolerance_db", run.toleranceDb},
          {"seed", run.seed},
          {"strictness", run.strictness},
          {"rates", run.rates},
          {"repeat", run.repeat},
          {"timeout_seconds", run.timeoutSeconds},
          {"timeout_total_seconds", run.timeoutTotalSeconds},
          {"isolated", run.isolated}}},
        {"reproducible", run.reproducible ? nlohmann::json(*run.reproducible) : nlohmann::json()},
        {"checks", std::move(checks)},
        {"summary",
         {{"passed", tally.passed},
          {"failed", tally.failed},
          {"warnings", tally.warnings},
          {"not_tested", tally.notTested},
          {"suppressed", tally.suppressed},
          {"line", tally.summaryLine()}}},
        {"exit_code", exitCode},
    };
    if (run.reproducible == false) {
        document["irreproducible_because"] = run.irreproducibleBecause;
    }
    return document;
}

std::string jsonText(const nlohmann::json& document) {
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}
