#include "support/watched_run.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>
#include <system_error>

#include "plugin/plugin_calls.h"
#include "support/child_mode.h"
#include "support/child_process.h"
#include "support/fixed_text.h"
#include "support/shared_block.h"
#include "support/watch_page.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

namespace {

// "plughost: the plug-in crashed (signal 11, SIGSEGV) in a 17-frame
// processReplacing", or, outside any plug-in call, "plughost: crashed
// (signal 11, SIGSEGV) outside the plug-in; please report it".
void sayHowItEnded(const Ending& ending, const WatchPage& page) {
    char calls[512];
    describeCallsInProgress(page.calls, calls, sizeof calls);
    char line[1024];
    FixedText text(line, sizeof line);
    text.text("plughost: ");
    if (calls[0] != '\0') {
        describeEnding(ending, text.text("the plug-in "));
        text.text(libraryCallInProgress(page.calls) ? " while " : " in ").text(calls);
    } else {
        describeEnding(ending, text);
        text.text(" outside the plug-in; please report it");
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line);
}

// What the child was writing when it ended: a temporary file, or the
// hidden folder of an analysis.
void removePendingOutput(const WatchPage& page) {
    if (!page.pendingOutput.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(page.pendingOutput.read(), ignored);
    }
}

#ifndef _WIN32

std::atomic<long> watchedChild{0};

// Ctrl-C, SIGTERM and the like are the child's to act on: it dies of them,
// and so does the parent after cleaning up.
extern "C" void passOn(int signal) {
    if (const long child = watchedChild.load()) {
        kill(static_cast<pid_t>(child), signal);
    }
}

void passSignalsOn() {
    struct sigaction action {};
    action.sa_handler = passOn;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        // One ignored from the start (Ctrl-C for a job a script runs in the
        // background) stays ignored, as it is in the child.
        struct sigaction before {};
        sigaction(signal, nullptr, &before);
        if (before.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
    // The parent only writes its report; a closed pipe is the child's to see.
    signal(SIGPIPE, SIG_IGN);
}

// As the child did: a shell shows 128 + the signal. The child has dumped
// its core, if any.
int dieOf(int signal) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    return 128 + signal;
}

#else

BOOL WINAPI leaveCtrlCToTheChild(DWORD) {
    return TRUE;
}

#endif

int reportOn(const ChildExit& exit, const WatchPage& page) {
    if (page.finished != 0 && !exit.signalled && exit.code == page.status) {
        return page.status;
    }
    const Ending ending = page.ending.kind != EndingKind::None ? page.ending : exit.ending();
    removePendingOutput(page);
    if (ending.kind != EndingKind::Stopped) {
        sayHowItEnded(ending, page);
    }
#ifndef _WIN32
    if (exit.signalled) {
        return dieOf(static_cast<int>(exit.code));
    }
#endif
    return exitCodeFor(ending);
}

}  // namespace

int runWatched(const std::function<int()>& work) {
    SharedBlock shared(sizeof(WatchPage));
    if (!shared.ok()) {
        return work();
    }
    auto* page = new (shared.data()) WatchPage{};
#ifdef _WIN32
    (void)work;
    ChildProcess child = ChildProcess::runSelfAgain(ChildOutput::Inherit, &shared);
    SetConsoleCtrlHandler(leaveCtrlCToTheChild, TRUE);
#else
    ChildProcess child = ChildProcess::fork(ChildOutput::Inherit, [&work, page](int) {
        becomeWatchedChild(page, -1);
        const int status = work();
        std::cout.flush();
        std::cerr.flush();
        finishWatched(status);
        return status;
    });
    watchedChild.store(child.id());
    passSignalsOn();
#endif
    const ChildExit exit = child.finish(-1.0, {}, {});
    if (!exit.started) {
        return work();
    }
    return reportOn(exit, *page);
}

void finishWatched(int status) {
    WatchPage& page = watchPage();
    page.status = status;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    page.finished = 1;
}
