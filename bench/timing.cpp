// kd_time: the whole plug-in, per factory program, against its ideal loop and
// against the old scalar plug-in, in one process. It is the benchmark of the
// builds that have no Google Benchmark (the Windows DLLs, run under Wine) and
// gives the figures by which the builds are compared with each other
// (bench/tables).
//
// Usage: kd_time PLUGIN OLD_PLUGIN [--rounds N] [--summary FILE]
//
// Before anything is timed, every subject's output is compared with the
// plain reference's (tests/perf), sample for sample. Times are the thread's
// CPU time, as Google Benchmark measures on Linux, so that other processes
// on a busy machine count for little: the best of N rounds (5; 3 for the
// ten-second silence tail cases), each round running every subject once, in
// a shuffled order, for at least 0.3 s (Wine counts a thread's CPU time in
// 10 ms steps). --summary writes the figures as lines of text for bench/tables.
//
// Exit status: 0 figures printed; 1 an output differs from the reference;
// 2 bad arguments, or a library that does not load.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#include "ideal_loop.h"
#include "plugin_subject.h"
#include "reference_signal_path.h"
#include "sample_comparison.h"
#include "test_signals.h"

namespace {

using bench::PluginSubject;
using bench::Settings;

constexpr int kPrograms = 9;
constexpr int kFirstBandProgram = 4;  // programs 4 to 8 run the band split
constexpr std::size_t kBlock = 512;
constexpr std::size_t kNoiseLength = 16384;
constexpr double kShortestMeasurement = 0.3;  // seconds of CPU time
constexpr std::size_t kTenSeconds = 441000;   // at 44.1 kHz

#if defined(_WIN32) && defined(__i386__)
const char* const kBuildName = "32-bit DLL";
#elif defined(_WIN32)
const char* const kBuildName = "64-bit DLL";
#else
const char* const kBuildName = "Linux";
#endif

struct Options {
    std::string plugin;
    std::string oldPlugin;
    int rounds = 5;
    std::string summary;
};

bool parse(int argc, char** argv, Options& options) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            options.rounds = std::atoi(argv[++i]);
        } else if (arg == "--summary" && i + 1 < argc) {
            options.summary = argv[++i];
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.size() != 2 || options.rounds < 1) {
        return false;
    }
    options.plugin = paths[0];
    options.oldPlugin = paths[1];
    return true;
}

std::vector<float> referenceOutput(const Settings& settings, const std::vector<float>& input) {
    reference::SignalPath path;
    for (int index = 0; index < kParameterCount; ++index) {
        path.set(index, settings[static_cast<std::size_t>(index)]);
    }
    std::vector<float> out(input.size());
    path.process(input.data(), out.data(), input.size());
    return out;
}

std::vector<float> pluginOutput(const PluginSubject& subject, int program, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    PluginSubject::Instance effect = subject.open(program);
    if (effect) {
        PluginSubject::process(effect.get(), input.data(), out.data(), input.size(), kBlock);
    }
    return out;
}

// CPU time of the calling thread, in seconds.
double threadSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 100e-9;
#else
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
#endif
}

double seconds(const std::function<void()>& work) {
    const double start = threadSeconds();
    work();
    return threadSeconds() - start;
}

// One timed thing: run() does `frames` frames of work; best is the lowest
// nanoseconds per frame seen.
struct Task {
    std::function<void()> run;
    std::size_t frames;
    double best = 1e30;
    int passes = 1;  // runs per measurement
};

