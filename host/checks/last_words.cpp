#include "checks/last_words.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "checks/isolation.h"
#include "plugin/plugin_calls.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace last_words {
namespace {

// Prepared text, kept in a buffer the handlers can read without allocating.
std::string words;
std::atomic<bool> ready{false};
bool escapeForJson = false;
std::atomic<bool> speaking{false};
int watchdogSeconds = 0;

void put(const char* text, std::size_t length) {
    std::fflush(stdout);
    while (length > 0) {
#ifdef _WIN32
        const int written = _write(1, text, static_cast<unsigned>(length));
#else
        const ssize_t written = write(STDOUT_FILENO, text, length);
#endif
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

void putText(const char* text) {
    put(text, std::strlen(text));
}

void putEscaped(const char* text) {
    if (!escapeForJson) {
        putText(text);
        return;
    }
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            const char pair[2] = {'\\', *c};
            put(pair, 2);
        } else if (byte < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            const char escaped[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 15]};
            put(escaped, 6);
        } else {
            put(c, 1);
        }
    }
}

// Decimal or hexadecimal text of a number, without allocating.
const char* numberText(unsigned long value, unsigned base, char (&buffer)[24]) {
    char* end = buffer + sizeof buffer - 1;
    *end = '\0';
    char* first = end;
    do {
        *--first = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0 && first > buffer);
    return first;
}

// Writes the prepared words with `cause` (its parts joined) and the step,
// then ends the process with status 1.
[[noreturn]] void speak(const char* causeStart, const char* causeNumber, const char* causeEnd) {
    if (speaking.exchange(true)) {
        // A second thread crashed while the first was speaking.
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
    if (ready.load()) {
        const char* step = inProcessStep();
        static char calls[kCallTextBytes];
        describeCallsInProgress(pluginCallBoard(), calls, sizeof calls);
        for (const char* c = words.c_str(); *c != '\0'; ++c) {
            if (*c == kCause) {
                putEscaped(causeStart);
                putEscaped(causeNumber);
                putEscaped(causeEnd);
            } else if (*c == kStep) {
                putEscaped(step[0] != '\0' ? step : "before its first step");
            } else if (*c == kCall) {
                putEscaped(calls[0] != '\0' ? calls : "no plug-in call");
            } else {
                put(c, 1);
            }
        }
    }
    std::_Exit(1);
}

#ifdef _WIN32

LONG WINAPI onException(EXCEPTION_POINTERS* exception) {
    char number[24];
    speak("the plug-in crashed the host: exception 0x",
          numberText(static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode), 16, number), "");
}

void installCrashHandlers() {
    SetUnhandledExceptionFilter(onException);
}

#else

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void onSignal(int signal) {
    char number[24];
    const char* name = signal == SIGSEGV ? " (SIGSEGV)"
                       : signal == SIGBUS ? " (SIGBUS)"
                       : signal == SIGFPE ? " (SIGFPE)"
                       : signal == SIGILL ? " (SIGILL)"
                       : signal == SIGABRT ? " (SIGABRT)"
                                           : "";
    speak("the plug-in crashed the host: signal ", numberText(static_cast<unsigned long>(signal), 10, number), name);
}

void installCrashHandlers() {
    // A crash by stack overflow needs a stack of its own to report on.
    static char alternateStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals) {
        sigaction(signal, &action, nullptr);
    }
}

#endif

// Ends the host when an in-process check overruns its time.
class Watchdog {
public:
    Watchdog() : thread_([this] { watch(); }) { thread_.detach(); }
    void endWith(const char* cause) { speak(cause, "", ""); }

    void arm(int seconds) {
        std::lock_guard<std::mutex> lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        watchdogSeconds = seconds;
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
        for (;;) {
            if (!armed_) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                char number[24];
                speak("did not finish within ", numberText(static_cast<unsigned long>(watchdogSeconds), 10, number),
                      " s");
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_{};
    bool armed_ = false;
    std::thread thread_;
};

// Lives until the process ends; the host never waits for its thread.
Watchdog* watchdog = nullptr;

}  // namespace

void install() {
    if (watchdog != nullptr) {
        return;
    }
    installCrashHandlers();
    watchdog = new Watchdog;
}

void prepare(std::string text, bool json) {
    ready = false;
    words = std::move(text);
    escapeForJson = json;
    ready = true;
}

void clear() {
    ready = false;
}

void endWith(const char* cause) {
    speak(cause, "", "");
}

void arm(int seconds) {
    if (watchdog != nullptr) {
        watchdog->arm(seconds);
    }
}

void disarm() {
    if (watchdog != nullptr) {
        watchdog->disarm();
    }
}

}  // namespace last_words
