#include "checks/isolation.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "support/text_format.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

CheckOutcome runGuarded(const std::function<CheckOutcome()>& work) {
    try {
        return work();
    } catch (const std::exception& error) {
        return CheckOutcome::fail(error.what());
    } catch (...) {
        return CheckOutcome::fail("an exception of unknown type escaped");
    }
}

#ifdef _WIN32

bool isolationAvailable() {
    return false;
}

CheckOutcome runIsolated(const std::function<CheckOutcome()>& work, int, bool) {
    return runGuarded(work);
}

#else

namespace {

constexpr char kVerdictLetters[] = {'P', 'F', 'S'};

double secondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

[[noreturn]] void runChild(const std::function<CheckOutcome()>& work, int output, bool quiet) {
    // The plug-in's own chatter stays out of the host's report: to the error
    // stream, or nowhere when quiet (many plug-ins print on every call).
    if (quiet) {
        const int nowhere = open("/dev/null", O_WRONLY);
        if (nowhere >= 0) {
            dup2(nowhere, STDERR_FILENO);
            close(nowhere);
        }
    }
    dup2(STDERR_FILENO, STDOUT_FILENO);
    const CheckOutcome outcome = runGuarded(work);
    std::string message(1, kVerdictLetters[static_cast<int>(outcome.verdict)]);
    message += outcome.detail;
    const char* next = message.data();
    std::size_t left = message.size();
    while (left > 0) {
        const ssize_t written = write(output, next, left);
        if (written <= 0) {
            break;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    // No exit handlers: the plug-in's static destructors are not ours to run.
    _exit(0);
}

CheckOutcome verdictFrom(const std::string& message) {
    for (int verdict = 0; verdict < 3; ++verdict) {
        if (!message.empty() && message[0] == kVerdictLetters[verdict]) {
            return CheckOutcome{static_cast<Verdict>(verdict), message.substr(1)};
        }
    }
    return CheckOutcome::fail("the check process sent no verdict");
}

}  // namespace

bool isolationAvailable() {
    return true;
}

CheckOutcome runIsolated(const std::function<CheckOutcome()>& work, int timeoutSeconds, bool quiet) {
    std::fflush(stdout);
    std::fflush(stderr);
    int channel[2];
    if (pipe(channel) != 0) {
        return CheckOutcome::fail(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return CheckOutcome::fail(std::string("cannot start a check process: ") + std::strerror(errno));
    }
    if (child == 0) {
        close(channel[0]);
        runChild(work, channel[1], quiet);
    }
    close(channel[1]);

    std::string message;
    bool timedOut = false;
    const double deadline = secondsNow() + timeoutSeconds;
    for (;;) {
        const double left = deadline - secondsNow();
        if (left <= 0.0) {
            timedOut = true;
            break;
        }
        pollfd waiting{channel[0], POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(left * 1000.0) + 1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(channel[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // the child closed its end: finished or died
        }
        message.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    if (timedOut) {
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        return CheckOutcome::fail(format("did not finish within %d s (stopped)", timeoutSeconds));
    }
    if (WIFSIGNALED(status)) {
        return CheckOutcome::fail(
            format("the plug-in crashed the check: signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status))));
    }
    if (message.empty()) {
        // A plug-in that calls exit(), or a crash that a sanitizer runtime
        // caught and turned into an exit.
        return CheckOutcome::fail(format("the plug-in crashed or ended the check process (exit status %d)",
                                         WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    }
    return verdictFrom(message);
}

#endif
