#include "checks/suppressions.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "checks/check_table.h"
#include "support/text_format.h"

namespace {

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

void expectKnown(const Suppression& suppression, const std::string& where) {
    const auto& checks = allChecks();
    const bool known = std::any_of(checks.begin(), checks.end(), [&suppression](const CheckDefinition* check) {
        return suppression.check == check->id;
    });
    if (!known) {
        throw SuppressionFileError(format("%s: '%s' is no check id; 'plughost check --list' shows them", where.c_str(),
                                          suppression.check.c_str()));
    }
    if (suppression.reason.empty()) {
        throw SuppressionFileError(
            format("%s: a suppression of %s needs a reason after it", where.c_str(), suppression.check.c_str()));
    }
}

std::vector<Suppression> fromJson(const std::string& text, const std::string& path) {
    std::vector<Suppression> suppressions;
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& error) {
        throw SuppressionFileError(format("%s is not valid JSON: %s", path.c_str(), error.what()));
    }
    if (!document.is_array()) {
        throw SuppressionFileError(path +
                                   ": a JSON suppressions file is an array of {\"check\", \"finding\", \"reason\"}");
    }
    for (std::size_t i = 0; i < document.size(); ++i) {
        const nlohmann::json& entry = document[i];
        const std::string where = format("%s entry %zu", path.c_str(), i + 1);
        if (!entry.is_object() || !entry.value("check", nlohmann::json()).is_string()) {
            throw SuppressionFileError(where + ": needs \"check\" with a check id");
        }
        Suppression suppression{entry["check"].get<std::string>(), "", ""};
        if (entry.contains("finding") && entry["finding"].is_string()) {
            suppression.finding = entry["finding"].get<std::string>();
        }
        if (entry.contains("reason") && entry["reason"].is_string()) {
            suppression.reason = trimmed(entry["reason"].get<std::string>());
        }
        expectKnown(suppression, where);
        suppressions.push_back(std::move(suppression));
    }
    return suppressions;
}

}  // namespace

std::vector<Suppression> parseSuppressions(const std::string& text, const std::string& path) {
    if (text.find_first_not_of(" \t\r\n") != std::string::npos && text[text.find_first_not_of(" \t\r\n")] == '[') {
        return fromJson(text, path);
    }
    std::vector<Suppression> suppressions;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t space = line.find_first_of(" \t");
        const std::string target = line.substr(0, space);
        Suppression suppression;
        suppression.reason = space == std::string::npos ? "" : trimmed(line.substr(space));
        const std::size_t colon = target.find(':');
        suppression.check = target.substr(0, colon);
        if (colon != std::string::npos) {
            // Finding words may hold spaces when quoted: id:"words here" reason.
            suppression.finding = target.substr(colon + 1);
            if (!suppression.finding.empty() && suppression.finding[0] == '"') {
                const std::size_t close = line.find('"', colon + 2);
                if (close == std::string::npos) {
                    throw SuppressionFileError(
                        format("%s line %d: the quoted finding words do not end", path.c_str(), number));
                }
                suppression.finding = line.substr(colon + 2, close - colon - 2);
                suppression.reason = trimmed(line.substr(close + 1));
            }
        }
        expectKnown(suppression, format("%s line %d", path.c_str(), number));
        suppressions.push_back(std::move(suppression));
    }
    return suppressions;
}

std::vector<Suppression> readSuppressions(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw SuppressionFileError("cannot read suppressions file " + path);
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseSuppressions(text.str(), path);
}

void applySuppressions(CheckResult& result, const std::vector<Suppression>& suppressions) {
    bool all = !result.outcome.findings.empty();
    for (Finding& finding : result.outcome.findings) {
        const auto match = std::find_if(suppressions.begin(), suppressions.end(), [&](const Suppression& suppression) {
            return suppression.check == result.id &&
                   (suppression.finding.empty() || finding.text.find(suppression.finding) != std::string::npos);
        });
        if (match != suppressions.end()) {
            finding.suppressedBecause = match->reason;
        } else {
            all = false;
        }
    }
    result.suppressed = all && (result.outcome.verdict == Verdict::Error || result.outcome.verdict == Verdict::Warning);
}
