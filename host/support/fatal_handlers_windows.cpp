#include "support/fatal_handlers.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace fatal_handlers {
namespace {

std::atomic<LastAct> lastAct{nullptr};
std::atomic<FaultClaim> faultClaim{nullptr};
std::atomic<bool> installed{false};
std::atomic<bool> exitsTold{false};

void act(const Ending& ending) {
    if (const LastAct current = lastAct.load()) {
        current(ending);
    }
}

// Ends the process with the exit code documented for `ending`, after the
// act; nothing else of the process runs (no exit handlers, no plug-in
// code).
[[noreturn]] void endWith(const Ending& ending) {
    act(ending);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCodeFor(ending)));
    for (;;) {
    }
}

// First of all handlers, for every exception: a fault on a guarded page is
// the claim's. Everything else goes on to the plug-in's own handlers.
LONG WINAPI onException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    const FaultClaim claim = faultClaim.load();
    if (claim != nullptr && record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        const ULONG_PTR kind = record->ExceptionInformation[0];
        claim(static_cast<std::uintptr_t>(record->ExceptionInformation[1]), kind == 0   ? FaultAccess::Read
                                                                            : kind == 1 ? FaultAccess::Write
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

[[noreturn]] void onTerminate() {
    Ending ending;
    ending.kind = EndingKind::Threw;
    FixedText text(ending.text, sizeof ending.text);
    describeCurrentException(text);
    endWith(ending);
}

void onExit() {
    noteExit(-1);
}

// The hooks a plug-in's imports are pointed at. Each tells the act, then
// ends the process as asked, through the system; the plug-in's C runtime
// does not get to run its own exit handlers.
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

struct EndingImport {
    const char* name;
    void* hook;
};

const EndingImport kEndingImports[] = {
    {"ExitProcess", reinterpret_cast<void*>(hookedExitProcess)},
    {"TerminateProcess", reinterpret_cast<void*>(hookedTerminateProcess)},
    {"exit", reinterpret_cast<void*>(hookedExit)},
    {"_exit", reinterpret_cast<void*>(hookedExit)},
    {"_Exit", reinterpret_cast<void*>(hookedExit)},
    {"quick_exit", reinterpret_cast<void*>(hookedExit)},
    {"abort", reinterpret_cast<void*>(hookedAbort)},
};

void* hookFor(const char* name) {
    for (const EndingImport& entry : kEndingImports) {
        if (std::strcmp(entry.name, name) == 0) {
            return entry.hook;
        }
    }
    return nullptr;
}

// Points the import address table entries of `module` that name a function
// of kEndingImports at its hook.
void hookImports(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return;
    }
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); library->Name != 0;
         ++library) {
        const DWORD namesAt = library->OriginalFirstThunk != 0 ? library->OriginalFirstThunk : library->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                continue;
            }
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            void* hook = hookFor(reinterpret_cast<const char*>(byName->Name));
            DWORD previous = 0;
            if (hook != nullptr &&
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &previous)) {
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, previous, &previous);
            }
        }
    }
}

void installOnce() {
    if (installed.exchange(true)) {
        return;
    }
    // No error dialogs: a plug-in's crash is reported, not shown in a box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    AddVectoredExceptionHandler(1, onException);
    SetUnhandledExceptionFilter(onUnhandled);
    std::signal(SIGABRT, onAbort);
    std::set_terminate(onTerminate);
    std::atexit(onExit);
}

}  // namespace

void install(LastAct act, bool tellExits) {
    lastAct.store(act);
    exitsTold.store(tellExits);
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
    act(ending);
}

void hookEndingsOf(const void* address) {
    HMODULE module = nullptr;
    if (exitsTold.load() &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(address), &module)) {
        hookImports(module);
    }
}

}  // namespace fatal_handlers
