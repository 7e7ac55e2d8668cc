// A console reporter that, besides Google Benchmark's usual lines, keeps the
// best (minimum) CPU time of every benchmark over its repetitions and, at
// the end, prints the ratios between them with the targets they are held to.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "bench_cases.h"

namespace bench {

class RatioReport : public benchmark::ConsoleReporter {
public:
    explicit RatioReport(std::vector<BenchCase> cases) : cases_(std::move(cases)) {}

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

    // True when every target printed was met.
    bool allTargetsMet() const { return allMet_; }
    // True when a benchmark gave up, as one does when its output differs
    // from the reference's.
    bool errorsSeen() const { return errorsSeen_; }

private:
    // Best nanoseconds per sample of a case, or 0 when it did not run.
    double nanosecondsPerSample(Runner runner, Signal signal, int program, std::size_t block, std::size_t samples,
                                bool equaliserOnly = false) const;

    std::vector<BenchCase> cases_;
    std::map<std::string, double> bestNanoseconds_;  // per iteration, by case name
    bool allMet_ = true;
    bool errorsSeen_ = false;
};

}  // namespace bench
