#include "ratio_report.h"

#include <cstdio>

namespace bench {
namespace {

constexpr double kIdealTarget = 1.3;    // plug-in cost at most this times the ideal loop's
constexpr double kSpeedUpTarget = 5.0;  // programs 4, 6, 7, 8: at least this times the reference's speed
constexpr double kSilenceTarget = 1.2;  // silence tail at most this times the cost of noise
constexpr std::size_t kNoiseLength = 16384;
constexpr std::size_t kTenSeconds = 441000;

double millionsPerSecond(double nanosecondsPerSample) {
    return nanosecondsPerSample > 0.0 ? 1e3 / nanosecondsPerSample : 0.0;
}

bool singleBandProgram(int program) {
    return program == 4 || program == 6 || program == 7 || program == 8;
}

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

    std::fprintf(out, "\nBest of the repetitions, CPU time, in one run. Msamples/s = million samples per second.\n");
    std::fprintf(out, "\n## Factory programs on white noise, blocks of 512\n\n");
    std::fprintf(out,
                 "| program | plug-in Msamples/s | reference Msamples/s | ideal Msamples/s | plug-in cost / ideal "
                 "(target <= %.1f) | speed-up over reference | target |\n",
                 kIdealTarget);
    std::fprintf(out, "|---|---|---|---|---|---|---|\n");
    for (int program = 0; program < 9; ++program) {
        const double plugin = nanosecondsPerSample(Runner::kPlugin, Signal::kNoise, program, 512, kNoiseLength);
        const double ref = nanosecondsPerSample(Runner::kReference, Signal::kNoise, program, 512, kNoiseLength);
        const double ideal = nanosecondsPerSample(Runner::kIdeal, Signal::kNoise, program, 512, kNoiseLength);
        const bool measured = plugin > 0.0 && ref > 0.0 && ideal > 0.0;
        const double overIdeal = measured ? plugin / ideal : 0.0;
        const double speedUp = measured ? ref / plugin : 0.0;
        bool met = overIdeal <= kIdealTarget;
        std::string speedUpNote;
        if (singleBandProgram(program)) {
            met = met && speedUp >= kSpeedUpTarget;
            speedUpNote = " (target >= 5)";
        }
        std::fprintf(out, "| %d | %.2f | %.2f | %.2f | %.3f | %.2f%s | %s |\n", program, millionsPerSecond(plugin),
                     millionsPerSecond(ref), millionsPerSecond(ideal), overIdeal, speedUp, speedUpNote.c_str(),
                     verdict(met, measured));
    }

    std::fprintf(out, "\n## Silence tail: an impulse, then ten seconds of silence, against ten seconds of noise\n\n");
    std::fprintf(out,
                 "| program | plug-in noise Msamples/s | plug-in silence Msamples/s | plug-in silence cost / noise "
                 "(target <= %.1f) | reference silence cost / noise | target |\n",
                 kSilenceTarget);
    std::fprintf(out, "|---|---|---|---|---|---|\n");
    for (const bool equaliserOnly : {false, true}) {
        for (int program = 4; program < 9; ++program) {
            const auto cost = [&](Runner runner, Signal signal) {
                return nanosecondsPerSample(runner, signal, program, 512, kTenSeconds, equaliserOnly);
            };
            const double noise = cost(Runner::kPlugin, Signal::kNoise);
            const double silence = cost(Runner::kPlugin, Signal::kSilenceTail);
            const double refNoise = cost(Runner::kReference, Signal::kNoise);
            const double refSilence = cost(Runner::kReference, Signal::kSilenceTail);
            const bool measured = noise > 0.0 && silence > 0.0;
            const double ratio = measured ? silence / noise : 0.0;
            const double refRatio = refNoise > 0.0 ? refSilence / refNoise : 0.0;
            // The factory programs are the target; with their per-band
            // distortion off the rows show the filters alone, for information.
            std::fprintf(out, "| %d%s | %.2f | %.2f | %.3f | %.3f | %s |\n", program,
                         equaliserOnly ? ", per-band distortion off" : "", millionsPerSecond(noise),
                         millionsPerSecond(silence), ratio, refRatio,
                         equaliserOnly ? "(no target)" : verdict(ratio <= kSilenceTarget, measured));
        }
    }

    std::fprintf(out, "\n## Block size: the plug-in on white noise\n\n");
    std::fprintf(out,
                 "| program | block 32 Msamples/s | block 512 Msamples/s | block 4096 Msamples/s | block 32 cost / "
                 "block 4096 |\n");
    std::fprintf(out, "|---|---|---|---|---|\n");
    for (int program = 0; program < 9; ++program) {
        const double small = nanosecondsPerSample(Runner::kPlugin, Signal::kNoise, program, 32, kNoiseLength);
        const double standard = nanosecondsPerSample(Runner::kPlugin, Signal::kNoise, program, 512, kNoiseLength);
        const double large = nanosecondsPerSample(Runner::kPlugin, Signal::kNoise, program, 4096, kNoiseLength);
        std::fprintf(out, "| %d | %.2f | %.2f | %.2f | %.3f |\n", program, millionsPerSecond(small),
                     millionsPerSecond(standard), millionsPerSecond(large), large > 0.0 ? small / large : 0.0);
    }
    std::fprintf(out, "\nTargets: %s\n", allMet_ ? "all met" : "NOT all met");
    std::fflush(out);
}

}  // namespace bench
