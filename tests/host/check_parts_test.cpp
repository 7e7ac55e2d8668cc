// The parts of `plughost check` that decide verdicts: comparing outputs
// within a tolerance, folding findings into one verdict, counting under
// --strict, choosing checks, scaling repetitions down, and (on Linux)
// running a check in a child process, whatever ends it.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "checks/check_report.h"
#include "checks/check_runner.h"
#include "checks/check_step.h"
#include "checks/check_table.h"
#include "checks/isolation.h"
#include "checks/output_comparison.h"
#include "checks/suppressions.h"
#include "checks/time_shift.h"
#include "opcodes.h"
#include "plugin/plugin_calls.h"
#include "support/child_process.h"
#include "support/process_endings.h"
#include "support/published_text.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

AudioBuffer oneChannel(std::vector<float> samples) {
    AudioBuffer buffer(1, samples.size(), 44100.0);
    buffer.channels[0] = std::move(samples);
    return buffer;
}

struct ComparisonCase {
    const char* what;
    std::vector<float> expected;
    std::vector<float> actual;
    bool agree;
    std::size_t firstFrame;  // of the first difference beyond the tolerance
};

const ComparisonCase kComparisons[] = {
    {"identical", {0.5f, -0.25f}, {0.5f, -0.25f}, true, 0},
    {"101 dB below the peak", {1.0f, 0.0f}, {1.0f, 8.9e-6f}, true, 0},
    {"99 dB below the peak", {1.0f, 0.0f}, {1.0f, 1.13e-5f}, false, 1},
    {"NaN against NaN", {1.0f, kNaN}, {1.0f, kNaN}, true, 0},
    {"NaN against a number", {1.0f, 0.0f, kNaN}, {1.0f, 0.0f, 0.0f}, false, 2},
    {"the same infinity", {kInfinity, 0.5f}, {kInfinity, 0.5f}, true, 0},
    {"opposite infinities", {0.5f, kInfinity}, {0.5f, -kInfinity}, false, 1},
    {"silence against silence", {0.0f, 0.0f}, {0.0f, -0.0f}, true, 0},
    {"silence against sound", {0.0f, 0.0f}, {0.0f, 1e-30f}, false, 1},
};

TEST(OutputComparison, AgreesWithinTheToleranceBelowThePeakAndNamesTheFirstDifference) {
    for (const ComparisonCase& entry : kComparisons) {
        const OutputComparison result = compareOutputs(oneChannel(entry.expected), oneChannel(entry.actual), -100.0);
        EXPECT_EQ(result.agree, entry.agree) << entry.what << ": " << result.describe();
        if (!entry.agree) {
            EXPECT_EQ(result.frame, entry.firstFrame) << entry.what;
        }
    }
}

TEST(OutputComparison, ReportsTheWorstDifferenceInDecibelsAndMismatchedShapes) {
    const OutputComparison result = compareOutputs(oneChannel({0.5f, 0.0f}), oneChannel({0.5f, 0.05f}), -100.0);
    EXPECT_NEAR(result.worstDb, -20.0, 0.01);
    EXPECT_NE(result.describe().find("-20.0 dB from the peak, first at channel 0 frame 1"), std::string::npos)
        << result.describe();
    const OutputComparison shapes = compareOutputs(oneChannel({0.5f}), oneChannel({0.5f, 0.5f}), -100.0);
    EXPECT_FALSE(shapes.agree);
    EXPECT_EQ(shapes.describe(), "differs in shape: 1 channels of 1 frames against 1 of 2");
}

// A decaying noise burst every 3000 frames: no two stretches alike.
AudioBuffer bursts(std::size_t frames) {
    AudioBuffer buffer(2, frames, 44100.0);
    unsigned state = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        state = state * 1103515245u + 12345u;
        const double noise = static_cast<double>(state >> 9) / static_cast<double>(1u << 23) - 1.0;
        const double envelope = std::exp(-static_cast<double>(i % 3000) / 400.0);
        buffer.channels[0][i] = buffer.channels[1][i] = static_cast<float>(0.5 * noise * envelope);
    }
    return buffer;
}

