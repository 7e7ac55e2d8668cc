// kd_wine_render_bench: the same render by the Linux plughost and by the
// 32 and 64-bit plughost.exe under Wine, in one run, and the ratios of
// their wall-clock times (the target: at most 1.3).
//
// Usage: kd_wine_render_bench [--benchmark_*...]
//
// The Windows programs and DLLs are those of the win32 and win64 build
// trees beside this one (build/win32, build/win64); their Wine prefixes are
// the trees' own. The job: 10 minutes of 24-bit stereo noise at 44.1 kHz through
// K Distortion's program 4 into 24-bit WAV, everything a user's render does
// (process starts, the watched child, reading, writing) included. Each
// case runs once before it is timed, so that Wine's server is up. Exits 1
// when a render fails or a target is missed.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double kTarget = 1.3;

struct Subject {
    const char* name;
    std::string command;  // up to the render's own options
};

std::string quoted(const std::string& word) {
    return "'" + word + "'";
}

std::string inputFile() {
    const std::string path = (fs::temp_directory_path() / "kd-wine-render-in.wav").string();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<int> block(2 * 4410);
    std::uint32_t state = 4;
    for (int part = 0; part < 6000; ++part) {
        for (int& sample : block) {
            state = state * 1664525u + 1013904223u;
            sample = static_cast<int>(state & 0xffffff00u) / 4;
        }
        sf_writef_int(file, block.data(), 4410);
    }
    sf_close(file);
    return path;
}

std::vector<Subject> subjects() {
    const std::string build = KD_BUILD_ROOT;
    std::vector<Subject> list = {{"linux", quoted(KD_PLUGHOST) + " render " + quoted(KD_DISTORTION_PATH)}};
    for (const char* preset : {"win32", "win64"}) {
        const std::string tree = build + "/" + preset;
        list.push_back({preset, "WINEPREFIX=" + quoted(tree + "/wine-prefix") + " WINEDEBUG=-all wine " +
                                    quoted(tree + "/host/plughost.exe") + " render " +
                                    quoted(tree + "/effect/KDistortion.dll")});
    }
    return list;
}

class Ratios : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.run_name.function_name;
                const double seconds = run.GetAdjustedRealTime();
                auto [at, added] = best_.emplace(name, seconds);
                if (!added) {
                    at->second = std::min(at->second, seconds);
                }
            } else if (run.error_occurred) {
                failed_ = true;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto onLinux = best_.find("render/linux");
        if (onLinux == best_.end()) {
            failed_ = true;
            return;
        }
        for (const char* preset : {"win32", "win64"}) {
            const auto windows = best_.find(std::string("render/") + preset);
            if (windows == best_.end()) {
                failed_ = true;
                continue;
            }
            const double ratio = windows->second / onLinux->second;
            const bool met = ratio <= kTarget;
            failed_ = failed_ || !met;
            std::printf("%-6s plughost.exe under Wine / Linux plughost: %.2f (target at most %.1f) %s\n", preset, ratio,
                        kTarget, met ? "met" : "MISSED");
        }
    }
    bool failed() const { return failed_; }

private:
    std::map<std::string, double> best_;  // best wall-clock time, by case
    bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string input = inputFile();
    const std::string output = (fs::temp_directory_path() / "kd-wine-render-out.wav").string();
    for (const Subject& subject : subjects()) {
        const std::string command = subject.command + " -i " + quoted(input) + " -o " + quoted(output) +
                                    " --program 4 --bit-depth 24 >/dev/null 2>&1";
        benchmark::RegisterBenchmark((std::string("render/") + subject.name).c_str(),
                                     [command](benchmark::State& state) {
                                         if (std::system(command.c_str()) != 0) {
                                             state.SkipWithError("the render failed");
                                             return;
                                         }
                                         for (auto _ : state) {
                                             if (std::system(command.c_str()) != 0) {
                                                 state.SkipWithError("the render failed");
                                                 break;
                                             }
                                         }
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(5);
    }
    benchmark::Initialize(&argc, argv);
    Ratios report;
    benchmark::RunSpecifiedBenchmarks(&report);
    std::remove(input.c_str());
    std::remove(output.c_str());
    return report.failed() ? 1 : 0;
}
