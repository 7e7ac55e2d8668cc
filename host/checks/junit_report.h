// The verdicts of a check run as JUnit XML, which CI systems show as test
// results: one test case per check and sample rate, a failure for each
// check that failed (its findings in the text), a skipped element for one
// that tested nothing, and suppressed findings in the test case's output.
#pragma once

#include <string>
#include <vector>

#include "checks/check_report.h"

std::string junitXml(const RunDescription& run, const std::vector<CheckResult>& results, const Tally& tally);

// Writes the document whole or not at all: into a file beside `path`, then
// renamed over it. Returns an empty text, or what went wrong.
std::string writeJunitFile(const std::string& path, const std::string& document);