// `dry` plus `gain` times `source` delayed by `delay` frames.
AudioBuffer withEcho(const AudioBuffer& dry, const AudioBuffer& source, std::size_t delay, float gain) {
    AudioBuffer result = dry;
    for (std::size_t channel = 0; channel < 2; ++channel) {
        for (std::size_t i = delay; i < dry.frameCount(); ++i) {
            result.channels[channel][i] += gain * source.channels[channel][i - delay];
        }
    }
    return result;
}

// Noise seeded differently agrees by level per octave band; a level or a
// spectral envelope that differs does not, and is named by its band.
TEST(LevelComparison, RandomOutputsAgreeByBandLevelAndDifferencesNameTheirBand) {
    const auto noise = [](unsigned seed, double gain, bool smoothed) {
        Random random(seed);
        std::vector<float> samples(44100);
        float previous = 0.0f;
        for (float& sample : samples) {
            const float white = static_cast<float>(gain) * (random.unit() - 0.5f);
            sample = smoothed ? 0.5f * (white + previous) : white;
            previous = white;
        }
        return oneChannel(std::move(samples));
    };
    const struct {
        const char* what;
        AudioBuffer actual;
        bool agree;
        double differenceDb;  // within 0.5 dB, when they differ
        double lowHz;         // of the band named; below 0 when every band differs alike
    } kCases[] = {
        {"other noise of the same level", noise(7, 1.0, false), true, 0.0, 0.0},
        {"noise 6 dB quieter", noise(7, 0.5, false), false, -6.0, -1.0},
        {"noise with its top octave turned down", noise(7, 1.0, true), false, -4.6, 11025.0},
    };
    const AudioBuffer expected = noise(3, 1.0, false);
    for (const auto& entry : kCases) {
        const LevelComparison levels = compareLevels(expected, entry.actual);
        EXPECT_EQ(levels.agree, entry.agree) << entry.what << ": " << levels.describe();
        if (!entry.agree) {
            EXPECT_NEAR(levels.differenceDb, entry.differenceDb, 0.5) << entry.what << ": " << levels.describe();
            if (entry.lowHz >= 0.0) {
                EXPECT_EQ(levels.lowHz, entry.lowHz) << entry.what << ": " << levels.describe();
            }
        }
    }
    EXPECT_TRUE(compareLevels(oneChannel(std::vector<float>(100)), oneChannel(std::vector<float>(100))).silent);
}

TEST(TimeShift, FindsAWholeOrPartlyMovedOutputAndNothingInOtherDifferences) {
    const AudioBuffer dry = bursts(16000);
    const AudioBuffer silence(2, 16000, 44100.0);
    AudioBuffer louder = dry;
    for (float& sample : louder.channels[0]) {
        sample *= 1.5f;
    }
    const struct {
        const char* what;
        AudioBuffer expected;
        AudioBuffer actual;
        bool found;
        long frames;
        bool whole;
    } kCases[] = {
        {"the whole output 64 frames late", dry, withEcho(silence, dry, 64, 1.0f), true, 64, true},
        {"an echo 4031 frames early", withEcho(dry, dry, 4096, 0.5f), withEcho(dry, dry, 65, 0.5f), true, -4031, false},
        {"an echo 300 frames late", withEcho(dry, dry, 1000, 0.3f), withEcho(dry, dry, 1300, 0.3f), true, 300, false},
        {"one channel louder", dry, louder, false, 0, false},
        {"an echo added", dry, withEcho(dry, dry, 700, 0.5f), false, 0, false},
    };
    for (const auto& entry : kCases) {
        const TimeShift shift = findTimeShift(entry.expected, entry.actual, 8000, -60.0);
        EXPECT_EQ(shift.found, entry.found) << entry.what << ": " << shift.frames;
        EXPECT_EQ(shift.frames, entry.frames) << entry.what;
        EXPECT_EQ(shift.whole, entry.whole) << entry.what;
    }
}

