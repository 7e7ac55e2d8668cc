#include "commands/fatal_signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "audio/pending_output.h"
#include "plugin/plugin_calls.h"

namespace {

struct SignalName {
    int number;
    const char* name;
};

constexpr SignalName kCrashes[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"}, {SIGABRT, "SIGABRT"},
};
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// Signal handlers may only write.
void say(const char* text) {
    const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// "signal 11, SIGSEGV", without allocating.
void sayWhich(int signal) {
    char digits[12];
    char* at = digits + sizeof digits;
    *--at = '\0';
    for (unsigned value = static_cast<unsigned>(signal); at == digits + sizeof digits - 1 || value > 0; value /= 10) {
        *--at = static_cast<char>('0' + value % 10);
    }
    say("signal ");
    say(at);
    for (const SignalName& entry : kCrashes) {
        if (entry.number == signal) {
            say(", ");
            say(entry.name);
        }
    }
}

void dieOf(int signal) {
    pending_output::removeAnnounced();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    raise(signal);  // delivered once the handler returns
}

extern "C" void onInterrupt(int signal) {
    dieOf(signal);
}

extern "C" void onCrash(int signal) {
    static char calls[512];
    const bool inPlugin = describeCallsInProgress(pluginCallBoard(), calls, sizeof calls) > 0;
    say(inPlugin ? "plughost: the plug-in crashed (" : "plughost: crashed (");
    sayWhich(signal);
    if (inPlugin) {
        say(") in ");
        say(calls);
        say("\n");
    } else {
        say(") outside the plug-in; please report it\n");
    }
    dieOf(signal);
}

}  // namespace

void installFatalSignalHandlers() {
    // A stack overflow inside the plug-in needs a stack of its own to report on.
    static char alternateStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    action.sa_handler = onCrash;
    for (const SignalName& entry : kCrashes) {
        sigaction(entry.number, &action, nullptr);
    }
    action.sa_handler = onInterrupt;
    for (int signal : kInterrupts) {
        sigaction(signal, &action, nullptr);
    }
}