// Runs every task once per round, in an order shuffled anew each round,
// each measurement repeating the task for at least kShortestMeasurement.
void timeRounds(std::vector<Task*>& tasks, int rounds, perf::Random& random) {
    for (Task* task : tasks) {
        // Long enough for the coarsest clock to tell how long one pass takes.
        int passes = 1;
        double time = 0.0;
        while ((time = seconds([task, passes] {
                    for (int pass = 0; pass < passes; ++pass) {
                        task->run();
                    }
                })) < 0.05) {
            passes *= 4;
        }
        const double once = time / passes;
        task->passes = std::max(1, static_cast<int>(std::ceil(kShortestMeasurement / once)));
    }
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = tasks.size(); i > 1; --i) {
            std::swap(tasks[i - 1], tasks[random.below(i)]);
        }
        for (Task* task : tasks) {
            const double time = seconds([task] {
                for (int pass = 0; pass < task->passes; ++pass) {
                    task->run();
                }
            });
            const double ns = time * 1e9 / (static_cast<double>(task->frames) * task->passes);
            task->best = std::min(task->best, ns);
        }
    }
}

int tailRounds(int rounds) {
    return std::max(1, (rounds + 1) / 2);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: kd_time PLUGIN OLD_PLUGIN [--rounds N] [--summary FILE]\n");
        return 2;
    }
    const PluginSubject plugin(options.plugin);
    const PluginSubject oldPlugin(options.oldPlugin);
    for (const PluginSubject* subject : {&plugin, &oldPlugin}) {
        if (!subject->loaded()) {
            std::fprintf(stderr, "kd_time: %s\n", subject->error().c_str());
            return 2;
        }
    }

    const std::vector<float> noise = perf::whiteNoise(kNoiseLength, 0.9f, 42);
    const std::vector<float> longNoise = perf::whiteNoise(kTenSeconds, 0.9f, 43);
    const std::vector<float> tail = perf::impulseThenSilence(kTenSeconds, 1.0f);

    // Every subject gives the reference's output before it is timed.
    std::vector<Settings> settings;
    for (int program = 0; program < kPrograms; ++program) {
        settings.push_back(PluginSubject::settingsOf(plugin.open(program).get()));
        const std::vector<float> expected = referenceOutput(settings.back(), noise);
        std::vector<float> ideal(noise.size());
        bench::IdealLoop(settings.back()).process(noise.data(), ideal.data(), noise.size());
        const std::pair<const char*, std::vector<float>> outputs[] = {
            {"the plug-in", pluginOutput(plugin, program, noise)},
            {"the old plug-in", pluginOutput(oldPlugin, program, noise)},
            {"the ideal loop", ideal},
        };
        for (const auto& [what, output] : outputs) {
            const std::string difference = perf::firstDifference(output, expected);
            if (!difference.empty()) {
                std::fprintf(stderr, "kd_time: program %d: %s differs from the reference at %s\n", program, what,
                             difference.c_str());
                return 1;
            }
        }
        if (program >= kFirstBandProgram) {
            const std::string difference =
                perf::firstDifference(pluginOutput(plugin, program, tail), referenceOutput(settings.back(), tail));
            if (!difference.empty()) {
                std::fprintf(stderr, "kd_time: program %d: the plug-in's silence tail differs at %s\n", program,
                             difference.c_str());
                return 1;
            }
        }
    }

    // Noise: instances that stay open.
    std::vector<float> out(kTenSeconds);
    std::vector<PluginSubject::Instance> instances;
    std::vector<bench::IdealLoop> ideals;
    std::vector<Task> noiseTasks;  // per program: plug-in, old plug-in, ideal loop
    for (int program = 0; program < kPrograms; ++program) {
        ideals.emplace_back(settings[static_cast<std::size_t>(program)]);
    }
    for (int program = 0; program < kPrograms; ++program) {
        AEffect* current = instances.emplace_back(plugin.open(program)).get();
        AEffect* old = instances.emplace_back(oldPlugin.open(program)).get();
        bench::IdealLoop* ideal = &ideals[static_cast<std::size_t>(program)];
        noiseTasks.push_back(Task{[&noise, &out, current] {
                                      PluginSubject::process(current, noise.data(), out.data(), noise.size(), kBlock);
                                  },
                                  kNoiseLength});
        noiseTasks.push_back(
            Task{[&noise, &out, old] { PluginSubject::process(old, noise.data(), out.data(), noise.size(), kBlock); },
                 kNoiseLength});
        noiseTasks.push_back(
            Task{[&noise, &out, ideal] { ideal->process(noise.data(), out.data(), noise.size()); }, kNoiseLength});
    }

    // Ten seconds of noise against an impulse and ten seconds of silence, each
    // pass through a fresh instance.
    std::vector<Task> tailTasks;  // per band program: plug-in noise, tail; old plug-in noise, tail
    for (int program = kFirstBandProgram; program < kPrograms; ++program) {
        for (const PluginSubject* subject : {&plugin, &oldPlugin}) {
            for (const std::vector<float>* input : {&longNoise, &tail}) {
                tailTasks.push_back(Task{[subject, program, input, &out] {
                                             PluginSubject::Instance effect = subject->open(program);
                                             PluginSubject::process(effect.get(), input->data(), out.data(),
                                                                    input->size(), kBlock);
                                         },
                                         kTenSeconds});
            }
        }
    }

    perf::Random random(2024);
    std::vector<Task*> tasks;
    for (Task& task : noiseTasks) {
        tasks.push_back(&task);
    }
    timeRounds(tasks, options.rounds, random);
    tasks.clear();
    for (Task& task : tailTasks) {
        tasks.push_back(&task);
    }
    timeRounds(tasks, tailRounds(options.rounds), random);

    std::printf("## %s: factory programs on white noise, blocks of 512\n\n", kBuildName);
    std::printf("ns per frame, CPU time, best of %d rounds. Targets: plug-in / ideal <= 0.4 (Linux).\n\n",
                options.rounds);
    std::printf("| program | plug-in | old plug-in | ideal loop | plug-in / ideal | plug-in / old |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (int program = 0; program < kPrograms; ++program) {
        const Task* t = &noiseTasks[3 * static_cast<std::size_t>(program)];
        const double now = t[0].best;
        const double old = t[1].best;
        const double ideal = t[2].best;
        std::printf("| %d | %.1f | %.1f | %.1f | %.3f | %.3f |\n", program, now, old, ideal, now / ideal, now / old);
    }
    std::printf("\n## %s: an impulse and ten seconds of silence against ten seconds of noise\n\n", kBuildName);
    std::printf("ns per frame, CPU time, best of %d rounds, a fresh instance each. Target: tail / noise <= 1.2.\n\n",
                tailRounds(options.rounds));
    std::printf("| program | plug-in noise | plug-in silence tail | tail / noise | old plug-in tail / noise |\n");
    std::printf("|---|---|---|---|---|\n");
    for (int program = kFirstBandProgram; program < kPrograms; ++program) {
        const Task* t = &tailTasks[4 * static_cast<std::size_t>(program - kFirstBandProgram)];
        std::printf("| %d | %.1f | %.1f | %.3f | %.3f |\n", program, t[0].best, t[1].best, t[1].best / t[0].best,
                    t[3].best / t[2].best);
    }

    if (!options.summary.empty()) {
        std::FILE* file = std::fopen(options.summary.c_str(), "w");
        if (file == nullptr) {
            std::fprintf(stderr, "kd_time: cannot write %s\n", options.summary.c_str());
            return 2;
        }
        for (int program = 0; program < kPrograms; ++program) {
            const Task* t = &noiseTasks[3 * static_cast<std::size_t>(program)];
            std::fprintf(file, "noise %d %.3f %.3f %.3f\n", program, t[0].best, t[1].best, t[2].best);
        }
        for (int program = kFirstBandProgram; program < kPrograms; ++program) {
            const Task* t = &tailTasks[4 * static_cast<std::size_t>(program - kFirstBandProgram)];
            std::fprintf(file, "tail %d %.3f %.3f\n", program, t[0].best, t[1].best);
        }
        std::fclose(file);
    }
    return 0;
}
