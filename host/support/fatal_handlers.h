// The one installer of the handlers that see a process end badly:
//   - on POSIX systems the fatal signals (process_endings.h lists them),
//     on an alternate stack so that a stack overflow is seen too;
//   - on Windows a vectored exception handler, which sees every fault first
//     (for guarded pages), the last-chance filter for exceptions that
//     nothing handled (a plug-in, or the system, may handle its own), and
//     abort();
//   - C++ exceptions that nobody caught, and exits while the process is not
//     done (atexit; on POSIX also _exit, see exit_hooks_posix.cpp).
// Each hands the ending to the last act of the process's mode: a watched
// child records it for its parent, a check inside the host speaks its last
// words. The plug-in calls it interrupted are on the watch page.
#pragma once

#include <cstdint>

#include "support/process_endings.h"

namespace fatal_handlers {

// Called from a handler with how the process is ending; must allocate
// nothing. It may end the process itself; when it returns, the process ends
// the way the ending says: it dies of its signal, or exits with the
// exception's exit code. Exits are only told (Exited): they go on after it.
using LastAct = void (*)(const Ending& ending);

// Installs the handlers once; each call sets the act (null: none) and
// whether the act wants to hear of exits (see hookEndingsOf).
void install(LastAct act, bool tellExits = false);

enum class FaultAccess { Unknown, Read, Write };
// Sees every access fault before anything else; ends the process itself
// when the address is its own (a guarded page), returns otherwise.
using FaultClaim = void (*)(std::uintptr_t address, FaultAccess access);
// Sets the claim (null: none), installing the handlers if need be.
void claimFaults(FaultClaim claim);

// From the exit hooks: the process is exiting with `status` (-1 when not
// known).
void noteExit(int status);

// On Windows, while the act wants to hear of exits: the library containing
// `address` calls the functions that end a process (ExitProcess,
// TerminateProcess, exit, _exit, _Exit, abort) through hooks that tell the
// act first; a plug-in's own C runtime calls none of plughost's exit
// handlers otherwise. Only its own imports are hooked. POSIX systems need
// none of this: plughost exports _exit, and exit runs its atexit handlers.
void hookEndingsOf(const void* address);

}  // namespace fatal_handlers
