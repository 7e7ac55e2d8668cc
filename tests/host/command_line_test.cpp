// plughost as a user runs it: exit status and what it prints. On Windows
// (under Wine) the same, but for the commands that need audio files, which
// that build does not have yet.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run_command.h"

// How this system names what ended a process.
#ifdef _WIN32
#define KD_CRASH_NAME "exception 0xC0000005, access violation"
#define KD_ABORT_NAME "abort"
#else
#define KD_CRASH_NAME "signal 11, SIGSEGV"
#define KD_ABORT_NAME "signal 6, SIGABRT"
#endif

namespace {

#ifdef _WIN32
constexpr bool kRenders = false;
#else
constexpr bool kRenders = true;
#endif

// Commands of the build with audio files.
bool renders(const std::string& command) {
    return command == "render" || command == "render-programs" || command == "save-preset" || command == "analyze";
}

CommandResult plughost(std::vector<std::string> arguments, int timeoutSeconds = 300) {
    arguments.insert(arguments.begin(), KD_PLUGHOST);
    return runCommand(arguments, timeoutSeconds);
}

std::string work(const char* name) {
    return std::string(KD_TEST_WORK_DIR) + "/" + name;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CommandLine, WithoutArgumentsItExplainsAndFails) {
    const CommandResult run = plughost({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(contains(run.err, "no command given")) << run.err;
    EXPECT_TRUE(contains(run.err, "--help")) << run.err;
}

TEST(CommandLine, HelpListsEveryCommand) {
    const CommandResult run = plughost({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* command : {"info", "render", "render-programs", "save-preset", "check", "analyze"}) {
        EXPECT_TRUE(contains(run.out, command) || !kRenders) << command << " missing from:\n" << run.out;
    }
}

// Mistakes on the command line: exit code 2 and a message that names them.
TEST(CommandLine, MistakesAreRefusedWithAMessageThatNamesThem) {
    const std::string out = work("x.wav");
    const struct {
        std::vector<std::string> words;
        std::string message;
    } kCases[] = {
        {{"play", "x.so"}, "unknown command 'play'"},
        {{"info"}, "PLUGIN is required"},
        {{"info", "x.so", "--program", "2"}, "--program"},
        {{"info", "x.so", "y.so"}, "y.so"},
        {{"render", "x.so"}, "--output is required"},
        {{"render-programs", "x.so"}, "--directory is required"},
        {{"analyze", "x.so"}, "--directory is required"},
        {{"render", "x.so", "-o"}, "-o"},
        {{"render", "x.so", "-o", out, "--block", "0"}, "--block: Value 0 not in range 1"},
        {{"render", "x.so", "-o", out, "--block", "many"}, "--block"},
        {{"render", "x.so", "-o", out, "--set", "3"}, "needs NAME=VALUE or INDEX=VALUE, not '3'"},
        {{"render", "x.so", "-o", out, "--set", "3=1.5"}, "from 0 to 1, not '1.5'"},
        {{"render", "x.so", "-o", out, "--set", "=0.5"}, "needs NAME=VALUE or INDEX=VALUE"},
        // Option texts are read before any file is opened or plug-in loaded.
        {{"render", "x.so", "-o", out, "-i", "missing.wav", "--channels", "foo"},
         "--channels takes output numbers from 1, like 1,2 or 3-4, not 'foo'"},
        {{"render", "x.so", "-o", out, "--automate", "Gain:1=0,0=1"}, "--automate times go forwards"},
        {{"render", "x.so", "-o", out, "--dither", "rpdf"}, "--dither takes none or tpdf, not 'rpdf'"},
        {{"render", "x.so", "-o", out, "--rate", "44100.5"},
         "--rate takes a whole number of hertz from 8000 to 768000, not '44100.5'"},
        {{"render", "x.so", "-o", out, "--output-rate", "1e5"}, "--output-rate takes a whole number of hertz"},
        {{"analyze", "x.so", "-d", out, "--rate", "48000.5"}, "--rate takes a whole number of hertz"},
        {{"render", "x.so", "-o", out, "--then"}, "--then"},
        // A batch's options: checked before the plug-in is loaded.
        {{"render", "x.so", "-i", "a.wav", "-i", "b.wav", "-o", out},
         "--input given several times (or --list) makes a batch, whose files go into a directory"},
        {{"render", "x.so", "-o", out, "-d", work("batch")}, "give one of them"},
        {{"render", "x.so", "-o", out, "-j", "2"}, "--jobs (-j) runs the files of a batch side by side"},
        {{"render", "x.so", "-o", out, "--format", "flac"},
         "--format chooses the format of -o - and of a batch's files; the extension of " + out + " chooses it here"},
        {{"render", "x.so", "-d", work("batch")}, "the batch has no inputs: give them with -i FILE"},
        {{"render", "x.so", "-d", work("batch"), "-i", "-"}, "a batch reads its inputs from files, not standard input"},
        {{"render", "x.so", "-d", work("batch"), "-i", "one/a.wav", "-i", "two/a.flac"},
         "one/a.wav and two/a.flac would both be written to " + work("batch") + "/a.wav"},
        {{"render", "x.so", "-d", work("batch"), "-i", "a.wav", "--format", "xyz"},
         "--format xyz: cannot write such files"},
        {{"render", "x.so", "-d", work("batch"), "-j", "0", "-i", "a.wav"}, "--jobs"},
        // A negated flag given a value, even one beyond 64 bits.
        {{"render", "x.so", "-o", out, "--no-latency-compensation=99999999999999999999"},
         "--no-latency-compensation is a flag and takes no value"},
        {{"render-programs", "x.so", "-d", out, "--no-latency-compensation=1"}, "--no-latency-compensation"},
        {{"check", "x.so", "--no-fork=-99999999999999999999"}, "--no-fork"},
        {{"analyze", "x.so", "-d", out, "--no-plots=99999999999999999999"}, "--no-plots"},
        {{"info", "x.so", "--json=1"}, "--json is a flag and takes no value"},
        {{"analyze", "x.so", "-d", out, "--set", "Gain"}, "--set needs NAME=VALUE or INDEX=VALUE, not 'Gain'"},
        {{"render", "x.so", "-o", out, "--set", "Gain=-6"}, "a value as the plug-in displays it comes with its unit"},
        {{"save-preset", "x.so"}, "--output is required"},
        {{"save-preset", "x.so", "-o", work("x.wav")}, "--output names a program file (.fxp) or a bank of every"},
        {{"save-preset", "x.so", "-o", work("x.fxp"), "--program", "-1"}, "--program"},
        {{"check"}, "check needs a plug-in file"},
        {{"check", "x.so", "--timeout", "0"}, "--timeout"},
        {{"check", "x.so", "--only", "no such check"}, "--only 'no such check' names no check or group of checks"},
        {{"check", "x.so", "--skip", "texts", "--skip", "nothing"}, "--skip 'nothing' names no check"},
        {{"check", "x.so", "--only", "block-sizes", "--skip", "block-sizes"},
         "--only and --skip leave no check to run"},
        {{"check", "x.so", "--strictness", "11"}, "--strictness"},
        {{"check", "x.so", "--rates", "44100,100"}, "--rates"},
        {{"check", "x.so", "--suppress", work("no-such-suppressions.txt")}, "cannot read suppressions file"},
    };
    for (const auto& entry : kCases) {
        if (!kRenders && renders(entry.words.front())) {
            continue;
        }
        const CommandResult run = plughost(entry.words);
        EXPECT_EQ(run.exitCode, 2) << entry.words.front() << " " << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << "expected '" << entry.message << "' in:\n" << run.err;
        EXPECT_TRUE(contains(run.err, "--help' for usage")) << run.err;
    }
}

TEST(CommandLine, EveryCommandHasHelpAndTheVersion) {
    for (const char* command : {"info", "render", "render-programs", "save-preset", "check", "analyze"}) {
        if (!kRenders && renders(command)) {
            continue;
        }
        const CommandResult help = plughost({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_TRUE(contains(help.out, std::string("plughost ") + command)) << help.out;
        EXPECT_TRUE(contains(help.out, "Exit codes:\n  0  success")) << help.out;
        EXPECT_TRUE(contains(help.out, "  128+N  ended by signal N: 130 Ctrl-C")) << help.out;
        // A flag that turns something off is shown by its name alone.
        EXPECT_FALSE(contains(help.out, "{false}")) << help.out;
        const CommandResult version = plughost({command, "--version"});
        EXPECT_EQ(version.out, "plughost " KD_VERSION " (K Distortion)\n") << command;
    }
}

// Every command gives exit code 2 and says what the file is when it cannot
// be a plug-in; a name without a directory is a file here, never a system
// library.
TEST(CommandLine, APluginThatCannotBeLoadedIsNamedForWhatItIs) {
    const std::string text = work("broken-cli.so");
    std::ofstream(text) << "#!/bin/sh\necho not a library\n";
    const std::string in = std::string(" cd ") + KD_STUB_DIR + " && " + KD_PLUGHOST;
    const struct {
        std::vector<std::string> words;
        int exitCode;
        const char* message;
    } kCases[] = {
        {{KD_PLUGHOST, "info", work("missing.so")}, 2, "does not exist"},
        {{KD_PLUGHOST, "info", text}, 2, "is not a plug-in library: it is not a shared library at all"},
        {{KD_PLUGHOST, "render", KD_TEST_WORK_DIR, "-o", work("x.wav")}, 2, "is a directory, not a plug-in library"},
        {{KD_PLUGHOST, "render", KD_NULL_ENTRY_PLUGIN, "-o", work("null.wav")}, 2, "entry point returned null"},
        {{"/bin/sh", "-c", in + " info stub_effect" KD_LIBRARY_SUFFIX}, 0, ""},
    };
    for (const auto& entry : kCases) {
        if (!kRenders && (renders(entry.words[1]) || entry.words[0] != KD_PLUGHOST)) {
            continue;
        }
        const CommandResult run = runCommand(entry.words, 60);
        EXPECT_EQ(run.exitCode, entry.exitCode) << entry.words.back() << "\n" << run.err;
        EXPECT_TRUE(contains(run.err, entry.message)) << run.err;
    }
    const CommandResult check = plughost({"check", text});
    EXPECT_EQ(check.exitCode, 2);
    EXPECT_TRUE(contains(check.out, "FAIL  entry-point  entry point gives an effect record")) << check.out;
    EXPECT_TRUE(contains(check.out, "the plug-in cannot be loaded")) << check.out;
    EXPECT_TRUE(contains(check.out, "0 passed, 1 failed")) << check.out;
    // Whether its output is reproducible was never tried.
    const CommandResult json = plughost({"check", "--json", text});
    EXPECT_EQ(json.exitCode, 2);
    EXPECT_TRUE(contains(json.out, "\"reproducible\": null")) << json.out;
    std::remove(text.c_str());
    // A plug-in without parameters or parameter functions is checked for
    // what it has.
    const CommandResult bare =
        plughost({"check", "--only", "open", std::string(KD_STUB_DIR) + "/stub_instrument" KD_LIBRARY_SUFFIX});
    EXPECT_EQ(bare.exitCode, 0) << bare.out;
    EXPECT_TRUE(contains(bare.out, "PASS  entry-point  entry point gives an effect record")) << bare.out;
}

// Parameter texts longer than the columns widen them, so every value
// stands in the same column.
TEST(CommandLine, InfoKeepsItsParameterTableAlignedWithLongTexts) {
    const CommandResult run = plughost({"info", KD_FAULTY_PLUGIN});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::size_t table = run.out.find("\nparameters\n");
    ASSERT_NE(table, std::string::npos) << run.out;
    std::istringstream lines(run.out.substr(table + 12));
    std::string header;
    std::string row;
    std::getline(lines, header);
    std::getline(lines, row);
    EXPECT_TRUE(contains(row, "FarTooLongName* ")) << row;
    EXPECT_EQ(row.find_last_of(' ') + 1, header.find("value")) << header << "\n" << row;
}

TEST(CommandLine, InfoShowsDifferentInputAndOutputCounts) {
    const std::string wide = std::string(KD_STUB_DIR) + "/stub_wide" KD_LIBRARY_SUFFIX;
    const CommandResult text = plughost({"info", wide});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_TRUE(contains(text.out, "channels        2 in, 98 out")) << text.out;
    const CommandResult json = plughost({"info", wide, "--json"});
    EXPECT_TRUE(contains(json.out, "\"inputs\": 2,")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"outputs\": 98,")) << json.out;
    EXPECT_TRUE(contains(json.out, "\"programs\": [\n    \"Unity\",\n    \"Double\"\n  ]")) << json.out;
}

// JSON carries the texts as the plug-in gave them, which ones overran
// apart, the id without the table's quotes and the flags as a list.
TEST(CommandLine, InfoJsonCarriesPlainValues) {
    const CommandResult run = plughost({"info", KD_FAULTY_PLUGIN, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, R"("name": "FarTooLongName",
      "overlong": [
        "name"
      ],)"))
        << run.out;
    EXPECT_TRUE(contains(run.out, R"("unique_id": "Flty",
  "unique_id_number": 1181512825,)"))
        << run.out;
    EXPECT_TRUE(contains(run.out, R"("flags": [
    "replacing"
  ],
  "flags_number": 16,)"))
        << run.out;
}

TEST(CommandLine, AnUnreadableInputFileIsAClearError) {
    if (!kRenders) {
        GTEST_SKIP() << "this build has no audio files";
    }
    const std::string path = work("unreadable.wav");
    std::ofstream(path) << "RIFF but not really";
    const CommandResult run = plughost({"render", KD_FAULTY_PLUGIN, "-i", path, "-o", work("out.wav")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(contains(run.err, "cannot read audio file " + path)) << run.err;
    const CommandResult missing =
        plughost({"render", KD_FAULTY_PLUGIN, "-i", work("nowhere.wav"), "-o", work("out.wav")});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_TRUE(contains(missing.err, "cannot read audio file")) << missing.err;
    std::remove(path.c_str());
}

// The stub hangs in one check; the time limit for it is short (and
// configurable for slow builds), so that the suite does not wait long.
TEST(CommandLine, CheckReportsEachFaultOfAFaultyPluginAndSurvivesIt) {
    const std::string limit = std::to_string(KD_TEST_HANG_SECONDS);
    const CommandResult run = plughost({"check", KD_FAULTY_PLUGIN, "--timeout", limit});
    EXPECT_EQ(run.exitCode, 1) << run.out;
    EXPECT_TRUE(contains(run.out,
                         "WARN  texts-names  parameter names within 8 characters: parameter 0 name \"FarTooLongName\" "
                         "has 14 characters"))
        << run.out;
    // A sanitizer build reports the crash itself and exits instead of dying
    // of the signal.
    EXPECT_TRUE(std::regex_search(
        run.out, std::regex("FAIL  rates-and-sizes  processing at 22050[^\n]*: the plug-in crashed[^\n]*\n +in: a "
                            "17-frame processReplacing after [0-9]+-frame calls\n +during: 22050 Hz, blocks of 17\n")))
        << run.out;
    EXPECT_TRUE(contains(run.out, "FAIL  order-instantiation  instantiation order of a host: did not finish within " +
                                      limit + " s (stopped)\n      in: effGetParameterProperties 0\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "NaN values")) << run.out;
    // The stub allocates in every call: every phase is named, with its
    // count; the two calls after switching on are only a warning.
    EXPECT_TRUE(std::regex_search(
                    run.out, std::regex("FAIL  realtime  [^\n]*: ([0-9]+) allocations in \\1 process calls in steady "
                                        "state; ([0-9]+) allocations in \\2 process calls right after a parameter "
                                        "change; warnings: 2 allocations in 2 process calls first after "
                                        "effMainsChanged 1\n")) ||
                contains(run.out, "SKIP  realtime  "))
        << run.out;
    EXPECT_TRUE(contains(run.out, "PASS  open-cold  ")) << run.out;
    EXPECT_TRUE(
        std::regex_search(run.out, std::regex("\n[0-9]+ passed, [0-9]+ failed, [0-9]+ warnings, [0-9]+ not tested\n$")))
        << run.out;
}

// The faulty stub ends the process as KD_STUB_END says, at the moment
// KD_STUB_END_AT names (see stub_plugins.cpp).
void askStubToEnd(const char* how, const char* at) {
#ifdef _WIN32
    _putenv_s("KD_STUB_END", how);
    _putenv_s("KD_STUB_END_AT", at);
#else
    setenv("KD_STUB_END", how, 1);
    setenv("KD_STUB_END_AT", at, 1);
#endif
}

// As a shell shows how a program ended: 128 + the signal that ended it.
int statusOf(const CommandResult& run) {
    return run.signal != 0 ? 128 + run.signal : run.exitCode;
}

// A render's temporary file or an analysis's hidden folder.
bool partialFilesIn(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".plughost-") != std::string::npos || name.find(".analyze-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// However the plug-in ends the process, while its library loads or in a
// call, plughost names it and the call, and ends with the documented code;
// a render leaves no temporary file. In `check` the check that was running
// fails; with --no-fork the run ends after its verdict and the summary.
TEST(CommandLine, WhateverEndsTheProcessIsNamedWithThePluginCall) {
    const std::string folder = work("endings");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string output = folder + "/out.wav";
    const std::string plugin = KD_FAULTY_PLUGIN;
    const std::vector<std::string> info{"info", plugin};
    const std::vector<std::string> render{"render", plugin, "-o", output};
    const std::vector<std::string> analyze{"analyze", plugin, "-d", folder, "--no-plots"};
    const std::vector<std::string> check{"check", "--only", "open-cold", plugin};
    const std::vector<std::string> savePreset{"save-preset", plugin, "-o", folder + "/saved.fxp"};
    const std::vector<std::string> streamed{"render", plugin, "-o", "-"};
    const std::string input = work("endings-input.wav");
    const std::vector<std::string> batch{"render", plugin, "-i", input, "-d", folder};
#ifndef _WIN32
    askStubToEnd("", "");
    ASSERT_EQ(plughost({"render", plugin, "-o", input, "--tail", "0"}).exitCode, 0);
#endif
    const std::vector<std::string> inside{"check", "--no-fork", "--only", "open-cold", plugin};
    // A 32-bit Windows DLL built with MinGW's static runtime cannot let an
    // exception out: it ends as abort() inside the plug-in.
#ifdef _WIN32
    const std::string escaped =
        "(let a C\\+\\+ exception escape \\(std::runtime_error: the stub gives up\\)|aborted \\(abort\\))";
#else
    const std::string escaped = "let a C\\+\\+ exception escape \\(std::runtime_error: the stub gives up\\)";
#endif
    const std::string failed = "\nFAIL  open-cold  open and close cold: the plug-in ";
    const struct {
        const char* how;
        const char* at;
        std::vector<std::string> words;
        int status;
        std::string output;  // a regular expression, in standard error for commands, standard output for check
    } kCases[] = {
        {"crash", "open", info, 139, "^plughost: the plug-in crashed \\(" KD_CRASH_NAME "\\) in effOpen\n$"},
        {"abort", "open", info, 134, "^plughost: the plug-in aborted \\(" KD_ABORT_NAME "\\) in effOpen\n$"},
        {"throw", "open", info, 134, "plughost: the plug-in " + escaped + " in effOpen\n$"},
        {"uncaught", "open", info, 134, "plughost: the plug-in " + escaped + " in effOpen\n$"},
        {"exit", "open", info, 5, "^plughost: the plug-in ended the process \\(exit status 0\\) in effOpen\n$"},
        {"_exit", "open", info, 5, "^plughost: the plug-in ended the process \\(exit status 0\\) in effOpen\n$"},
        {"exit", "load", info, 5,
         "^plughost: the plug-in ended the process \\(exit status 0\\) while loading the library\n$"},
#ifdef _WIN32
        // The system loader stops a library whose initialisation crashes.
        {"crash", "load", info, 2,
         "^plughost: cannot load plug-in [^\n]*: [A-Za-z]+ access to memory location \\(Windows error 998\\)"},
        {"ExitProcess", "open", info, 5, "^plughost: the plug-in ended the process \\(exit status 0\\) in effOpen\n$"},
        {"TerminateProcess", "open", info, 5,
         "^plughost: the plug-in ended the process \\(exit status 0\\) in effOpen\n$"},
        {"ExitProcess", "open", inside, 1, failed + "ended the process \\(exit status 0\\)\n +in: effOpen\n"},
        {"TerminateProcess", "open", check, 1, failed + "ended the process \\(exit status 0\\)\n +in: effOpen\n"},
#else
        {"crash", "load", info, 139,
         "^plughost: the plug-in crashed \\(" KD_CRASH_NAME "\\) while loading the library\n$"},
        {"crash", "load", check, 2,
         "\nFAIL  entry-point  entry point gives an effect record: the plug-in crashed \\(" KD_CRASH_NAME
         "\\)\n +in: loading the library\n"},
        {"crash", "process", render, 139,
         "^plughost: the plug-in crashed \\(" KD_CRASH_NAME
         "\\) in a 512-frame processReplacing, the instance's first\n$"},
        {"exit", "process", render, 5,
         "^plughost: the plug-in ended the process \\(exit status 0\\) in a 512-frame processReplacing, the "
         "instance's first\n$"},
        {"_exit", "process", render, 5,
         "the plug-in ended the process \\(exit status 0\\) in a 512-frame processReplacing"},
        {"abort", "process", analyze, 134,
         "plughost: the plug-in aborted \\(" KD_ABORT_NAME "\\) in a [0-9]+-frame processReplacing"},
        {"exit", "process", streamed, 5,
         "^plughost: the plug-in ended the process \\(exit status 0\\) in a 512-frame processReplacing"},
        // Each job of a batch is a render of its own; the batch ends with
        // the worst of their codes.
        {"exit", "process", batch, 5,
         "endings-input.wav: plughost: the plug-in ended the process \\(exit status 0\\) in a 512-frame "
         "processReplacing"},
        {"crash", "process", batch, 139,
         "endings-input.wav: plughost: the plug-in crashed \\(" KD_CRASH_NAME "\\) in a 512-frame "
         "processReplacing"},
        {"exit", "open", savePreset, 5, "^plughost: the plug-in ended the process \\(exit status 0\\) in effOpen\n$"},
#endif
        {"exit", "open", check, 1, failed + "ended the process \\(exit status 0\\)\n +in: effOpen\n"},
        {"crash", "open", inside, 1,
         failed + "crashed \\(" KD_CRASH_NAME
                  "\\)\n +in: effOpen\n +during: [^\n]*\n0 passed, 1 failed, 0 warnings, 0 not tested\n$"},
        {"abort", "open", inside, 1, failed + "aborted \\(" KD_ABORT_NAME "\\)\n +in: effOpen\n"},
        {"throw", "open", inside, 1, failed + escaped + "\n +in: effOpen\n"},
        {"exit", "open", inside, 1, failed + "ended the process \\(exit( status 0)?\\)\n +in: effOpen\n"},
        // A hang inside the host ends the run too, after the time it had.
        {"",
         "",
         {"check", "--no-fork", "--timeout", "2", "--only", "order-instantiation", plugin},
         1,
         "\nFAIL  order-instantiation  [^\n]*: did not finish within 2 s\n +in: effGetParameterProperties 0\n[^\n]*\n"
         "0 passed, 1 failed, 0 warnings, 0 not tested\n$"},
        {"_exit", "open", inside, 1,
         failed + "ended the process \\(exit status 0\\)\n +in: effOpen\n +during: [^\n]*\n0 passed, 1 failed, 0 "
                  "warnings, 0 not tested\n$"},
    };
    for (const auto& entry : kCases) {
        askStubToEnd(entry.how, entry.at);
        const CommandResult run = plughost(entry.words, 60);
        const std::string what =
            std::string(entry.how) + " at " + entry.at + ", " + entry.words[0] + " " + entry.words[1];
        EXPECT_EQ(statusOf(run), entry.status) << what << "\n" << run.out << run.err;
        const std::string& shown = entry.words[0] == "check" ? run.out : run.err;
        EXPECT_TRUE(std::regex_search(shown, std::regex(entry.output)))
            << what << ": expected /" << entry.output << "/ in:\n"
            << shown;
        EXPECT_FALSE(partialFilesIn(folder)) << what;
        EXPECT_FALSE(std::filesystem::exists(output)) << what;
        EXPECT_FALSE(std::filesystem::exists(folder + "/endings-input.wav")) << what;
    }
    askStubToEnd("", "");
}

#ifdef KD_KDISTORTION
TEST(KDistortion, InfoShowsIdentityParametersAndProgramNames) {
    const CommandResult run = plughost({"info", KD_KDISTORTION});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "unique id       'Krvx'")) << run.out;
    EXPECT_TRUE(contains(run.out, "Mult.Dis")) << run.out;
    EXPECT_TRUE(contains(run.out, "Multiband HighDist!")) << run.out;
    EXPECT_FALSE(contains(run.out, "warning")) << "reading the program names must restore the plug-in:\n" << run.out;
    const CommandResult json = plughost({"info", KD_KDISTORTION, "--json"});
    EXPECT_TRUE(contains(json.out, "\"unique_id\": \"Krvx\",\n  \"unique_id_number\": 1265792632,")) << json.out;
}

#ifndef _WIN32
TEST(KDistortion, RenderWritesTheFileAndReportsLevelsAndSpeed) {
    const std::string out = work("kd-program-3.wav");
    std::remove(out.c_str());
    const CommandResult run =
        plughost({"render", KD_KDISTORTION, "-o", out, "--program", "3", "--set", "0=0.5", "--block", "333"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::ifstream(out).good()) << out;
    EXPECT_TRUE(contains(run.out, "program   3 Brutal Distortion!")) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("in +-3\\.0 dBFS"))) << "the embedded input peaks at -3 dB\n"
                                                                           << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("speed +[0-9.]+x real time"))) << run.out;
    EXPECT_TRUE(run.err.empty()) << "no progress bar when output is not a terminal: " << run.err;
}

TEST(KDistortion, RenderProgramsWritesOneFilePerProgramAndATable) {
    const std::string directory = work("kd-programs");
    const CommandResult run = plughost({"render-programs", KD_KDISTORTION, "-d", directory});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (int program = 0; program < 9; ++program) {
        const std::string file = directory + "/program-" + std::to_string(program) + ".wav";
        EXPECT_TRUE(std::ifstream(file).good()) << file;
    }
    EXPECT_TRUE(std::regex_search(run.out, std::regex("\n8 +Multiband HighDist! +-3\\.0 dBFS"))) << run.out;
}

// Our programs are fixed: selecting one writes its factory values. A
// program changed by --set comes back from a program file and from a bank,
// whose other programs stay as the plug-in has them.
TEST(KDistortion, ProgramAndBankFilesRenderAsTheProgramWasSet) {
    const auto contentsOf = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    const std::vector<std::string> chosen = {"--program", "3", "--set", "Gain=+6 dB", "--set", "Frq M-H=5221 Hz"};
    const auto run = [&](std::vector<std::string> words, const std::vector<std::string>& more) {
        words.insert(words.begin() + 1, KD_KDISTORTION);
        words.insert(words.end(), more.begin(), more.end());
        const CommandResult result = plughost(words);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result;
    };
    run({"render", "-o", work("kd-chosen.wav")}, chosen);
    run({"save-preset", "-o", work("kd-chosen.fxp")}, chosen);
    run({"save-preset", "-o", work("kd-chosen.fxb")}, chosen);
    run({"render", "-o", work("kd-fxp.wav"), "--preset", work("kd-chosen.fxp")}, {});
    EXPECT_EQ(contentsOf(work("kd-fxp.wav")), contentsOf(work("kd-chosen.wav")));
    run({"render-programs", "-d", work("kd-bank"), "--bank", work("kd-chosen.fxb")}, {});
    EXPECT_EQ(contentsOf(work("kd-bank/program-3.wav")), contentsOf(work("kd-chosen.wav")));
    run({"render", "-o", work("kd-program-5.wav"), "--program", "5"}, {});
    EXPECT_EQ(contentsOf(work("kd-bank/program-5.wav")), contentsOf(work("kd-program-5.wav")));
}
#endif

#endif

}  // namespace
