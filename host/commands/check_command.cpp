#include "commands/check_command.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "checks/check_table.h"
#include "checks/isolation.h"
#include "support/host_error.h"
#include "support/text_format.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The tally, kept where the last-resort reporters below can reach it: when a
// check runs inside the host and the plug-in hangs or crashes it, they still
// print its verdict and the closing line before the host goes down.
struct Tally {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
    const char* current = nullptr;
    int timeoutSeconds = 0;
};
Tally tally;

std::string closingLine() {
    std::string line = format("%d passed, %d failed", tally.passed, tally.failed);
    if (tally.skipped > 0) {
        line += format(", %d skipped", tally.skipped);
    }
    return line;
}

[[noreturn]] void dieDuringCheck(const std::string& why) {
    ++tally.failed;
    std::printf("FAIL  %s: %s\n%s\n", tally.current != nullptr ? tally.current : "?", why.c_str(),
                closingLine().c_str());
    std::fflush(stdout);
    std::_Exit(1);
}

#ifdef _WIN32
LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception) {
    dieDuringCheck(format("the plug-in crashed the host: exception 0x%08lX",
                          static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode)));
}
#endif

// Ends the host when an in-process check overruns its time.
class Watchdog {
public:
    Watchdog() : thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void arm(int seconds) {
        std::lock_guard<std::mutex> lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        armed_ = true;
        wake_.notify_all();
    }
    void disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            if (!armed_) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                dieDuringCheck(format("did not finish within %d s", tally.timeoutSeconds));
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_{};
    bool armed_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "PASS";
        case Verdict::Fail:
            return "FAIL";
        case Verdict::Skip:
            return "SKIP";
    }
    return "?";
}

}  // namespace

void addCheckCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* command =
        app.add_subcommand("check", "Conformance and robustness checks; ends with \"N passed, N failed\"");
    command->add_option("PLUGIN", options->plugin, "The plug-in library file (not needed with --list)");
    command->add_option("--timeout", options->timeoutSeconds, "Time limit per check in seconds")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    command->add_option("--only", options->only, "Run only the checks whose name contains TEXT")->type_name("TEXT");
    command->add_flag("--no-fork{false}", options->isolate, "Run the checks inside the host process");
    command->add_flag("--verbose", options->verbose, "Show what the plug-in prints during the checks");
    command->add_flag("--list", options->list, "List the checks and exit");
    command->callback([options, &exitCode] {
        if (options->plugin.empty() && !options->list) {
            throw UsageError("check needs a plug-in file (or --list)");
        }
        exitCode = runCheck(*options, std::cout);
    });
}

int runCheck(const CheckOptions& arguments, std::ostream& out) {
    if (arguments.list) {
        for (const CheckDefinition& check : kChecks) {
            out << check.name << "\n";
        }
        return 0;
    }
    const bool isolate = arguments.isolate && isolationAvailable();
    tally = Tally{};
    tally.timeoutSeconds = arguments.timeoutSeconds;
#ifdef _WIN32
    SetUnhandledExceptionFilter(reportCrash);
#endif
    out << "checking " << arguments.plugin << (isolate ? "" : " (inside the host process)") << "\n";
    out.flush();
    Watchdog watchdog;
    for (const CheckDefinition& check : kChecks) {
        if (!arguments.only.empty() && std::string(check.name).find(arguments.only) == std::string::npos &&
            !check.essential) {
            continue;
        }
        tally.current = check.name;
        const std::string path = arguments.plugin;
        auto work = [&check, &path] {
            CheckContext context(path);
            return check.run(context);
        };
        CheckOutcome outcome;
        if (isolate) {
            outcome = runIsolated(work, arguments.timeoutSeconds, !arguments.verbose);
        } else {
            watchdog.arm(arguments.timeoutSeconds);
            outcome = runGuarded(work);
            watchdog.disarm();
        }
        switch (outcome.verdict) {
            case Verdict::Pass:
                ++tally.passed;
                break;
            case Verdict::Fail:
                ++tally.failed;
                break;
            case Verdict::Skip:
                ++tally.skipped;
                break;
        }
        out << verdictWord(outcome.verdict) << "  " << check.name;
        if (!outcome.detail.empty()) {
            out << (outcome.verdict == Verdict::Pass ? " (" + outcome.detail + ")" : ": " + outcome.detail);
        }
        out << "\n";
        out.flush();
        if (check.essential && outcome.verdict == Verdict::Fail) {
            out << "the remaining checks need this one and were not run\n";
            break;
        }
    }
    tally.current = nullptr;
    out << closingLine() << "\n";
    return tally.failed > 0 ? 1 : 0;
}
