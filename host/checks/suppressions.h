// Findings a developer has looked at and accepted for now, read from a
// small file: each is still reported, as suppressed and with its reason,
// but no longer fails the run.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "checks/check_report.h"

struct Suppression {
    std::string check;    // a check id
    std::string finding;  // words the finding contains; empty: any finding of the check
    std::string reason;
};

// What is wrong in a suppressions file, with its line.
class SuppressionFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text file of "check-id[:finding words] reason" lines ('#' starts a
// comment line), or a JSON array of {"check", "finding", "reason"}
// objects. Every suppression needs a reason, and every check id must name a
// check. Throws SuppressionFileError.
std::vector<Suppression> parseSuppressions(const std::string& text, const std::string& path);
std::vector<Suppression> readSuppressions(const std::string& path);

// Marks the findings of `result` that a suppression matches; a check whose
// every finding is suppressed no longer fails or warns.
void applySuppressions(CheckResult& result, const std::vector<Suppression>& suppressions);
