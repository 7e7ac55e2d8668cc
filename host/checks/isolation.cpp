#include "checks/isolation.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "checks/check_step.h"
#include "checks/last_words.h"
#include "plugin/plugin_calls.h"
#include "support/text_format.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

// The in-process step: a fixed buffer, as a crash handler may read it.
constexpr std::size_t kStepBytes = 256;
char stepText[kStepBytes] = {};

// The first byte goes last, so that a crash handler interrupting the copy
// reads an empty step rather than a torn one.
void keepStepInProcess(const char* text, std::size_t length) {
    const std::size_t kept = std::min(length, kStepBytes - 1);
    stepText[0] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (kept > 1) {
        std::memcpy(stepText + 1, text + 1, kept - 1);
    }
    stepText[kept] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    stepText[0] = kept > 0 ? text[0] : '\0';
}

CheckOutcome interrupted(std::string detail) {
    CheckOutcome outcome = CheckOutcome::error(std::move(detail));
    outcome.interrupted = true;
    return outcome;
}

CheckOutcome guarded(const std::function<CheckOutcome()>& work) {
    try {
        return work();
    } catch (const std::exception& error) {
        return interrupted(error.what());
    } catch (...) {
        return interrupted("an exception of unknown type escaped");
    }
}

}  // namespace

CheckOutcome runInProcess(const std::function<CheckOutcome()>& work) {
    stepText[0] = '\0';
    clearPluginCalls(pluginCallBoard());
    setStepSink(keepStepInProcess);
    CheckOutcome outcome = guarded(work);
    setStepSink(nullptr);
    if (outcome.interrupted) {
        outcome.step = stepText;
        char calls[kCallTextBytes];
        describeCallsInProgress(pluginCallBoard(), calls, sizeof calls);
        outcome.call = calls;
    }
    stepText[0] = '\0';
    return outcome;
}

const char* inProcessStep() {
    return stepText;
}

#ifdef _WIN32

bool isolationAvailable() {
    return false;
}

CheckOutcome runIsolated(const std::function<CheckOutcome()>& work, int, bool) {
    return runInProcess(work);
}

void endCheckWithError(const char* detail) {
    last_words::endWith(detail);
}

#else

namespace {

// The child reports on its channel in lines: "S<step>" as each step starts;
// at the end "F<severity letter><text>" for each finding, "D" when outputs
// of fresh instances differ, and "V<letter><detail>", the letter standing
// for the verdict (in the order of Verdict), or 'X' for an error that
// interrupted the check.
constexpr char kVerdictLetters[] = {'P', 'W', 'E', 'S', 'C', 'T'};
constexpr std::size_t kVerdicts = sizeof kVerdictLetters;
constexpr char kInterruptedLetter = 'X';
constexpr char kSeverityLetters[] = {'W', 'E'};
// Enough of the plug-in's output to hold its last lines.
constexpr std::size_t kOutputKept = 16384;

int childChannel = -1;

double secondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// One line on the channel, newlines in the text turned into spaces. Steps
// are short: one write, which the pipe keeps whole. Allocates nothing, for
// steps and for signal handlers; longer texts are cut.
void sendLine(char kind, const char* text, std::size_t length) {
    char line[4096];
    const std::size_t kept = std::min(length, sizeof line - 2);
    line[0] = kind;
    for (std::size_t i = 0; i < kept; ++i) {
        line[i + 1] = text[i] == '\n' ? ' ' : text[i];
    }
    line[kept + 1] = '\n';
    writeAll(childChannel, line, kept + 2);
}

// A line of any length, for the verdict and findings.
void sendLongLine(char kind, const std::string& text) {
    std::string line = kind + text + "\n";
    std::replace(line.begin() + 1, line.end() - 1, '\n', ' ');
    writeAll(childChannel, line.data(), line.size());
}

// Colour and cursor sequences in what a plug-in prints mean nothing in a
// report: "ESC [ parameters letter" is left out.
std::string withoutEscapes(const std::string& line) {
    std::string plain;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\x1b') {
            plain += line[i];
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '[') {
            i += 2;
            while (i < line.size() && !(line[i] >= '@' && line[i] <= '~')) {
                ++i;
            }
        }
    }
    return plain;
}

void sendStep(const char* text, std::size_t length) {
    sendLine('S', text, length);
}

