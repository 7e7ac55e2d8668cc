#include "checks/check_report.h"

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

const VerdictNames& namesOf(Verdict verdict) {
    for (const VerdictNames& names : kVerdictNames) {
        if (names.verdict == verdict) {
            return names;
        }
    }
    return kVerdictNames[0];
}

constexpr const char* kIndent = "      ";

}  // namespace

void Tally::add(const CheckResult& result) {
    if (result.failed()) {
        ++failed;
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
            ++skipped;
            break;
    }
}

std::string Tally::summaryLine() const {
    std::string line = format("%d passed, %d failed, %d warnings", passed, failed, warnings);
    if (skipped > 0) {
        line += format(", %d skipped", skipped);
    }
    return line;
}

std::string textReport(const CheckResult& result) {
    const CheckOutcome& outcome = result.outcome;
    const VerdictNames& names = namesOf(outcome.verdict);
    std::string text = std::string(result.failed() ? "FAIL" : names.word) + "  " + result.name;
    const std::string strictNote = result.failed() && outcome.verdict == Verdict::Warning ? "warning (--strict): " : "";
    if (outcome.verdict == Verdict::Pass) {
        text += outcome.detail.empty() ? "" : " (" + outcome.detail + ")";
    } else {
        text += ": " + strictNote + names.prefix + outcome.detail;
    }
    text += "\n";
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
        nlohmann::json check = {{"name", result.name},
                                {"verdict", namesOf(result.outcome.verdict).json},
                                {"failed", result.failed()},
                                {"detail", result.outcome.detail},
                                {"seconds", result.seconds}};
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
          {"timeout_seconds", run.timeoutSeconds},
          {"timeout_total_seconds", run.timeoutTotalSeconds},
          {"isolated", run.isolated}}},
        {"reproducible", run.reproducible},
        {"checks", std::move(checks)},
        {"summary",
         {{"passed", tally.passed},
          {"failed", tally.failed},
          {"warnings", tally.warnings},
          {"skipped", tally.skipped},
          {"line", tally.summaryLine()}}},
        {"exit_code", exitCode},
    };
    if (!run.reproducible) {
        document["irreproducible_because"] = run.irreproducibleBecause;
    }
    return document;
}

std::string jsonText(const nlohmann::json& document) {
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}
