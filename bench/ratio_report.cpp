#include "ratio_report.h"

#include <cstdio>

namespace bench {
namespace {

constexpr double kIdealTarget = 0.4;    // plug-in cost at most this share of the ideal loop's
constexpr double kSilenceTarget = 1.2;  // silence tail at most this times the cost of noise
constexpr std::size_t kNoiseLength = 16384;
constexpr std::size_t kTenSeconds = 441000;

}  // namespace

void RatioReport::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        errorsSeen_ = errorsSeen_ || run.error_occurred;
        // The "min" statistic when repetitions are aggregated, otherwise the
        // best of the single runs.
        const bool single = run.run_type == Run::RT_Iteration;
        const bool best = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
        if ((single || best) && !run.error_occurred) {
            // Adjusted to the time unit of the run; convert back to nanoseconds.
            const double nanoseconds = run.GetAdjustedCPUTime() * 1e9 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const auto found = bestNanoseconds_.find(run.run_name.function_name);
            if (found == bestNanoseconds_.end() || nanoseconds < found->second) {
                bestNanoseconds_[run.run_name.function_name] = nanoseconds;
            }
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReport::nanosecondsPerSample(Runner runner, Signal signal, int program, std::size_t block,
                                         std::size_t samples, bool equaliserOnly) const {
    for (const BenchCase& c : cases_) {
        if (c.runner == runner && c.signal == signal && c.program == program && c.block == block &&
            c.samplesPerIteration == samples && c.equaliserOnly == equaliserOnly) {
            const auto found = bestNanoseconds_.find(c.name);
            return found == bestNanoseconds_.end() ? 0.0 : found->second / static_cast<double>(samples);
        }
    }
    return 0.0;
}

void RatioReport::Finalize() {
    ConsoleReporter::Finalize();
    std::FILE* out = stdout;
    const auto verdict = [this](bool met, bool measured) {
        if (!measured) {
            allMet_ = false;
            return "not run";
        }
        allMet_ = allMet_ && met;
        return met ? "met" : "MISSED";
    };
    const auto cost = [this](Runner runner, Signal signal, int program, std::size_t block, std::size_t samples,
                             bool equaliserOnly = false) {
        return nanosecondsPerSample(runner, signal, program, block, samples, equaliserOnly);
    };

    std::fprintf(out, "\nBest of the repetitions, CPU time, in one run; ns per frame.\n");
    std::fprintf(out, "\n## Factory programs on white noise, blocks of 512\n\n");
    std::fprintf(out,
                 "| program | plug-in | old plug-in | ideal loop | reference | plug-in / ideal (target <= %.1f) | "
                 "plug-in / old | target |\n",
                 kIdealTarget);
    std::fprintf(out, "|---|---|---|---|---|---|---|---|\n");
    for (int program = 0; program < 9; ++program) {
        const double plugin = cost(Runner::kPlugin, Signal::kNoise, program, 512, kNoiseLength);
        const double old = cost(Runner::kOldPlugin, Signal::kNoise, program, 512, kNoiseLength);
        const double ideal = cost(Runner::kIdeal, Signal::kNoise, program, 512, kNoiseLength);
        const double ref = cost(Runner::kReference, Signal::kNoise, program, 512, kNoiseLength);
        const bool measured = plugin > 0.0 && old > 0.0 && ideal > 0.0;
        const double overIdeal = measured ? plugin / ideal : 0.0;
        std::fprintf(out, "| %d | %.2f | %.2f | %.2f | %.2f | %.3f | %.3f | %s |\n", program, plugin, old, ideal, ref,
                     overIdeal, measured ? plugin / old : 0.0, verdict(overIdeal <= kIdealTarget, measured));
    }

    std::fprintf(out, "\n## Silence tail: an impulse, then ten seconds of silence, against ten seconds of noise\n\n");
    std::fprintf(out,
                 "| program | plug-in noise | plug-in silence tail | plug-in tail / noise (target <= %.1f) | old "
                 "plug-in tail / noise | target |\n",
                 kSilenceTarget);
    std::fprintf(out, "|---|---|---|---|---|---|\n");
    for (const bool equaliserOnly : {false, true}) {
        for (int program = 4; program < 9; ++program) {
            const double noise = cost(Runner::kPlugin, Signal::kNoise, program, 512, kTenSeconds, equaliserOnly);
            const double silence =
                cost(Runner::kPlugin, Signal::kSilenceTail, program, 512, kTenSeconds, equaliserOnly);
            const double oldNoise = cost(Runner::kOldPlugin, Signal::kNoise, program, 512, kTenSeconds, equaliserOnly);
            const double oldSilence =
                cost(Runner::kOldPlugin, Signal::kSilenceTail, program, 512, kTenSeconds, equaliserOnly);
            const bool measured = noise > 0.0 && silence > 0.0;
            const double ratio = measured ? silence / noise : 0.0;
            // The factory programs are the target; with their per-band
            // distortion off the rows show the filters alone, for information.
            std::fprintf(out, "| %d%s | %.2f | %.2f | %.3f | %.3f | %s |\n", program,
                         equaliserOnly ? ", per-band distortion off" : "", noise, silence, ratio,
                         oldNoise > 0.0 ? oldSilence / oldNoise : 0.0,
                         equaliserOnly ? "(no target)" : verdict(ratio <= kSilenceTarget, measured));
        }
    }

    std::fprintf(out, "\n## Block size: the plug-in on white noise\n\n");
    std::fprintf(out, "| program | block 32 | block 512 | block 4096 | block 32 cost / block 4096 |\n");
    std::fprintf(out, "|---|---|---|---|---|\n");
    for (int program = 0; program < 9; ++program) {
        const double small = cost(Runner::kPlugin, Signal::kNoise, program, 32, kNoiseLength);
        const double standard = cost(Runner::kPlugin, Signal::kNoise, program, 512, kNoiseLength);
        const double large = cost(Runner::kPlugin, Signal::kNoise, program, 4096, kNoiseLength);
        std::fprintf(out, "| %d | %.2f | %.2f | %.2f | %.3f |\n", program, small, standard, large,
                     large > 0.0 ? small / large : 0.0);
    }
    std::fprintf(out, "\nTargets: %s\n", allMet_ ? "all met" : "NOT all met");
    std::fflush(out);
}

}  // namespace bench