[[noreturn]] void runChild(const std::function<CheckOutcome()>& work, int channel, int output) {
    // Everything the plug-in prints goes to the parent, which keeps the last
    // lines for the report.
    dup2(output, STDERR_FILENO);
    dup2(output, STDOUT_FILENO);
    close(output);
    childChannel = channel;
    setStepSink(sendStep);
    const CheckOutcome outcome = guarded(work);
    setStepSink(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    for (const Finding& finding : outcome.findings) {
        sendLongLine('F', kSeverityLetters[static_cast<int>(finding.severity)] + finding.text);
    }
    if (outcome.outputsDiffer) {
        sendLongLine('D', "");
    }
    const char letter = outcome.interrupted ? kInterruptedLetter : kVerdictLetters[static_cast<int>(outcome.verdict)];
    sendLongLine('V', letter + outcome.detail);
    // No exit handlers: the plug-in's static destructors are not ours to run.
    _exit(0);
}

// What the parent gathers from a child.
struct ChildReport {
    std::string channel;
    std::string output;
    bool timedOut = false;

    void keepOutput(const char* data, std::size_t size, bool echo) {
        if (echo) {
            writeAll(STDERR_FILENO, data, size);
        }
        output.append(data, size);
        if (output.size() > 2 * kOutputKept) {
            output.erase(0, output.size() - kOutputKept);
        }
    }

    // The last line of the channel that starts with `kind`, without it.
    bool lastLine(char kind, std::string& text) const {
        bool found = false;
        std::size_t start = 0;
        for (std::size_t end = channel.find('\n'); end != std::string::npos; end = channel.find('\n', start)) {
            if (end > start && channel[start] == kind) {
                text = channel.substr(start + 1, end - start - 1);
                found = true;
            }
            start = end + 1;
        }
        return found;
    }

    std::string lastStep() const {
        std::string step;
        lastLine('S', step);
        return step;
    }

    // Every line of the channel that starts with `kind`, without it.
    std::vector<std::string> lines(char kind) const {
        std::vector<std::string> found;
        std::size_t start = 0;
        for (std::size_t end = channel.find('\n'); end != std::string::npos; end = channel.find('\n', start)) {
            if (end > start && channel[start] == kind) {
                found.push_back(channel.substr(start + 1, end - start - 1));
            }
            start = end + 1;
        }
        return found;
    }

    bool verdict(CheckOutcome& outcome) const {
        std::string message;
        if (!lastLine('V', message) || message.empty()) {
            return false;
        }
        for (const std::string& line : lines('F')) {
            if (!line.empty()) {
                outcome.findings.push_back(
                    {line[0] == kSeverityLetters[0] ? Severity::Warning : Severity::Error, line.substr(1)});
            }
        }
        outcome.outputsDiffer = !lines('D').empty();
        outcome.detail = message.substr(1);
        if (message[0] == kInterruptedLetter) {
            outcome.verdict = Verdict::Error;
            outcome.interrupted = true;
            return true;
        }
        for (std::size_t verdict = 0; verdict < kVerdicts; ++verdict) {
            if (message[0] == kVerdictLetters[verdict]) {
                outcome.verdict = static_cast<Verdict>(verdict);
                return true;
            }
        }
        return false;
    }

    // The last distinct lines, a run of the same line shown once with its
    // count.
    std::vector<std::string> lastOutputLines() const {
        std::vector<std::string> lines;
        std::string previous;
        int repeats = 0;
        auto flush = [&] {
            if (repeats > 0) {
                lines.insert(lines.begin(),
                             repeats > 1 ? format("%s (%d times)", previous.c_str(), repeats) : previous);
            }
        };
        std::size_t end = output.size();
        while (end > 0 && lines.size() < kPluginOutputLines) {
            const std::size_t newline = output.rfind('\n', end - 1);
            const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
            std::string line = withoutEscapes(output.substr(start, end - start));
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.pop_back();
            }
            if (!line.empty()) {
                if (line == previous) {
                    ++repeats;
                } else {
                    flush();
                    previous = line;
                    repeats = 1;
                }
            }
            if (newline == std::string::npos) {
                break;
            }
            end = newline;
        }
        if (lines.size() < kPluginOutputLines) {
            flush();
        }
        return lines;
    }
};