PluginCall callOf(PluginCallKind kind, VstInt32 opcode, VstInt32 index, VstIntPtr value, float opt, VstInt32 frames,
                  VstInt32 previousFrames) {
    PluginCall call;
    call.kind = kind;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.opt = opt;
    call.frames = frames;
    call.previousFrames = previousFrames;
    return call;
}

TEST(PluginCalls, AreNamedAsTheirDeveloperLooksThemUp) {
    using Kind = PluginCallKind;
    const struct {
        PluginCall call;
        const char* name;
    } kCases[] = {
        {callOf(Kind::Dispatch, effSetBlockSize, 0, 1, 0.0f, 0, -1), "effSetBlockSize 1"},
        {callOf(Kind::Dispatch, effSetSampleRate, 0, 0, 22050.0f, 0, -1), "effSetSampleRate 22050"},
        {callOf(Kind::Dispatch, effGetParamDisplay, 7, 0, 0.0f, 0, -1), "effGetParamDisplay 7"},
        {callOf(Kind::Dispatch, effSetChunk, 0, 16, 0.0f, 0, -1), "effSetChunk of 16 bytes"},
        {callOf(Kind::Dispatch, 99, 3, -2, 0.0f, 0, -1), "opcode 99 (index 3, value -2)"},
        {callOf(Kind::ProcessReplacing, 0, 0, 0, 0.0f, 0, 64), "a 0-frame processReplacing after 64-frame calls"},
        {callOf(Kind::ProcessReplacing, 0, 0, 0, 0.0f, 512, 512), "a 512-frame processReplacing"},
        {callOf(Kind::ProcessDouble, 0, 0, 0, 0.0f, 7, -1), "a 7-frame processDoubleReplacing, the instance's first"},
        {callOf(Kind::SetParameter, 0, 2, 0, -0.53125f, 0, -1), "setParameter 2 to -0.531"},
        {callOf(Kind::Entry, 0, 0, 0, 0.0f, 0, -1), "the entry point"},
        {callOf(Kind::LoadLibrary, 0, 0, 0, 0.0f, 0, -1), "loading the library"},
        {callOf(Kind::UnloadLibrary, 0, 0, 0, 0.0f, 0, -1), "unloading the library"},
    };
    for (const auto& entry : kCases) {
        char text[512];
        describePluginCall(entry.call, text, sizeof text);
        EXPECT_STREQ(text, entry.name);
    }
    char cut[12];
    EXPECT_EQ(describePluginCall(kCases[3].call, cut, sizeof cut), 11u);
    EXPECT_STREQ(cut, "effSetChunk");
}

TEST(Findings, TheWorstSeverityDecidesAndTheTextReportShowsTheFirstFewOfAllFindings) {
    Findings findings;
    findings.notCompared("not reproducible");
    EXPECT_EQ(findings.outcome().verdict, Verdict::NotComparable);
    findings.notTested("silent");
    EXPECT_EQ(findings.outcome().verdict, Verdict::NotTested);
    findings.warning("w1");
    EXPECT_EQ(findings.outcome().verdict, Verdict::Warning);
    for (const char* error : {"e1", "e2", "e3", "e4"}) {
        findings.error(error);
    }
    const CheckOutcome outcome = findings.outcome();
    EXPECT_EQ(outcome.verdict, Verdict::Error);
    EXPECT_EQ(outcome.detail, "e1; e2; e3; e4; warnings: w1");
    ASSERT_EQ(outcome.findings.size(), 5u);
    EXPECT_EQ(outcome.findings[4].severity, Severity::Warning);
    EXPECT_EQ(textReport(CheckResult{"id", "name", outcome}),
              "FAIL  id  name: e1; e2; e3 (and 2 more; --json lists them all)\n");
}

