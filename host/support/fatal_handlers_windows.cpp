#include <windows.h>

#include <csignal>

#include "support/fatal_handler_parts.h"
#include "support/import_hooks.h"

namespace fatal_handlers {
namespace {

// Ends the process with the exit code documented for `ending`, after the
// act; nothing else of the process runs (no exit handlers, no plug-in
// code).
[[noreturn]] void endWith(const Ending& ending) {
    parts::runAct(ending);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCodeFor(ending)));
    for (;;) {
    }
}

// First of all handlers, for every exception: a fault on a guarded page is
// the claim's. Everything else goes on to the plug-in's own handlers.
LONG WINAPI onException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        const ULONG_PTR kind = record->ExceptionInformation[0];
        parts::runClaim(static_cast<std::uintptr_t>(record->ExceptionInformation[1]), kind == 0 ? FaultAccess::Read
                                                                                      : kind == 1
                                                                                          ? FaultAccess::Write
                                                                                          : FaultAccess::Unknown);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Last: an exception that nothing handled ends the process.
LONG WINAPI onUnhandled(EXCEPTION_POINTERS* exception) {
    endWith(endingByExit(static_cast<std::uint32_t>(exception->ExceptionRecord->ExceptionCode)));
}

extern "C" void onAbort(int) {
    Ending ending;
    ending.kind = EndingKind::Aborted;
    ending.code = SIGABRT;
    endWith(ending);
}

// What a plug-in's imports of the functions that end a process are pointed
// at: each tells the act, then ends the process as asked, through the
// system; the plug-in's C runtime does not get to run its exit handlers.
[[noreturn]] void exitWith(UINT status) {
    noteExit(static_cast<int>(status));
    ExitProcess(status);
}

void WINAPI hookedExitProcess(UINT status) {
    exitWith(status);
}

BOOL WINAPI hookedTerminateProcess(HANDLE process, UINT status) {
    if (process == GetCurrentProcess() || GetProcessId(process) == GetCurrentProcessId()) {
        noteExit(static_cast<int>(status));
    }
    return TerminateProcess(process, status);
}

void __cdecl hookedExit(int status) {
    exitWith(static_cast<UINT>(status));
}

void __cdecl hookedAbort() {
    onAbort(SIGABRT);
}

const ImportHook kEndingImports[] = {
    {"ExitProcess", reinterpret_cast<void*>(hookedExitProcess), nullptr},
    {"TerminateProcess", reinterpret_cast<void*>(hookedTerminateProcess), nullptr},
    {"exit", reinterpret_cast<void*>(hookedExit), nullptr},
    {"_exit", reinterpret_cast<void*>(hookedExit), nullptr},
    {"_Exit", reinterpret_cast<void*>(hookedExit), nullptr},
    {"quick_exit", reinterpret_cast<void*>(hookedExit), nullptr},
    {"abort", reinterpret_cast<void*>(hookedAbort), nullptr},
};

}  // namespace

void parts::installSystemHandlers() {
    // No error dialogs: a plug-in's crash is reported, not shown in a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    AddVectoredExceptionHandler(1, onException);
    SetUnhandledExceptionFilter(onUnhandled);
    std::signal(SIGABRT, onAbort);
}

void hookEndingsOf(const void* address) {
    HMODULE module = nullptr;
    if (parts::exitsTold() &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module)) {
        hookImports(module, kEndingImports, sizeof kEndingImports / sizeof kEndingImports[0]);
    }
}

}  // namespace fatal_handlers
