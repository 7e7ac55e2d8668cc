// `plughost check` against plug-ins with one deliberate fault each: every
// fault is reported by the check that should find it, with the call and
// step it was in, and the clean plug-ins (an effect, an instrument, a reverb
// whose level glides up, a random one, a slow one) pass.
//
// Each distinct command runs once, all of them side by side at the start,
// and the cases read what they printed.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#ifdef KD_HAVE_EXPAT
#include <expat.h>
#endif

#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "run_command.h"

// How a segmentation fault is named on this system.
#ifdef _WIN32
#define KD_SEGV_NAME "exception 0xC0000005, access violation"
#else
#define KD_SEGV_NAME "signal 11, SIGSEGV"
#endif

namespace {

constexpr int kTimeLimitSeconds = 300;
// Sanitizer builds own the allocator: their plughost cannot count
// allocations and skips that check.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCountsAllocations = false;
#else
constexpr bool kCountsAllocations = true;
#endif
// Commands running at once: the checks mostly wait (for child processes,
// for settling time), so more than the cores.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kSideBySide = 4;
#else
constexpr std::size_t kSideBySide = 8;
#endif

struct Command {
    std::string variant;
    std::vector<std::string> options;

    bool operator<(const Command& other) const {
        return std::tie(variant, options) < std::tie(other.variant, other.options);
    }
};

const Command kJsonCrash{"midi_crash", {"--json", "--only", "midi", "--only", "texts-names"}};
const Command kInsideTheHost{"chunk_crash", {"--no-fork", "--only", "state-chunk"}};
const Command kInsideTheHostJson{"chunk_crash", {"--no-fork", "--json", "--only", "state-chunk"}};
const Command kUnwritten{"unwritten_channel", {"--only", "rates-and-sizes"}};
const Command kUnwrittenJson{"unwritten_channel", {"--json", "--only", "rates-and-sizes"}};
const std::string kJunitPath = std::string(KD_CHECK_PLUGIN_DIR) + "/unwritten_channel.junit.xml";
const Command kJunit{"unwritten_channel", {"--strictness", "1", "--seed", "7", "--junit", kJunitPath}};

struct Expectation {
    Command command;
    int exitCode;
    const char* report;  // a regular expression the text report must contain
};

// A sanitizer build catches a crash itself and ends the check process with
// its own exit status; both ways of dying read "the plug-in crashed". It
// cannot count allocations either.
void PrintTo(const Expectation& expectation, std::ostream* out) {
    *out << expectation.command.variant;
    for (const std::string& option : expectation.command.options) {
        *out << " " << option;
    }
}

const Expectation kExpectations[] = {
    {{"infinite_at_one", {"--only", "parameters-extremes"}},
     1,
     "\nFAIL  parameters-extremes  [^\n]*: [^\n]*parameter 0 at 1: output held [0-9]+ infinite"},
    {{"silent_past_256", {"--only", "block-sizes"}},
     1,
     "\nFAIL  block-sizes  [^\n]*: output in blocks of 1, 6, 7, 13, 64, 65 and 100 \\(which agree with each other\\), "
     "against blocks of the announced 4096 after 1 s of silence, in blocks of 1 differs by up to [-0-9.]+ dB"},
    {{"chunk_crash", {"--only", "state-chunk"}},
     1,
     "\nFAIL  state-chunk  [^\n]*: the plug-in crashed[^\n]*\n +in: effSetChunk of 16 bytes\n +during: effSetChunk "
     "with the 16-byte chunk on a fresh instance\n"},
    {{"broken_double", {"--only", "double-precision"}},
     1,
     "\nFAIL  double-precision  [^\n]*: double-precision output, against single precision, differs by up to -[0-9.]+ "
     "dB"},
    {{"midi_crash", {"--only", "midi"}},
     1,
     "\nFAIL  midi  [^\n]*: the plug-in crashed[^\n]*\n +in: effProcessEvents\n +during: block 0 [^\n]* with note on "
     "60 100 on channel 1 at frame 0"},
    {{"infinite", {"--only", "numbers"}}, 1, "\nFAIL  numbers  [^\n]*: program 0: output held [0-9]+ infinite values"},
    {{"overrun", {"--only", "buffer-bounds", "--only", "block-sizes-varying"}},
     1,
     "\nFAIL  block-sizes-varying  [^\n]*: sizes up to the announced 1024: the plug-in wrote outside the block"},
    // The protected page tells the channel and the call; the fault counts
    // once, where it was found first.
    {{"overrun", {"--only", "buffer-bounds", "--only", "block-sizes-varying"}},
     1,
     "\nSAME  buffer-bounds  [^\n]*: writes past the end of output channel 1 in a 1-frame processReplacing, the "
     "instance's first; the fault block-sizes-varying found \\(writes outside the block\\), counted there\n"
     "block-sizes-varying: the same fault also seen in: buffer-bounds\n0 passed, 1 failed, 0 warnings, 0 not "
     "tested\n"},
    // Inside the host, the write past the block ends the run after the
    // verdict and the summary.
    {{"overrun", {"--no-fork", "--only", "buffer-bounds"}},
     1,
     "\nFAIL  buffer-bounds  [^\n]*: writes past the end of output channel 1 in a 1-frame processReplacing, the "
     "instance's first\n[^\n]*\n[^\n]*\n0 passed, 1 failed, 0 warnings, 0 not tested\n$"},
    {kUnwritten, 1,
     "\nFAIL  rates-and-sizes  [^\n]*: 22050 Hz, blocks of 1: output channel 1 not written in blocks of 1;"},
    {{"reads_past_input", {"--only", "block-sizes-varying"}},
     1,
     "\nFAIL  block-sizes-varying  [^\n]*: sizes up to the announced 1024: reads input past the block end \\(its "
     "marker came out in output channel 0 in blocks of 32, "},
    {{"peeks_past_input", {"--only", "buffer-bounds", "--only", "block-sizes-varying"}},
     1,
     "\nPASS  block-sizes-varying [^\n]*\nFAIL  buffer-bounds  [^\n]*: reads past the end of input channel 0 in a "
     "1-frame processReplacing, the instance's first\n"},
    {{"echo_per_block", {"--only", "block-sizes"}},
     1,
     "\nFAIL  block-sizes  [^\n]*: part of the output 3996 frames early in blocks of 1; part of the output 3994 "
     "frames early in blocks of 6;"},
    {{"dry_below_announced", {"--only", "block-sizes"}},
     1,
     "\nFAIL  block-sizes  [^\n]*: output in blocks of 1, 6, 7, 13, 64, 65, 100, 512 and 1000 \\(which agree with "
     "each other\\), against blocks of the announced 4096 after 1 s of silence, in blocks of 1 differs by up to"},
    {{"notes_at_block_start", {"--only", "block-sizes"}},
     1,
     "\nFAIL  block-sizes  [^\n]*: notes start at the block's start, not at their offset \\(3140 frames early: a note "
     "at offset 3140 of a block of the announced 4096 sounds from the block's first frame; the same in blocks of 1, "
     "6, 7, 13, 64, 65, 100, 512 and 1000\\)\n"},
    // Parameters written back in another order than they were set give
    // another sound.
    {{"mix_resets_gain", {"--only", "state-restore"}},
     1,
     "\nFAIL  state-restore  [^\n]*: the sound depends on the order in which parameters are written back: index "
     "order gives the original's sound, reverse order does not;"},
    {{"mix_resets_gain", {}}, 1, "\nFAIL  state-restore  [^\n]*\n[\\s\\S]*\n[0-9]+ passed, 1 failed, 0 warnings"},
    {{"shared_state", {"--only", "reproducible", "--only", "block-sizes"}},
     1,
     "\nFAIL  reproducible  [^\n]*: instances share state: a second instance in one process differs from the first "
     "\\([^\n]*\\), while the first instances of two separate processes agree[^\n]*\nPASS  block-sizes  [^\n]*\n"},
    {{"blow_up", {"--only", "parameters-extremes"}},
     0,
     "\nWARN  parameters-extremes  [^\n]*: [^\n]*parameter 0 at 1: the output peaked at \\+3[0-9][0-9]\\.[0-9] dBFS "
     "for a "
     "signal peaking at -6 dBFS"},
    {{"zero_frame_crash", {"--only", "rates-and-sizes"}},
     1,
     "\nFAIL  rates-and-sizes  [^\n]*: the plug-in crashed[^\n]*\n +in: a 0-frame processReplacing after 64-frame "
     "calls\n +during: 22050 Hz, blocks of 0\n"},
    {{"allocates_after_change", {"--only", "realtime"}},
     kCountsAllocations ? 1 : 0,
     "\nFAIL  realtime  [^\n]*: [0-9]+ allocations in [0-9]+ process calls right after a parameter change\n|\nSKIP  "
     "realtime  "},
    {{"slow", {"--timeout", "4", "--only", "open-many"}}, 0, "\nPASS  open-many  [^\n]* \\([0-9]+ instances, not 64: "},
    {{"long_texts", {"--only", "texts"}},
     0,
     "\nWARN  texts-names  [^\n]*: parameter 0 name \"Output Gain Amount\" has 18 characters, over the conventional "
     "8"},
    {{"long_texts", {"--only", "texts", "--strict"}}, 1, "\nFAIL  texts-displays  [^\n]*: warning \\(--strict\\): "},
    // Checked whole, each fault counts once, at the check that found it
    // first; the others it failed name it.
    {{"unwritten_channel", {}},
     1,
     "\nFAIL  open-cold  [^\n]*output channel 1 not written[\\s\\S]*\nSAME  in-place  [^\n]*separate buffers: output "
     "channel 1 not written[\\s\\S]*\nopen-cold: the same fault also seen in: open-warm, [^\n]*\n"
     "[0-9]+ passed, 1 failed, 0 warnings, [0-9]+ not tested\n$"},
    {{"overrun", {}},
     1,
     "\nFAIL  open-cold  [^\n]*wrote outside the block[\\s\\S]*\n[0-9]+ passed, 1 failed, 0 warnings"},
    {{"reads_past_input", {}},
     1,
     "\nFAIL  open-cold  [^\n]*reads input past the block end[\\s\\S]*\n[0-9]+ passed, 1 failed, 0 warnings"},
    {{"infinite", {}}, 1, "\nFAIL  open-cold  [^\n]*infinite values[\\s\\S]*\n[0-9]+ passed, 1 failed, 0 warnings"},
    {{"midi_crash", {}},
     1,
     "\nFAIL  reproducible  [^\n]*crashed[\\s\\S]*\nreproducible: the same fault also seen in: "
     "[^\n]*midi[^\n]*\n[0-9]+ "
     "passed, 1 failed, 0 warnings"},
    {{"zero_frame_crash", {}},
     1,
     "\nrates-and-sizes: the same fault also seen in: block-sizes-varying[^\n]*\n[0-9]+ passed, 1 failed, 0 "
     "warnings"},
    {{"blow_up", {}},
     0,
     "\nSAME  parameters-random  [^\n]*the fault parameters-extremes found \\(output blew up\\)[\\s\\S]*\n[0-9]+ "
     "passed, 0 "
     "failed, 1 warnings"},
    // Suppressed findings are shown with their reason and do not fail.
    {{"blow_up", {"--suppress", KD_CHECK_SUPPRESSIONS, "--only", "parameters"}},
     0,
     "\nSUPP  parameters-extremes  [^\n]*:\n +every parameter at 1: the output peaked at [^\n]* \\(suppressed: the "
     "gain law is meant to reach far\\)\n[\\s\\S]*\n0 passed, 0 failed, 0 warnings, 0 not tested, 2 suppressed\n$"},
    {{"clean", {"--timeout-total", "1"}},
     1,
     "\nFAIL  time-total  overall time limit: --timeout-total 1 s ran out before [0-9]+ checks: "},
};

// The clean plug-ins, checked whole: each check's verdict, by id, where it
// is not "passed".
struct CleanRun {
    Command command;
    std::map<std::string, std::string> notPassed;
};

const CleanRun kCleanRuns[] = {
    {{"clean", {"--strict", "--json"}}, {}},
    {{"instrument", {"--strict", "--json"}}, {{"double-precision", "skipped"}, {"state-chunk", "skipped"}}},
    {{"glide", {"--strict", "--json"}}, {{"double-precision", "skipped"}}},
    // Its output is random: compared by level per octave band instead.
    {{"random", {"--json"}}, {}},
};

// Every faulty plug-in checked whole at the quickest strictness: one
// counted failure (or warning), the check that found its fault first; every
// other check it failed names that one.
struct RootRun {
    const char* variant;
    const char* root;
    const char* verdict;
};

const RootRun kRootRuns[] = {
    {"allocates_after_change", "realtime", "error"},
    {"blow_up", "parameters-extremes", "warning"},
    {"broken_double", "double-precision", "error"},
    {"chunk_crash", "state-chunk", "error"},
    {"dry_below_announced", "block-sizes", "error"},
    {"echo_per_block", "block-sizes", "error"},
    {"infinite", "open-cold", "error"},
    {"infinite_at_one", "parameters-extremes", "error"},
    {"midi_crash", "reproducible", "error"},
    {"mix_resets_gain", "state-restore", "error"},
    {"notes_at_block_start", "block-sizes", "error"},
    {"overrun", "open-cold", "error"},
    {"peeks_past_input", "buffer-bounds", "error"},
    {"reads_past_input", "open-cold", "error"},
    {"shared_state", "reproducible", "error"},
    {"silent_past_256", "block-sizes", "error"},
    {"unwritten_channel", "open-cold", "error"},
    {"zero_frame_crash", "rates-and-sizes", "error"},
};

Command quickest(const RootRun& run) {
    return {run.variant, {"--strictness", "1", "--json"}};
}

std::string pluginPath(const std::string& variant) {
    return std::string(KD_CHECK_PLUGIN_DIR) + "/check_plugin_" + variant + KD_LIBRARY_SUFFIX;
}

// Options first, as users tend to type them: an option that takes a value
// must not swallow the plug-in after it.
CommandResult check(const Command& command) {
    std::vector<std::string> words{KD_PLUGHOST, "check"};
    words.insert(words.end(), command.options.begin(), command.options.end());
    words.push_back(pluginPath(command.variant));
    return runCommand(words, kTimeLimitSeconds);
}

// Every command of this file, run once, side by side.
const CommandResult& resultOf(const Command& command) {
    static const std::map<Command, CommandResult> results = [] {
        std::set<Command> commands{kJsonCrash, kInsideTheHost, kInsideTheHostJson, kUnwrittenJson, kJunit};
        for (const RootRun& run : kRootRuns) {
            commands.insert(quickest(run));
        }
        for (const Expectation& expectation : kExpectations) {
            commands.insert(expectation.command);
        }
        for (const CleanRun& run : kCleanRuns) {
            commands.insert(run.command);
        }
        std::vector<Command> queue(commands.begin(), commands.end());
        std::map<Command, CommandResult> done;
        std::mutex guard;
        std::size_t next = 0;
        auto worker = [&] {
            for (;;) {
                Command command;
                {
                    std::lock_guard<std::mutex> lock(guard);
                    if (next == queue.size()) {
                        return;
                    }
                    command = queue[next++];
                }
                CommandResult result = check(command);
                std::lock_guard<std::mutex> lock(guard);
                done[command] = std::move(result);
            }
        };
        std::vector<std::future<void>> workers;
        for (std::size_t i = 0; i < kSideBySide; ++i) {
            workers.push_back(std::async(std::launch::async, worker));
        }
        for (auto& running : workers) {
            running.get();
        }
        return done;
    }();
    return results.at(command);
}

std::string describe(const Command& command) {
    std::string text = command.variant;
    for (const std::string& option : command.options) {
        text += " " + option;
    }
    return text;
}

class CheckPlugin : public ::testing::TestWithParam<Expectation> {};

TEST_P(CheckPlugin, ReportsTheFindingItShould) {
    const Expectation& expected = GetParam();
    const CommandResult& run = resultOf(expected.command);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_EQ(run.exitCode, expected.exitCode) << describe(expected.command) << "\n" << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex(expected.report)))
        << describe(expected.command) << ": expected /" << expected.report << "/ in:\n"
        << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\n[0-9]+ passed, [0-9]+ failed, [0-9]+ warnings"))) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "colour codes passed on:\n" << run.out;
}

