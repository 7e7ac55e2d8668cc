// What every check uses: its verdict and findings, the plug-in it checks and
// the settings of the run, buffers with guard areas, and the standard ways to
// push audio through an instance and compare what comes out.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "aeffect.h"
#include "audio/audio_buffer.h"
#include "audio/statistics.h"
#include "checks/output_comparison.h"
#include "checks/stimulus.h"
#include "plugin/guarded_channels.h"
#include "plugin/plugin_instance.h"
#include "plugin/plugin_module.h"

// A finding is an error when it can harm a host or its user (crashes, bad
// numbers, writes outside buffers, state or audio that does not come back),
// a warning when it breaks a convention that hosts mostly survive.
enum class Severity { Warning, Error };

// Skip: the check does not apply to this plug-in. NotComparable: the check
// compares outputs and the plug-in's output is not reproducible. NotTested:
// the check applies, but the plug-in gave it nothing to judge.
enum class Verdict { Pass, Warning, Error, Skip, NotComparable, NotTested };

// Causes that several checks share, and the words checks that end early
// with them begin with.
inline constexpr const char* kWritesOutsideTheBlock = "writes outside the block";
inline constexpr const char* kReadsPastTheBlockEnd = "reads input past the block end";

// One thing a check found, with its weight.
struct Finding {
    Severity severity = Severity::Error;
    std::string text;
    // The fault behind the finding, in words that do not depend on where it
    // showed ("output channel 1 not written", "crash in effProcessEvents"),
    // so that the checks one fault fails can be told apart from a second
    // fault; empty when the finding is its own fault.
    std::string cause{};
    // The plug-in call it happened in, when known.
    std::string call{};
    // Set when a suppression (--suppress) accepted it, with its reason.
    std::string suppressedBecause{};
};

struct CheckOutcome {
    Verdict verdict = Verdict::Pass;
    // What was found, all of it: the findings joined, or the reason for a
    // pass, skip or interruption.
    std::string detail;
    // Every finding on its own, errors first (empty for verdicts that are
    // not made of findings).
    std::vector<Finding> findings;
    // Set by the reproducibility check when the output of fresh instances
    // differs, so that later checks cannot compare outputs.
    bool outputsDiffer = false;
    // Filled in by the runner: whether the check was cut short (crash, hang,
    // exception), the sub-step it was in then, the plug-in calls in progress
    // then, and the last lines the plug-in printed.
    bool interrupted = false;
    std::string step;
    std::string call{};
    std::vector<std::string> pluginOutput;

    static CheckOutcome with(Verdict verdict, std::string detail) {
        CheckOutcome outcome;
        outcome.verdict = verdict;
        outcome.detail = std::move(detail);
        return outcome;
    }
    static CheckOutcome pass(std::string detail = "") { return with(Verdict::Pass, std::move(detail)); }
    static CheckOutcome error(std::string detail) { return with(Verdict::Error, std::move(detail)); }
    static CheckOutcome warning(std::string detail) { return with(Verdict::Warning, std::move(detail)); }
    static CheckOutcome skip(std::string detail) { return with(Verdict::Skip, std::move(detail)); }
    static CheckOutcome notTested(std::string detail) { return with(Verdict::NotTested, std::move(detail)); }
    static CheckOutcome notComparable(std::string detail) { return with(Verdict::NotComparable, std::move(detail)); }
};

// Collects what went wrong during a check. The verdict is the worst severity
// found; it carries every finding, errors first.
class Findings {
public:
    void error(std::string finding, std::string cause = "");
    void warning(std::string finding, std::string cause = "");
    // Two outputs that should agree differ. When the same check found the
    // output itself faulty (an error with a cause), the difference follows
    // from that and is left out.
    void difference(std::string finding);
    // A comparison that was left out because outputs are not reproducible.
    void notCompared(std::string why);
    // Something the check could not judge (silence where sound was needed).
    void notTested(std::string why);
    bool empty() const { return errors_.empty() && differences_.empty() && warnings_.empty(); }
    bool hasErrors() const { return !errors_.empty() || !differences_.empty(); }
    CheckOutcome outcome(std::string passDetail = "") const;

private:
    std::vector<Finding> errors_;
    std::vector<std::string> differences_;
    std::vector<Finding> warnings_;
    std::string notComparedBecause_;
    std::string notTestedBecause_;
};

// How a run of checks judges: the tolerance of output comparisons, whether
// outputs can be compared at all, and the time each check has.
struct CheckSettings {
    double toleranceDb = -100.0;
    // Seeds every random choice a check makes (orders, values, block
    // sizes), so that a run can be repeated.
    unsigned seed = 1;
    float rate = 44100.0f;
    // Block sizes smaller than the announced one to compare against it;
    // empty: each check's own.
    std::vector<VstInt32> blockSizes;
    // How much longer soaks run, from 1 (the default strictness) up.
    int soakFactor = 1;
    int timeoutSeconds = 120;
    bool reproducible = true;
    std::string irreproducibleBecause;
};