TEST(Tally, UnderStrictAWarningFailsAndACheckThatRanUnselectedCountsOnlyWhenItFails) {
    Tally tally;
    for (Verdict verdict :
         {Verdict::Pass, Verdict::Warning, Verdict::Error, Verdict::Skip, Verdict::NotComparable, Verdict::NotTested}) {
        tally.add(CheckResult{"c", "check", CheckOutcome::with(verdict, "d")});
    }
    EXPECT_EQ(tally.summaryLine(), "1 passed, 1 failed, 1 warnings, 3 not tested");
    const CheckResult strictWarning{"texts", "long texts", CheckOutcome::warning("long"), true};
    tally.add(strictWarning);
    EXPECT_EQ(tally.summaryLine(), "1 passed, 2 failed, 1 warnings, 3 not tested");
    EXPECT_EQ(textReport(strictWarning), "FAIL  texts  long texts: warning (--strict): long\n");
    tally.add(CheckResult{"reproducible", "r", CheckOutcome::pass(), false, 0.0, false});
    tally.add(CheckResult{"reproducible", "r", CheckOutcome::notComparable("random"), false, 0.0, false});
    EXPECT_EQ(tally.summaryLine(), "1 passed, 2 failed, 1 warnings, 3 not tested");
    tally.add(CheckResult{"reproducible", "r", CheckOutcome::error("shared state"), false, 0.0, false});
    EXPECT_EQ(tally.summaryLine(), "1 passed, 3 failed, 1 warnings, 3 not tested");
}

CheckOutcome withFindings(std::vector<Finding> findings) {
    CheckOutcome outcome = CheckOutcome::error("e");
    outcome.findings = std::move(findings);
    return outcome;
}

// One fault that several checks fail counts once, at the first check that
// found it; a check with a finding of its own counts on its own.
TEST(RootFinding, ChecksFailedOnlyByAnEarlierFaultAreFoldedIntoItAndCountedOnce) {
    const Finding unwritten{Severity::Error, "a: output channel 1 not written", "output channel 1 not written"};
    const Finding nan{Severity::Error, "b: output held 3 NaN values", "NaN output"};
    const Finding own{Severity::Error, "in-place output differs"};
    const struct {
        const char* id;
        std::vector<Finding> findings;
        const char* sameFaultAs;
    } kRun[] = {
        {"first", {unwritten}, ""},    {"second", {unwritten, unwritten}, "first"},
        {"own", {unwritten, own}, ""}, {"both", {unwritten, nan}, ""},
        {"nan-again", {nan}, "both"},  {"mixed-again", {nan, unwritten}, "first"},
    };
    std::vector<CheckResult> results;
    Tally tally;
    for (const auto& check : kRun) {
        results.push_back(CheckResult{check.id, check.id, withFindings(check.findings)});
        foldIntoEarlierFault(results);
        tally.add(results.back());
        EXPECT_EQ(results.back().sameFaultAs, check.sameFaultAs) << check.id;
    }
    EXPECT_EQ(results[0].alsoSeenIn, (std::vector<std::string>{"second", "mixed-again"}));
    EXPECT_EQ(results[3].alsoSeenIn, (std::vector<std::string>{"nan-again"}));
    EXPECT_EQ(tally.summaryLine(), "0 passed, 3 failed, 0 warnings, 0 not tested");
    EXPECT_EQ(textReport(results[1]),
              "SAME  second  second: e; the fault first found (output channel 1 not written), counted there\n");
}

// A check cut short gets a finding with its call, and the cause a later
// check cut short in the same call shares.
TEST(RootFinding, ACrashIsAFindingWithTheCallItHappenedIn) {
    const struct {
        const char* detail;
        const char* call;
        const char* cause;
    } kCases[] = {
        {"the plug-in crashed (signal 11, SIGSEGV)", "effGetParamDisplay 0; effProcessEvents",
         "crash in effProcessEvents"},
        {"the plug-in crashed (signal 11, SIGSEGV)", "a 0-frame processReplacing after 64-frame calls",
         "crash in a 0-frame processReplacing"},
        {"did not finish within 4 s (stopped)", "", "hang in a call of the host's own"},
        {"writes past the end of output channel 1 in a 1-frame processReplacing", "", "writes outside the block"},
        {"an exception escaped", "effOpen", ""},
    };
    for (const auto& entry : kCases) {
        CheckOutcome outcome = CheckOutcome::error(entry.detail);
        outcome.interrupted = true;
        outcome.call = entry.call;
        addInterruptionFinding(outcome);
        ASSERT_EQ(outcome.findings.size(), 1u) << entry.detail;
        EXPECT_EQ(outcome.findings[0].text, entry.detail);
        EXPECT_EQ(outcome.findings[0].call, entry.call);
        EXPECT_EQ(outcome.findings[0].cause, entry.cause) << entry.detail;
    }
}