// Reads both pipes until the channel closes or the time is up.
void gather(int channel, int output, int timeoutSeconds, bool echo, ChildReport& report) {
    const double deadline = secondsNow() + timeoutSeconds;
    bool channelOpen = true;
    bool outputOpen = true;
    while (channelOpen) {
        const double left = deadline - secondsNow();
        if (left <= 0.0) {
            report.timedOut = true;
            return;
        }
        pollfd waiting[2] = {{channel, POLLIN, 0}, {outputOpen ? output : -1, POLLIN, 0}};
        const int ready = poll(waiting, 2, static_cast<int>(left * 1000.0) + 1);
        if (ready <= 0) {
            continue;
        }
        char buffer[4096];
        if ((waiting[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t got = read(output, buffer, sizeof buffer);
            if (got > 0) {
                report.keepOutput(buffer, static_cast<std::size_t>(got), echo);
            } else if (got == 0 || errno != EINTR) {
                outputOpen = false;
            }
        }
        if ((waiting[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            const ssize_t got = read(channel, buffer, sizeof buffer);
            if (got > 0) {
                report.channel.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                channelOpen = false;
            }
        }
    }
}

// What the child printed after its channel closed (a crash report, say);
// a grandchild holding the pipe open does not stall the host.
void drainOutput(int output, bool echo, ChildReport& report) {
    constexpr int kDrainMilliseconds = 200;
    for (;;) {
        pollfd waiting{output, POLLIN, 0};
        if (poll(&waiting, 1, kDrainMilliseconds) <= 0) {
            return;
        }
        char buffer[4096];
        const ssize_t got = read(output, buffer, sizeof buffer);
        if (got <= 0) {
            return;
        }
        report.keepOutput(buffer, static_cast<std::size_t>(got), echo);
    }
}

// The board on which a child records its calls into the plug-in, in memory
// the parent still reads after the child has died.
PluginCallBoard* sharedCallBoard() {
    static PluginCallBoard* board = [] {
        void* memory =
            mmap(nullptr, sizeof(PluginCallBoard), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        return memory == MAP_FAILED ? nullptr : static_cast<PluginCallBoard*>(memory);
    }();
    return board;
}

}  // namespace

bool isolationAvailable() {
    return true;
}

void endCheckWithError(const char* detail) {
    if (childChannel < 0) {
        last_words::endWith(detail);
    }
    char line[2048];
    line[0] = kSeverityLetters[static_cast<int>(Severity::Error)];
    const std::size_t length = std::min(std::strlen(detail), sizeof line - 1);
    std::memcpy(line + 1, detail, length);
    sendLine('F', line, length + 1);
    sendLine('V', line, length + 1);
    _exit(0);
}

CheckOutcome runIsolated(const std::function<CheckOutcome()>& work, int timeoutSeconds, bool echo) {
    std::fflush(stdout);
    std::fflush(stderr);
    PluginCallBoard* board = sharedCallBoard();
    if (board != nullptr) {
        clearPluginCalls(*board);
        recordPluginCallsOn(board);
    }
    int channel[2];
    int output[2];
    if (pipe(channel) != 0) {
        return CheckOutcome::error(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    if (pipe(output) != 0) {
        close(channel[0]);
        close(channel[1]);
        return CheckOutcome::error(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    const pid_t child = fork();
    if (child < 0) {
        for (int fd : {channel[0], channel[1], output[0], output[1]}) {
            close(fd);
        }
        return CheckOutcome::error(std::string("cannot start a check process: ") + std::strerror(errno));
    }
    if (child == 0) {
        close(channel[0]);
        close(output[0]);
        runChild(work, channel[1], output[1]);
    }
    close(channel[1]);
    close(output[1]);

    ChildReport report;
    gather(channel[0], output[0], timeoutSeconds, echo, report);
    close(channel[0]);
    if (report.timedOut) {
        kill(child, SIGKILL);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    drainOutput(output[0], echo, report);
    close(output[0]);

    CheckOutcome outcome;
    if (report.timedOut) {
        outcome = interrupted(format("did not finish within %d s (stopped)", timeoutSeconds));
    } else if (WIFSIGNALED(status)) {
        outcome = interrupted(
            format("the plug-in crashed the check: signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status))));
    } else if (!report.verdict(outcome)) {
        // A plug-in that calls exit(), or a crash that a sanitizer runtime
        // caught and turned into an exit.
        outcome = interrupted(format("the plug-in crashed or ended the check process (exit status %d)",
                                     WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    }
    if (outcome.interrupted) {
        outcome.step = report.lastStep();
        if (board != nullptr) {
            char calls[kCallTextBytes];
            describeCallsInProgress(*board, calls, sizeof calls);
            outcome.call = calls;
        }
    }
    if (outcome.verdict == Verdict::Error) {
        outcome.pluginOutput = report.lastOutputLines();
    }
    return outcome;
}

#endif
