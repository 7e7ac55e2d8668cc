#include "support/fatal_handlers.h"

#include <atomic>
#include <cstdlib>
#include <exception>

#include "support/fatal_handler_parts.h"

namespace fatal_handlers {
namespace {

std::atomic<LastAct> lastAct{nullptr};
std::atomic<FaultClaim> faultClaim{nullptr};
std::atomic<bool> tellExits{false};
std::atomic<bool> installed{false};

[[noreturn]] void onTerminate() {
    Ending ending;
    ending.kind = EndingKind::Threw;
    FixedText text(ending.text, sizeof ending.text);
    describeCurrentException(text);
    parts::runAct(ending);
    std::abort();
}

void onExit() {
    noteExit(-1);
}

void installOnce() {
    if (installed.exchange(true)) {
        return;
    }
    parts::installSystemHandlers();
    std::set_terminate(onTerminate);
    std::atexit(onExit);
}

}  // namespace

void install(LastAct act, bool exits) {
    lastAct.store(act);
    tellExits.store(exits);
    installOnce();
}

void claimFaults(FaultClaim claim) {
    faultClaim.store(claim);
    installOnce();
}

void noteExit(int status) {
    Ending ending;
    ending.kind = EndingKind::Exited;
    ending.code = status;
    parts::runAct(ending);
}

namespace parts {

void runAct(const Ending& ending) {
    if (const LastAct act = lastAct.load()) {
        act(ending);
    }
}

void runClaim(std::uintptr_t address, FaultAccess access) {
    if (const FaultClaim claim = faultClaim.load()) {
        claim(address, access);
    }
}

bool exitsTold() {
    return tellExits.load();
}

}  // namespace parts
}  // namespace fatal_handlers