// Suppressions name a check, optionally words of the finding, and always a
// reason; a suppressed finding stays in the report with it.
TEST(Suppressions, AreReadFromTextOrJsonAndMarkTheFindingsTheyMatch) {
    const std::vector<Suppression> read = parseSuppressions(
        "# accepted for now\n"
        "\n"
        "texts-names long names are our house style\n"
        "numbers:subnormal the tail is handled by the host\n"
        "parameters-extremes:\"peaked at\" the gain law reaches far\n",
        "accepted.txt");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].check, "texts-names");
    EXPECT_EQ(read[0].finding, "");
    EXPECT_EQ(read[0].reason, "long names are our house style");
    EXPECT_EQ(read[1].finding, "subnormal");
    EXPECT_EQ(read[2].finding, "peaked at");
    EXPECT_EQ(read[2].reason, "the gain law reaches far");
    const std::vector<Suppression> json =
        parseSuppressions(R"([{"check": "numbers", "finding": "subnormal", "reason": "host handles it"}])", "a.json");
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0].reason, "host handles it");
    for (const char* mistake : {"texts-names\n", "no-such-check some reason\n", "numbers:\"unended reason\n",
                                R"([{"check": "numbers"}])", "[{"}) {
        EXPECT_THROW(parseSuppressions(mistake, "bad.txt"), SuppressionFileError) << mistake;
    }

    CheckOutcome numbers = CheckOutcome::warning("w");
    numbers.findings = {{Severity::Warning, "program 0: 12 subnormal output samples in the tail"},
                        {Severity::Warning, "program 1: 9 subnormal output samples in the tail"}};
    CheckResult all{"numbers", "numbers", numbers, true};
    applySuppressions(all, read);
    EXPECT_TRUE(all.suppressed);
    EXPECT_FALSE(all.failed()) << "a suppressed warning does not fail under --strict";
    EXPECT_EQ(all.outcome.findings[1].suppressedBecause, "the tail is handled by the host");
    numbers.verdict = Verdict::Error;
    numbers.findings.push_back({Severity::Error, "random parameter values: output held 3 NaN values"});
    CheckResult some{"numbers", "numbers", numbers};
    applySuppressions(some, read);
    EXPECT_FALSE(some.suppressed);
    EXPECT_TRUE(some.failed()) << "a finding no suppression matches still counts";
    Tally tally;
    tally.add(all);
    tally.add(some);
    EXPECT_EQ(tally.summaryLine(), "0 passed, 1 failed, 0 warnings, 0 not tested, 1 suppressed");
}

std::vector<std::string> idsOf(const std::vector<const CheckDefinition*>& checks) {
    std::vector<std::string> ids;
    for (const CheckDefinition* check : checks) {
        ids.push_back(check->id);
    }
    return ids;
}

