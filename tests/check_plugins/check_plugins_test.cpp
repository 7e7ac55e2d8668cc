// `plughost check` against plug-ins with one deliberate fault each: every
// fault is reported by the check that should find it, with its sub-step, and
// the clean plug-ins (slow, random or wordy as they may be) pass.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>
#include <string>
#include <vector>

#include "run_command.h"

namespace {

constexpr int kTimeLimitSeconds = 300;

struct Expectation {
    const char* variant;
    std::vector<std::string> options;
    int exitCode;
    const char* report;  // a regular expression the report must contain
};

// A sanitizer build catches a crash itself and ends the check process with
// its own exit status; both ways of dying read "the plug-in crashed".
const Expectation kExpectations[] = {
    // Sanitizer builds cannot count allocations: one check fewer passes.
    {"clean", {"--strict"}, 0, "\n3[01] passed, 0 failed, 0 warnings(, 1 skipped)?\n$"},
    {"infinite_at_one",
     {},
     1,
     "\nFAIL  parameters at exactly 0 and 1: [^\n]*parameter 0 at 1: output held [0-9]+ infinite"},
    {"silent_past_256",
     {},
     1,
     "\nFAIL  output the same in blocks of 1, 7, 64, 512 and 4096: output in blocks of 512, against blocks of 1, "
     "after the first 0.25 s \\(frames counted from there\\) differs by up to [-0-9.]+ dB"},
    {"chunk_crash",
     {},
     1,
     "\nFAIL  state restore through effGetChunk and effSetChunk: the plug-in crashed[^\n]*\n +during: effSetChunk "
     "with the 16-byte chunk on a fresh instance\n"},
    {"broken_double",
     {},
     1,
     "\nFAIL  double-precision processing agrees with single precision: double-precision output, against single "
     "precision, differs by up to -[0-9.]+ dB"},
    {"midi_crash",
     {},
     1,
     "\nFAIL  MIDI notes to an instrument or an effect that receives events: the plug-in crashed[^\n]*\n +during: "
     "block 0 [^\n]* with note on 60 100 on channel 1 at frame 0"},
    {"infinite",
     {},
     1,
     "\nFAIL  no NaN or infinite output for finite input, no subnormal tail: program 0: [0-9]+ infinite of"},
    {"overrun",
     {},
     1,
     "\nFAIL  output the same in blocks of 1, 7, 64, 512 and 4096: blocks of 1: the plug-in wrote outside the block"},
    {"slow", {"--timeout", "20"}, 0, "\nPASS  many instances opened and closed in turn \\([0-9]+ instances, not 64: "},
    {"random",
     {},
     0,
     "\nSKIP  output reproducible in fresh instances: not comparable: two fresh instances given the same input "
     "differ[^\n]*\nSKIP  instances alive at once keep separate state: not comparable"},
    {"long_texts",
     {},
     0,
     "\nWARN  parameter names within 8 characters: parameter 0 name \"Output Gain Amount\" has 18 characters, over "
     "the conventional 8"},
    {"long_texts", {"--strict"}, 1, "\nFAIL  parameter display texts within 8 characters: warning \\(--strict\\): "},
    {"clean",
     {"--timeout-total", "1"},
     1,
     "\nFAIL  overall time limit: --timeout-total 1 s ran out before [0-9]+ checks"},
};

std::string pluginPath(const std::string& variant) {
    return std::string(KD_CHECK_PLUGIN_DIR) + "/check_plugin_" + variant + KD_LIBRARY_SUFFIX;
}

// Options first, as users tend to type them: an option that takes a value
// must not swallow the plug-in after it.
CommandResult check(const std::string& variant, std::vector<std::string> options) {
    options.insert(options.begin(), {KD_PLUGHOST, "check"});
    options.push_back(pluginPath(variant));
    return runCommand(options, kTimeLimitSeconds);
}

class CheckPlugin : public ::testing::TestWithParam<Expectation> {};

TEST_P(CheckPlugin, ReportsTheFindingItShould) {
    const Expectation& expected = GetParam();
    const CommandResult run = check(expected.variant, expected.options);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_EQ(run.exitCode, expected.exitCode) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex(expected.report))) << "expected /" << expected.report << "/ in:\n"
                                                                         << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\n[0-9]+ passed, [0-9]+ failed, [0-9]+ warnings"))) << run.out;
}

std::string nameOf(const ::testing::TestParamInfo<Expectation>& info) {
    return std::string(info.param.variant) + (info.param.options.empty() ? "" : "_" + std::to_string(info.index));
}

INSTANTIATE_TEST_SUITE_P(Variants, CheckPlugin, ::testing::ValuesIn(kExpectations), nameOf);

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

TEST(CheckReport, JsonNamesTheCrashedCheckItsStepAndTheTotals) {
    const CommandResult run = check("midi_crash", {"--json", "--only", "midi", "--only", "in-place"});
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    const nlohmann::json& checks = report.at("checks");
    ASSERT_EQ(checks.size(), 4u) << report.dump(2);  // the entry point and reproducibility come along
    EXPECT_EQ(checks[3].at("verdict"), "error");
    EXPECT_NE(checks[3].at("step").get<std::string>().find("note on 60"), std::string::npos) << checks[3].dump();
    EXPECT_EQ(report.at("summary").at("line"), "3 passed, 1 failed, 0 warnings") << report.dump(2);
    EXPECT_EQ(report.at("exit_code"), 1);
    // Its keys are written as render's and analyze's are.
    std::vector<std::string> keys;
    collectKeys(report, keys);
    EXPECT_GT(keys.size(), 20u);
    for (const std::string& key : keys) {
        EXPECT_TRUE(std::regex_match(key, std::regex("[a-z0-9_]+"))) << "key " << key << " is not snake_case";
    }
}

TEST(CheckReport, InsideTheHostACrashStillEndsWithItsVerdictAndTheSummary) {
    const CommandResult run = check("chunk_crash", {"--no-fork", "--only", "chunk"});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex("\nFAIL  state restore through effGetChunk and effSetChunk: the plug-in crashed the host: "
                            "signal 11 \\(SIGSEGV\\)\n +during: effSetChunk with the 16-byte chunk[^\n]*\n"
                            "2 passed, 1 failed, 0 warnings\n$")))
        << run.out;
}

}  // namespace