std::string nameOf(const ::testing::TestParamInfo<Expectation>& info) {
    return info.param.command.variant + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Variants, CheckPlugin, ::testing::ValuesIn(kExpectations), nameOf);

class FaultyPlugin : public ::testing::TestWithParam<RootRun> {};

TEST_P(FaultyPlugin, FailsWithExactlyItsOwnRootFinding) {
    const RootRun& expected = GetParam();
    const CommandResult& run = resultOf(quickest(expected));
    const nlohmann::json report = nlohmann::json::parse(run.out);
    std::vector<std::string> counted;
    for (const nlohmann::json& check : report.at("checks")) {
        const std::string verdict = check.at("verdict");
        const bool uncountable = check.at("id") == "realtime" && verdict == "skipped";
        if (verdict == "passed" || uncountable || verdict == "skipped" || verdict == "not tested") {
            continue;
        }
        if (check.contains("same_fault_as")) {
            EXPECT_EQ(check.at("same_fault_as"), expected.root) << check.dump();
            continue;
        }
        counted.push_back(check.at("id").get<std::string>() + " " + verdict);
    }
    if (std::string(expected.root) == "realtime" && !kCountsAllocations) {
        EXPECT_TRUE(counted.empty()) << run.out;
        return;
    }
    EXPECT_EQ(counted, std::vector<std::string>{std::string(expected.root) + " " + expected.verdict}) << run.out;
    EXPECT_EQ(report.at("settings").at("strictness"), 1);
}