TEST(CheckSelection, AnIdOrWholeNameNamesOneCheckAndTheFirstWordsOfIdsAGroup) {
    const struct {
        std::vector<std::string> only;
        std::vector<std::string> expected;
    } kCases[] = {
        {{"block-sizes"}, {"block-sizes"}},
        {{"BLOCK"}, {"block-sizes", "block-sizes-varying"}},
        {{"state restore through effGetChunk and effSetChunk"}, {"state-chunk"}},
        {{"thread", "midi"}, {"midi", "thread-parameters", "thread-rendering-order", "thread-second-instance"}},
    };
    for (const auto& entry : kCases) {
        EXPECT_EQ(idsOf(selectChecks(entry.only, {})), entry.expected) << entry.only.front();
    }
    const auto all = selectChecks({}, {});
    EXPECT_EQ(selectChecks({}, {"state"}).size(), all.size() - 3);
    // The group files' rows: each id and each place in the order once.
    std::set<std::string> ids;
    std::set<int> places;
    for (const CheckDefinition* check : allChecks()) {
        EXPECT_TRUE(ids.insert(check->id).second) << check->id << " twice";
        EXPECT_TRUE(places.insert(check->order).second) << check->id << " shares its place " << check->order;
    }
    EXPECT_EQ(all.front()->id, std::string("entry-point"));
    EXPECT_EQ(all.back()->id, std::string("thread-second-instance"));
    for (const char* mistake : {"chunk", "block-size", "blocks"}) {
        EXPECT_THROW(selectChecks({mistake}, {}), CheckSelectionError) << mistake;
        EXPECT_THROW(selectChecks({}, {mistake}), CheckSelectionError) << mistake;
    }
    // A selection that leaves nothing to run is a mistake too.
    EXPECT_THROW(selectChecks({"block-sizes"}, {"block-sizes"}), CheckSelectionError);
    EXPECT_THROW(selectChecks({"state-restore"}, {"state"}), CheckSelectionError);
}

TEST(Repetitions, ScaleDownToAQuarterOfTheTimeLimitAndNoFurtherThanTheMinimum) {
    CheckSettings settings;
    settings.timeoutSeconds = 120;
    const CheckContext context("unused", settings);
    EXPECT_EQ(context.affordableRepetitions(64, 0.01), 64);
    EXPECT_EQ(context.affordableRepetitions(64, 1.6), 6) << "10 s of a 120 s limit";
    EXPECT_EQ(context.affordableRepetitions(64, 30.0), 2);
    settings.timeoutSeconds = 20;
    EXPECT_EQ(CheckContext("unused", settings).affordableRepetitions(64, 0.4), 12) << "5 s of a 20 s limit";
}

// What ended a process, told by its cause, and the code a command ends
// with for it: the codes of the exit table in docs/plughost.md, those of
// the POSIX signals that mean the same for Windows exception codes.
TEST(ProcessEndings, AreToldByTheirCauseAndEndWithTheCodeOfTheExitTable) {
    const struct {
        Ending ending;
        const char* told;
        int exitCode;
    } kCases[] = {
#ifdef _WIN32
        {endingByExit(0xC0000005), "crashed (exception 0xC0000005, access violation)", 139},
        {endingByExit(0xC00000FD), "crashed (exception 0xC00000FD, stack overflow)", 139},
        {endingByExit(0xC0000094), "crashed (exception 0xC0000094, integer division by zero)", 136},
        {endingByExit(0xC0000091), "crashed (exception 0xC0000091, floating-point overflow)", 136},
        {endingByExit(0xC000001D), "crashed (exception 0xC000001D, illegal instruction)", 132},
        {endingByExit(0x80000003), "crashed (exception 0x80000003, breakpoint)", 133},
        {endingByExit(0xE06D7363), "let a C++ exception escape (exception 0xE06D7363, a Microsoft C++ exception)", 134},
        {endingByExit(0xC0001234), "crashed (exception 0xC0001234)", 134},
        {endingByExit(0xC000013A), "was stopped (exception 0xC000013A, Ctrl-C)", 130},
#else
        {endingBySignal(SIGSEGV), "crashed (signal 11, SIGSEGV)", 139},
        {endingBySignal(SIGFPE), "crashed (signal 8, SIGFPE)", 136},
        {endingBySignal(SIGABRT), "aborted (signal 6, SIGABRT)", 134},
        {endingBySignal(SIGKILL), "was stopped (signal 9, SIGKILL)", 137},
#endif
        {endingByExit(3), "ended the process (exit status 3)", 5},
    };
    for (const auto& entry : kCases) {
        char told[256];
        FixedText text(told, sizeof told);
        describeEnding(entry.ending, text);
        EXPECT_STREQ(told, entry.told);
        EXPECT_EQ(exitCodeFor(entry.ending), entry.exitCode) << entry.told;
    }
}

