#include "support/last_words.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "plugin/plugin_calls.h"
#include "support/fatal_handlers.h"
#include "support/fixed_text.h"
#include "support/watch_page.h"

#ifdef _WIN32
#include <io.h>
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

void put(const char* text, std::size_t length) {
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

void putEscaped(const char* text) {
    if (!escapeForJson) {
        put(text, std::strlen(text));
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

// Writes the prepared words with `cause` and ends the process with status
// 1; returns at once when no words are prepared.
void speak(const char* cause) {
    if (!ready.load()) {
        return;
    }
    if (speaking.exchange(true)) {
        // Another thread ended the work while the first was speaking.
        for (;;) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }
    std::fflush(stdout);
    const WatchPage& page = watchPage();
    static char calls[512];
    describeCallsInProgress(page.calls, calls, sizeof calls);
    for (const char* c = words.c_str(); *c != '\0'; ++c) {
        if (*c == kCause) {
            putEscaped(cause);
        } else if (*c == kStep) {
            putEscaped(page.step.empty() ? "before its first step" : page.step.read());
        } else if (*c == kCall) {
            putEscaped(calls[0] != '\0' ? calls : "no plug-in call");
        } else {
            put(c, 1);
        }
    }
    // The exit hooks see this exit too; they find nothing left to say.
    ready = false;
    std::_Exit(1);
}

// The fatal handlers' and exit hooks' last act.
void speakOfEnding(const Ending& ending) {
    static char cause[256];
    FixedText text(cause, sizeof cause);
    describeEnding(ending, text.text("the plug-in "));
    speak(cause);
}

// Ends the process when a piece of work overruns its time.
class Watchdog {
public:
    Watchdog() : thread_([this] { watch(); }) { thread_.detach(); }

    void arm(int seconds) {
        std::lock_guard<std::mutex> lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        seconds_ = seconds;
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
                char cause[64];
                FixedText(cause, sizeof cause).text("did not finish within ").number(seconds_).text(" s");
                speak(cause);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::chrono::steady_clock::time_point deadline_{};
    int seconds_ = 0;
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
    fatal_handlers::install(speakOfEnding, true);
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
    speak(cause);
    std::_Exit(1);
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