INSTANTIATE_TEST_SUITE_P(Variants, FaultyPlugin, ::testing::ValuesIn(kRootRuns),
                         [](const ::testing::TestParamInfo<RootRun>& info) { return info.param.variant; });

class CleanPlugin : public ::testing::TestWithParam<CleanRun> {};

TEST_P(CleanPlugin, PassesEveryCheckThatApplies) {
    const CleanRun& expected = GetParam();
    const CommandResult& run = resultOf(expected.command);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    std::map<std::string, std::string> notPassed;
    for (const nlohmann::json& check : report.at("checks")) {
        const std::string verdict = check.at("verdict");
        // Sanitizer builds cannot count allocations or locks.
        const bool uncountable = check.at("id") == "realtime" && verdict == "skipped";
        if (verdict != "passed" && !uncountable) {
            notPassed[check.at("id")] = verdict;
        }
    }
    EXPECT_EQ(notPassed, expected.notPassed) << run.out;
    EXPECT_EQ(report.at("exit_code"), 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, CleanPlugin, ::testing::ValuesIn(kCleanRuns),
                         [](const ::testing::TestParamInfo<CleanRun>& info) { return info.param.command.variant; });

// Every key of a JSON document and of the objects within it.
void collectKeys(const nlohmann::json& value, std::vector<std::string>& keys) {
    if (value.is_object()) {
        for (const auto& [key, inner] : value.items()) {
            keys.push_back(key);
            collectKeys(inner, keys);
        }
    } else if (value.is_array()) {
        for (const nlohmann::json& inner : value) {
            collectKeys(inner, keys);
        }
    }
}

TEST(CheckReport, JsonNamesTheCrashedCheckItsCallItsStepAndTheTotals) {
    const CommandResult& run = resultOf(kJsonCrash);
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    const nlohmann::json& checks = report.at("checks");
    ASSERT_EQ(checks.size(), 3u) << report.dump(2);  // the entry point comes along
    EXPECT_EQ(checks[0].at("counted"), false);
    const nlohmann::json& midi = checks[2];
    EXPECT_EQ(midi.at("id"), "midi");
    EXPECT_EQ(midi.at("verdict"), "error");
    EXPECT_EQ(midi.at("call"), "effProcessEvents");
    EXPECT_NE(midi.at("step").get<std::string>().find("note on 60"), std::string::npos) << midi.dump();
    EXPECT_FALSE(midi.at("plugin_output").empty()) << midi.dump();
    EXPECT_EQ(report.at("summary").at("line"), "1 passed, 1 failed, 0 warnings, 0 not tested") << report.dump(2);
    // The crash is a finding with its call; whether outputs are reproducible
    // was not tried.
    ASSERT_EQ(midi.at("findings").size(), 1u) << midi.dump();
    EXPECT_EQ(midi.at("findings")[0].at("call"), "effProcessEvents");
    EXPECT_EQ(midi.at("findings")[0].at("cause"), "crash in effProcessEvents");
    EXPECT_TRUE(report.at("reproducible").is_null()) << report.dump(2);
    EXPECT_EQ(report.at("exit_code"), 1);
    // Its keys are written as render's and analyze's are.
    std::vector<std::string> keys;
    collectKeys(report, keys);
    EXPECT_GT(keys.size(), 20u);
    for (const std::string& key : keys) {
        EXPECT_TRUE(std::regex_match(key, std::regex("[a-z0-9_]+"))) << "key " << key << " is not snake_case";
    }
}

TEST(CheckReport, TheTextShowsTheFirstFindingsAndTheJsonCarriesEveryOne) {
    EXPECT_NE(resultOf(kUnwritten).out.find("(and 46 more; --json lists them all)"), std::string::npos)
        << resultOf(kUnwritten).out;
    const CommandResult& run = resultOf(kUnwrittenJson);
    const nlohmann::json report = nlohmann::json::parse(run.out);
    const nlohmann::json& findings = report.at("checks").back().at("findings");
    // 7 rates and 7 block sizes, each with the unwritten channel.
    ASSERT_EQ(findings.size(), 49u) << run.out;
    EXPECT_EQ(findings.back().at("text"), "192000 Hz, blocks of 0: output channel 1 not written in blocks of 64");
    EXPECT_EQ(findings.back().at("severity"), "error");
}

TEST(CheckReport, InsideTheHostACrashStillEndsWithItsVerdictTheCallAndTheSummary) {
    const CommandResult& run = resultOf(kInsideTheHost);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(std::regex_search(
        run.out,
        std::regex("\nFAIL  state-chunk  state restore through effGetChunk and effSetChunk: the plug-in "
                   "crashed \\(" KD_SEGV_NAME "\\)\n +in: effSetChunk of 16 bytes\n +during: "
                   "effSetChunk with the 16-byte chunk[^\n]*\n0 passed, 1 failed, 0 warnings, 0 not tested\n$")))
        << run.out;
    // The same words as one whole JSON document.
    const CommandResult json = resultOf(kInsideTheHostJson);
    EXPECT_EQ(json.exitCode, 1) << json.out << json.err;
    const nlohmann::json report = nlohmann::json::parse(json.out);
    const nlohmann::json& crashed = report.at("checks").back();
    EXPECT_EQ(crashed.at("id"), "state-chunk");
    EXPECT_EQ(crashed.at("detail"), "the plug-in crashed (" KD_SEGV_NAME ")");
    EXPECT_EQ(crashed.at("call"), "effSetChunk of 16 bytes");
    EXPECT_EQ(report.at("summary").at("line"), "0 passed, 1 failed, 0 warnings, 0 not tested");
    EXPECT_EQ(report.at("exit_code"), 1);
}

#ifdef KD_HAVE_EXPAT
// What a CI system reads from a JUnit file: the suite's counts and
// properties, and each test case with its failure or skip.
struct JunitCase {
    std::string classname;
    std::string name;
    std::string failureType;  // empty: no failure
    std::string failureText;
    bool skipped = false;
};
struct JunitSuite {
    std::map<std::string, std::string> attributes;
    std::map<std::string, std::string> properties;
    std::vector<JunitCase> cases;
    int suites = 0;
};

JunitSuite readJunit(const std::string& path, std::string& problem) {
    JunitSuite suite;
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    struct State {
        JunitSuite* suite;
        bool inFailure = false;
    } state{&suite};
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* element, const XML_Char** attributes) {
            auto& state = *static_cast<State*>(data);
            std::map<std::string, std::string> values;
            for (int i = 0; attributes[i] != nullptr; i += 2) {
                values[attributes[i]] = attributes[i + 1];
            }
            const std::string name = element;
            if (name == "testsuite") {
                ++state.suite->suites;
                state.suite->attributes = values;
            } else if (name == "property") {
                state.suite->properties[values["name"]] = values["value"];
            } else if (name == "testcase") {
                state.suite->cases.push_back({values["classname"], values["name"], "", "", false});
            } else if (name == "failure" && !state.suite->cases.empty()) {
                state.suite->cases.back().failureType = values["type"];
                state.inFailure = true;
            } else if (name == "skipped" && !state.suite->cases.empty()) {
                state.suite->cases.back().skipped = true;
            }
        },
        [](void* data, const XML_Char* element) {
            if (std::string(element) == "failure") {
                static_cast<State*>(data)->inFailure = false;
            }
        });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* characters, int length) {
        auto& state = *static_cast<State*>(data);
        if (state.inFailure) {
            state.suite->cases.back().failureText.append(characters, static_cast<std::size_t>(length));
        }
    });
    if (XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR) {
        problem = XML_ErrorString(XML_GetErrorCode(parser));
    }
    XML_ParserFree(parser);
    return suite;
}