#ifndef _WIN32

// What a child says on its channel (here its standard output) and prints
// come apart, and how it ended whole; one that never ends is stopped at its
// deadline, one that closed its channel is still waited for, and one that
// ended while something it started holds its pipes open is not waited for
// beyond that.
TEST(ChildProcess, TellsWhatAChildSaidAndHowItEndedWithinItsTime) {
    const struct {
        const char* script;
        double seconds;
        const char* said;
        const char* printed;
        bool timedOut;
        bool signalled;
        int code;
    } kCases[] = {
        {"echo said; echo printed >&2; exit 3", 10.0, "said\n", "printed\n", false, false, 3},
        {"exec >&-; echo printed >&2; sleep 30", 1.0, "", "printed\n", true, true, SIGKILL},
        {"sleep 3 & echo said", 10.0, "said\n", "", false, false, 0},
        {"kill -TERM $$", 10.0, "", "", false, true, SIGTERM},
    };
    for (const auto& entry : kCases) {
        const auto start = std::chrono::steady_clock::now();
        std::string said;
        std::string printed;
        ChildProcess child = ChildProcess::run({"/bin/sh", "-c", entry.script});
        const ChildExit exit = child.finish(
            entry.seconds, [&said](const char* data, std::size_t size) { said.append(data, size); },
            [&printed](const char* data, std::size_t size) { printed.append(data, size); });
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(exit.started) << entry.script;
        EXPECT_EQ(said, entry.said) << entry.script;
        EXPECT_EQ(printed, entry.printed) << entry.script;
        EXPECT_EQ(exit.timedOut, entry.timedOut) << entry.script;
        EXPECT_EQ(exit.signalled, entry.signalled) << entry.script;
        EXPECT_EQ(exit.code, entry.code) << entry.script;
        EXPECT_LT(seconds, entry.seconds < 2.0 ? 2.0 : 1.5) << entry.script;
    }
}

// What a timer's signal handler reads while the text is published again and
// again, alternately two texts that no mix of the two could pass for.
PublishedText<4096> publishedStep;
std::string stepA(3000, 'a');
std::string stepB(1000, 'b');
volatile std::sig_atomic_t reads = 0;
volatile std::sig_atomic_t torn = 0;

extern "C" void readPublishedStep(int) {
    const char* text = publishedStep.read();
    torn = torn + (text[0] != '\0' && stepA != text && stepB != text ? 1 : 0);
    reads = reads + 1;
}