// The plug-in under test. The library is loaded on first use, so a check
// that runs in a fresh process and does not ask for it sees it cold.
class CheckContext {
public:
    explicit CheckContext(std::string path, CheckSettings settings = {})
        : path_(std::move(path)), settings_(std::move(settings)) {}
    const std::string& path() const { return path_; }
    const CheckSettings& settings() const { return settings_; }
    const PluginModule& module();

    // A fresh instance opened the way a host opens one for playback,
    // switched on.
    // (A rate of 0: the run's.)
    std::unique_ptr<PluginInstance> playing(float sampleRate = 0.0f, VstInt32 blockSize = kBlock);

    // The sample rate the run checks at (see --rates).
    float rate() const { return settings_.rate; }

    // Names what the check does next, for the report when the plug-in
    // crashes or hangs in it.
    void step(const std::string& what) const;

    // Compares two outputs that should agree, within the run's tolerance;
    // a difference is an error named by `what`. Outputs that are not
    // reproducible are compared by their level per octave band; two silent
    // outputs tell nothing, which the findings remember.
    void expectSameOutput(Findings& findings, const AudioBuffer& expected, const AudioBuffer& actual,
                          const std::string& what) const;

    // Whether two outputs agree as expectSameOutput judges them.
    bool outputsAgree(const AudioBuffer& expected, const AudioBuffer& actual) const;

    // A share of the time this check may take, in seconds.
    double timeShare(double share) const;

    // How many of `wanted` repetitions fit the time a check may take when
    // one takes `secondsEach`; at least `minimum`.
    int affordableRepetitions(int wanted, double secondsEach, int minimum = 2) const;

    static constexpr float kRate = 44100.0f;
    static constexpr VstInt32 kBlock = 512;

private:
    std::string path_;
    CheckSettings settings_;
    std::unique_ptr<PluginModule> module_;
};

// Where a plug-in's output first carried an input marker, and how often.
struct MarkerSighting {
    std::size_t samples = 0;
    int channel = -1;
    VstInt32 blockSize = 0;
};

struct ProcessRun {
    // Frames the plug-in left unwritten are 0 here.
    AudioBuffer output;
    SignalStats stats;
    bool guardsIntact = true;
    bool inputUntouched = true;
    std::size_t framesProcessed = 0;  // fewer than the input's when stopped for time
    // Mutexes locked inside the process calls, and how many made it wait.
    long locks = 0;
    long waitedLocks = 0;
    // Output channels with frames left unwritten, and the block sizes in
    // which that happened.
    std::map<int, std::set<VstInt32>> unwritten;
    // Input from outside the block that came out in the output.
    MarkerSighting pastInput;
    MarkerSighting beforeInput;
};

// Block sizes for one run; called with the block number, returns the frame
// count of that block (0 allowed).
using BlockPlan = std::function<VstInt32(std::size_t block)>;
// Called between blocks with the block number about to be processed.
using BetweenBlocks = std::function<void(std::size_t block)>;

BlockPlan fixedBlocks(VstInt32 frames);

// Runs all of the stimulus through the instance (open, configured and
// switched on), feeding input channels to the plug-in's inputs in turn and
// its notes to the blocks they fall in. Checks that no write lands outside
// the block, that every output frame is written and that separate input
// buffers are left alone. With `secondsAtMost` above 0, stops between blocks
// once that time has passed (the statistics cover what was processed).
ProcessRun processAll(PluginInstance& instance, const Stimulus& stimulus, const BlockPlan& plan,
                      const BetweenBlocks& between = {}, double secondsAtMost = 0.0);
// The same through the double-precision path, in blocks of `frames`; the
// output is rounded to single precision for comparison.
ProcessRun processAllDouble(PluginInstance& instance, const Stimulus& stimulus, VstInt32 frames);

// Errors, named by `when`, for NaN or infinite output (or input read from
// outside the block, when its marker is what came out), output left
// unwritten and writes outside the block; a warning for a finite output
// that blew up.
void expectClean(Findings& findings, const ProcessRun& run, const std::string& when);

// The test input for checks: the first `seconds` of the embedded signal at
// `rate`, peaking at -6 dBFS, then `silenceSeconds` of silence, in which
// decaying filters show subnormal numbers.
AudioBuffer checkSignal(double rate, double seconds, double silenceSeconds = 0.0);

// A deterministic source of parameter values and block sizes.
class Random {
public:
    explicit Random(unsigned seed) : state_(seed == 0 ? 1u : seed) {}
    unsigned next();
    float unit() { return static_cast<float>(next() % 1000001u) / 1000000.0f; }
    int below(int limit) { return limit <= 0 ? 0 : static_cast<int>(next() % static_cast<unsigned>(limit)); }

private:
    unsigned state_;
};