TEST(CheckReport, JunitHasACaseForEveryCheckAndTheRootFindingAsItsFailure) {
    const CommandResult& run = resultOf(kJunit);
    ASSERT_EQ(run.exitCode, 1) << run.out;
    std::string problem;
    const JunitSuite suite = readJunit(kJunitPath, problem);
    ASSERT_EQ(problem, "") << kJunitPath;
    EXPECT_EQ(suite.suites, 1);
    EXPECT_EQ(suite.properties.at("seed"), "7");
    EXPECT_EQ(suite.properties.at("strictness"), "1");
    // Sanitizer builds cannot count allocations: realtime is not tested there.
    EXPECT_EQ(suite.properties.at("summary"), kCountsAllocations ? "6 passed, 1 failed, 0 warnings, 1 not tested"
                                                                 : "5 passed, 1 failed, 0 warnings, 2 not tested");
    std::map<std::string, const JunitCase*> byName;
    int failures = 0;
    for (const JunitCase& testCase : suite.cases) {
        byName[testCase.name] = &testCase;
        EXPECT_EQ(testCase.classname, "plughost.check.44100");
        failures += testCase.failureType.empty() ? 0 : 1;
    }
    EXPECT_EQ(suite.attributes.at("tests"), std::to_string(suite.cases.size()));
    EXPECT_EQ(suite.attributes.at("failures"), std::to_string(failures));
    ASSERT_EQ(byName.count("open-cold"), 1u);
    EXPECT_EQ(byName["open-cold"]->failureType, "error");
    EXPECT_NE(
        byName["open-cold"]->failureText.find("error: first instance after loading: output channel 1 not written"),
        std::string::npos)
        << byName["open-cold"]->failureText;
    ASSERT_EQ(byName.count("in-place"), 1u);
    EXPECT_EQ(byName["in-place"]->failureType, "same fault");
    ASSERT_EQ(byName.count("double-precision"), 1u);
    EXPECT_TRUE(byName["double-precision"]->skipped);
    EXPECT_EQ(byName.count("texts-identity"), 1u);
    EXPECT_EQ(byName.count("open-many"), 0u) << "a check above strictness 1";
}
#endif

}  // namespace