TEST(PublishedText, AHandlerThatInterruptsAPublishReadsItEmptyOrWhole) {
    struct sigaction action {};
    action.sa_handler = readPublishedStep;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGALRM, &action, &previous);
    const itimerval often{{0, 50}, {0, 50}};
    setitimer(ITIMER_REAL, &often, nullptr);
    for (long i = 0; i < 200000 && reads < 2000; ++i) {
        const std::string& step = i % 2 == 0 ? stepA : stepB;
        publishedStep.publish(step.data(), step.size());
    }
    const itimerval never{};
    setitimer(ITIMER_REAL, &never, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    EXPECT_GE(reads, 100) << "the timer hardly interrupted the publishing";
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

TEST(Isolation, ACrashBecomesAnErrorWithItsCallItsStepAndThePluginsLastLinesWithoutColours) {
    const CheckOutcome outcome = runIsolated({[] {
                                                  PluginCall call;
                                                  call.opcode = effSetBlockSize;
                                                  call.value = 1;
                                                  const PluginCallScope calling(call);
                                                  for (int i = 0; i < 5; ++i) {
                                                      std::fprintf(stderr, "same line\n");
                                                  }
                                                  std::printf("\x1b[1;31mlast\x1b[0m words\n");
                                                  std::fflush(stdout);
                                                  announceStep("44100 Hz, blocks of 17");
                                                  // As glibc ends a process whose heap is corrupt; sanitizer
                                                  // runtimes leave this signal alone.
                                                  std::raise(SIGABRT);
                                                  return CheckOutcome::pass();
                                              },
                                              {}},
                                             10, false);
    EXPECT_EQ(outcome.verdict, Verdict::Error);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(outcome.detail, "the plug-in aborted (signal 6, SIGABRT)");
    EXPECT_EQ(outcome.step, "44100 Hz, blocks of 17");
    EXPECT_EQ(outcome.call, "effSetBlockSize 1");
    EXPECT_EQ(outcome.pluginOutput, (std::vector<std::string>{"same line (5 times)", "last words"}));
}

TEST(Isolation, AHangIsStoppedAndAVerdictComesBackWhole) {
    const CheckOutcome hang = runIsolated({[] {
                                               announceStep("waiting for ever");
                                               for (volatile bool forever = true; forever;) {
                                               }
                                               return CheckOutcome::pass();
                                           },
                                           {}},
                                          1, false);
    EXPECT_EQ(hang.detail, "did not finish within 1 s (stopped)");
    EXPECT_EQ(hang.step, "waiting for ever");
    const CheckOutcome verdict = runIsolated({[] { return CheckOutcome::notComparable("a\nb"); }, {}}, 10, false);
    EXPECT_EQ(verdict.verdict, Verdict::NotComparable);
    EXPECT_EQ(verdict.detail, "a b");
    EXPECT_FALSE(verdict.interrupted);
}

void throwOutOfAPluginCall() {
    PluginCall call;
    call.kind = PluginCallKind::SetParameter;
    call.index = 2;
    call.opt = 1.0f;
    callPlugin(call, [] { throw std::runtime_error("boom"); });
}

// A crash is named by its signal, the rest as they happen: an exit the
// plug-in calls, an exception it lets out of a call (which a check can
// still report whole) or one that nothing catches.
TEST(Isolation, EveryWayTheWorkEndsIsNamedWithTheCallItWasIn) {
    const struct {
        const char* what;
        CheckOutcome (*work)();
        const char* detail;
        const char* call;
    } kCases[] = {
        {"a crash",
         [] {
             const PluginCallScope calling(callOf(PluginCallKind::Dispatch, effOpen, 0, 0, 0.0f, 0, -1));
             std::raise(SIGSEGV);
             return CheckOutcome::pass();
         },
         "the plug-in crashed (signal 11, SIGSEGV)", "effOpen"},
        {"exit(3)",
         [] {
             const PluginCallScope calling(callOf(PluginCallKind::Dispatch, effClose, 0, 0, 0.0f, 0, -1));
             std::exit(3);
             return CheckOutcome::pass();
         },
         "the plug-in ended the process (exit status 3)", "effClose"},
        {"an exception out of a call",
         [] {
             throwOutOfAPluginCall();
             return CheckOutcome::pass();
         },
         "the plug-in let a C++ exception escape (std::runtime_error: boom)", "setParameter 2 to 1.000"},
        {"an exception nothing catches",
         [] {
             const PluginCallScope calling(callOf(PluginCallKind::ProcessReplacing, 0, 0, 0, 0.0f, 64, -1));
             try {
                 throw std::length_error("too long");
             } catch (...) {
                 std::terminate();
             }
             return CheckOutcome::pass();
         },
         "the plug-in let a C++ exception escape (std::length_error: too long)",
         "a 64-frame processReplacing, the instance's first"},
    };
    for (const auto& entry : kCases) {
        const CheckOutcome outcome = runIsolated({entry.work, {}}, 10, false);
        EXPECT_EQ(outcome.verdict, Verdict::Error) << entry.what;
        EXPECT_EQ(outcome.detail, entry.detail) << entry.what;
        EXPECT_EQ(outcome.call, entry.call) << entry.what;
    }
}

#endif

}  // namespace
