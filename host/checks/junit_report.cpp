#include "checks/junit_report.h"

#include <cstdio>
#include <fstream>

#include "support/text_format.h"

namespace {

// Text as XML character data or attribute value; control characters that
// XML 1.0 cannot carry become spaces.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' ? ' ' : c;
        }
    }
    return out;
}

std::string findingLines(const CheckResult& result) {
    std::string text;
    for (const Finding& finding : result.outcome.findings) {
        text += (finding.severity == Severity::Error ? "error: " : "warning: ") + finding.text;
        if (!finding.call.empty()) {
            text += " (in " + finding.call + ")";
        }
        if (!finding.suppressedBecause.empty()) {
            text += " (suppressed: " + finding.suppressedBecause + ")";
        }
        text += "\n";
    }
    return text.empty() ? result.outcome.detail + "\n" : text;
}

}  // namespace

std::string junitXml(const RunDescription& run, const std::vector<CheckResult>& results, const Tally& tally) {
    double seconds = 0.0;
    int tests = 0;
    int skipped = 0;
    int failures = 0;
    std::string cases;
    for (const CheckResult& result : results) {
        if (!result.counted() && result.sameFaultAs.empty()) {
            continue;
        }
        ++tests;
        seconds += result.seconds;
        cases += format("    <testcase classname=\"plughost.check.%.0f\" name=\"%s\" time=\"%.3f\">\n",
                        result.rate > 0.0 ? result.rate : 44100.0, escaped(result.id).c_str(), result.seconds);
        const Verdict verdict = result.outcome.verdict;
        if (!result.sameFaultAs.empty() && result.outcome.verdict == Verdict::Error) {
            ++failures;
            cases += "      <failure type=\"same fault\" message=\"" +
                     escaped("the fault " + result.sameFaultAs + " found") + "\">" + escaped(findingLines(result)) +
                     "</failure>\n";
        } else if (result.failed()) {
            ++failures;
            cases += "      <failure type=\"" + std::string(verdict == Verdict::Warning ? "warning" : "error") +
                     "\" message=\"" + escaped(result.outcome.detail) + "\">" + escaped(findingLines(result)) +
                     "</failure>\n";
        } else if (verdict == Verdict::Skip || verdict == Verdict::NotComparable || verdict == Verdict::NotTested) {
            ++skipped;
            cases += "      <skipped message=\"" + escaped(result.outcome.detail) + "\"/>\n";
        } else if (verdict == Verdict::Warning || result.suppressed || !result.sameFaultAs.empty()) {
            cases += "      <system-out>" + escaped(findingLines(result)) + "</system-out>\n";
        }
        cases += "    </testcase>\n";
    }
    return format(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<testsuites>\n"
               "  <testsuite name=\"plughost check %s\" tests=\"%d\" failures=\"%d\" errors=\"0\" skipped=\"%d\" "
               "time=\"%.3f\">\n"
               "    <properties>\n"
               "      <property name=\"seed\" value=\"%u\"/>\n"
               "      <property name=\"strictness\" value=\"%d\"/>\n"
               "      <property name=\"summary\" value=\"%s\"/>\n"
               "    </properties>\n",
               escaped(run.plugin).c_str(), tests, failures, skipped, seconds, run.seed, run.strictness,
               escaped(tally.summaryLine()).c_str()) +
           cases + "  </testsuite>\n</testsuites>\n";
}

std::string writeJunitFile(const std::string& path, const std::string& document) {
    const std::string part = path + ".part";
    {
        std::ofstream file(part, std::ios::binary | std::ios::trunc);
        file << document;
        file.flush();
        if (!file) {
            std::remove(part.c_str());
            return "cannot write " + part;
        }
    }
#ifdef _WIN32
    std::remove(path.c_str());  // rename does not replace a file here
#endif
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        return "cannot rename " + part + " to " + path;
    }
    return "";
}
