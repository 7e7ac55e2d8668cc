#include <signal.h>
#include <ucontext.h>

#include "support/fatal_handler_parts.h"

namespace fatal_handlers {
namespace {

FaultAccess accessOf(void* context) {
#if defined(__x86_64__) || defined(__i386__)
    // Bit 1 of the page-fault error code: the access was a write.
    const auto* machine = static_cast<const ucontext_t*>(context);
    return (machine->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? FaultAccess::Write : FaultAccess::Read;
#else
    (void)context;
    return FaultAccess::Unknown;
#endif
}

extern "C" void onFatalSignal(int signal, siginfo_t* info, void* context) {
    if (signal == SIGSEGV || signal == SIGBUS) {
        parts::runClaim(reinterpret_cast<std::uintptr_t>(info->si_addr), accessOf(context));
    }
    parts::runAct(endingBySignal(signal));
    // Dies of the same signal once the handler returns (it is blocked until
    // then), as a shell and a parent expect of a crash.
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
}

}  // namespace

void parts::installSystemHandlers() {
    // A stack overflow needs a stack of its own to report on.
    static char alternateStack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    std::size_t count = 0;
    const EndingCause* signals = fatalSignals(count);
    for (std::size_t i = 0; i < count; ++i) {
        sigaction(static_cast<int>(signals[i].code), &action, nullptr);
    }
}

void hookEndingsOf(const void*) {}

}  // namespace fatal_handlers
