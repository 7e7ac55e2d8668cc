#include "support/child_process.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "support/child_mode.h"
#include "support/shared_block.h"

namespace {

// How often the parent looks at the pipes while the child is quiet, and how
// long it reads what a child prints after its end (a grandchild holding the
// pipe open does not stall it).
constexpr DWORD kPollMilliseconds = 5;
constexpr DWORD kDrainMilliseconds = 200;

HANDLE asHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

std::intptr_t asValue(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle);
}

std::wstring ownExecutable() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// Arguments come from main() in the system's ANSI code page, and go back to
// it the same way.
std::wstring widened(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// One argument quoted the way the C runtime splits a command line.
std::wstring quoted(const std::wstring& argument) {
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(2 * backslashes, L'\\');
    return result + L"\"";
}

// What follows the program's name on this process's own command line.
std::wstring ownArguments() {
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        for (++line; *line != L'\0' && *line != L'"'; ++line) {
        }
        line += *line == L'"' ? 1 : 0;
    } else {
        for (; *line != L'\0' && *line != L' ' && *line != L'\t'; ++line) {
        }
    }
    return line;
}

void closeIfOpen(std::intptr_t& handle) {
    if (handle != -1) {
        CloseHandle(asHandle(handle));
        handle = -1;
    }
}

// The null device, as a handle a child inherits.
HANDLE nullDevice() {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, 0, nullptr);
}

// One of this process's standard handles, as a copy a child inherits.
HANDLE inheritableCopy(DWORD which) {
    HANDLE copy = nullptr;
    const HANDLE own = GetStdHandle(which);
    if (own == nullptr || own == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return nullDevice();
    }
    return copy;
}

// A pipe whose writing end the child inherits.
bool makePipe(HANDLE& reading, HANDLE& writing) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&reading, &writing, &inherit, 0)) {
        return false;
    }
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// The job every child joins: when this process ends, however it ends, the
// system ends its children with it.
HANDLE childrensJob() {
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created != nullptr) {
            SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return created;
    }();
    return job;
}

std::string lastErrorText(const char* what) {
    return std::string(what) + " (Windows error " + std::to_string(GetLastError()) + ")";
}

// Reads what the pipe holds now, without waiting; false at its end.
bool readAvailable(std::intptr_t pipe, const ChildProcess::Sink& sink, bool& gotAny) {
    DWORD available = 0;
    if (!PeekNamedPipe(asHandle(pipe), nullptr, 0, nullptr, &available, nullptr)) {
        return false;
    }
    while (available > 0) {
        char buffer[65536];
        DWORD got = 0;
        if (!ReadFile(asHandle(pipe), buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) {
            return false;
        }
        if (sink) {
            sink(buffer, got);
        }
        gotAny = true;
        available -= got;
    }
    return true;
}

// The arguments from `from` on, each quoted and after a space.
std::wstring commandLine(const std::vector<std::string>& arguments, std::size_t from) {
    std::wstring line;
    for (std::size_t i = from; i < arguments.size(); ++i) {
        line += L" " + quoted(widened(arguments[i]));
    }
    return line;
}

}  // namespace

ChildProcess ChildProcess::runSelf(ChildOutput output, const std::vector<std::string>& arguments,
                                   const SharedBlock* shared) {
    return start(output, ownExecutable(), commandLine(arguments, 0), shared, true);
}

ChildProcess ChildProcess::runSelfAgain(ChildOutput output, const SharedBlock* shared) {
    return start(output, ownExecutable(), ownArguments(), shared, true);
}

ChildProcess ChildProcess::runSelfPlainly(const std::vector<std::string>& arguments) {
    return start(ChildOutput::Collect, ownExecutable(), commandLine(arguments, 0), nullptr, false);
}

ChildProcess ChildProcess::run(const std::vector<std::string>& arguments) {
    return start(ChildOutput::Collect, widened(arguments.at(0)), commandLine(arguments, 1), nullptr, false);
}

// `rest` is what follows the program's name, and for plughost itself the
// marker and its two handles, on the command line.
ChildProcess ChildProcess::start(ChildOutput output, const std::wstring& program, const std::wstring& rest,
                                 const SharedBlock* shared, bool self) {
    ChildProcess child;
    HANDLE channelRead = nullptr;
    HANDLE channelWrite = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!makePipe(channelRead, channelWrite) ||
        (output == ChildOutput::Collect && !makePipe(outputRead, outputWrite))) {
        child.exit_.problem = lastErrorText("cannot create a pipe");
        for (HANDLE handle : {channelRead, channelWrite}) {
            if (handle != nullptr) {
                CloseHandle(handle);
            }
        }
        return child;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    if (output == ChildOutput::Inherit) {
        startup.hStdInput = inheritableCopy(STD_INPUT_HANDLE);
        startup.hStdOutput = inheritableCopy(STD_OUTPUT_HANDLE);
        startup.hStdError = inheritableCopy(STD_ERROR_HANDLE);
    } else {
        startup.hStdInput = nullDevice();
        startup.hStdOutput = !self ? channelWrite : output == ChildOutput::Collect ? outputWrite : nullDevice();
        startup.hStdError = output == ChildOutput::Collect ? outputWrite : startup.hStdOutput;
    }
    const HANDLE sharedHandle = shared != nullptr ? asHandle(shared->handle()) : nullptr;
    if (sharedHandle != nullptr) {
        SetHandleInformation(sharedHandle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    std::wstring line = quoted(program);
    if (self) {
        line += L" " + widened(kChildMarker) + L" " + std::to_wstring(static_cast<long long>(asValue(channelWrite))) +
                L" " + (shared != nullptr ? widened(shared->childHandle()) : widened(kNoHandle));
    }
    line += rest;
    // A child shares this process's console, and so its Ctrl-C; without
    // one, it opens no window of its own.
    const DWORD flags = GetConsoleWindow() != nullptr ? 0 : CREATE_NO_WINDOW;
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    std::fflush(stderr);
    const bool started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags | CREATE_SUSPENDED,
                                        nullptr, nullptr, &startup, &process) != 0;
    if (started) {
        if (childrensJob() != nullptr) {
            AssignProcessToJobObject(childrensJob(), process.hProcess);
        }
        ResumeThread(process.hThread);
    }
    if (!started) {
        child.exit_.problem = lastErrorText("cannot start the program");
    }
    if (sharedHandle != nullptr) {
        SetHandleInformation(sharedHandle, HANDLE_FLAG_INHERIT, 0);
    }
    // The child's ends and standard handles are the child's alone now.
    HANDLE childsOnly[] = {channelWrite, outputWrite, startup.hStdInput, startup.hStdOutput, startup.hStdError};
    for (std::size_t i = 0; i < sizeof childsOnly / sizeof childsOnly[0]; ++i) {
        if (childsOnly[i] != nullptr && std::find(childsOnly, childsOnly + i, childsOnly[i]) == childsOnly + i) {
            CloseHandle(childsOnly[i]);
        }
    }
    if (!started) {
        CloseHandle(channelRead);
        if (outputRead != nullptr) {
            CloseHandle(outputRead);
        }
        return child;
    }
    CloseHandle(process.hThread);
    child.exit_.started = true;
    child.process_ = asValue(process.hProcess);
    child.channel_ = asValue(channelRead);
    child.output_ = outputRead != nullptr ? asValue(outputRead) : -1;
    child.id_ = static_cast<long>(process.dwProcessId);
    return child;
}

ChildProcess::~ChildProcess() {
    if (process_ != 0 && !waited_) {
        finish(0.0, {}, {});
    }
    if (process_ != 0) {
        CloseHandle(asHandle(process_));
    }
}

ChildExit ChildProcess::finish(double seconds, const Sink& channel, const Sink& output) {
    if (process_ == 0 || waited_) {
        return exit_;
    }
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0);
    for (;;) {
        if (seconds >= 0.0 && GetTickCount64() >= deadline) {
            exit_.timedOut = true;
            TerminateProcess(asHandle(process_), 1);
            break;
        }
        bool gotAny = false;
        if (output_ != -1 && !readAvailable(output_, output, gotAny)) {
            closeIfOpen(output_);
        }
        if (!readAvailable(channel_, channel, gotAny)) {
            break;
        }
        // A child that has ended has said all, even when something it
        // started still holds its channel open.
        if (!gotAny && WaitForSingleObject(asHandle(process_), kPollMilliseconds) == WAIT_OBJECT_0) {
            readAvailable(channel_, channel, gotAny);
            break;
        }
    }
    closeIfOpen(channel_);
    // All said, but perhaps not yet ended.
    const ULONGLONG now = GetTickCount64();
    const DWORD left = seconds < 0.0 ? INFINITE : now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    if (!exit_.timedOut && WaitForSingleObject(asHandle(process_), left) == WAIT_TIMEOUT) {
        exit_.timedOut = true;
        TerminateProcess(asHandle(process_), 1);
    }
    WaitForSingleObject(asHandle(process_), INFINITE);
    waited_ = true;
    const ULONGLONG drainEnd = GetTickCount64() + kDrainMilliseconds;
    while (output_ != -1 && GetTickCount64() < drainEnd) {
        bool gotAny = false;
        if (!readAvailable(output_, output, gotAny)) {
            closeIfOpen(output_);
        } else if (!gotAny) {
            Sleep(kPollMilliseconds);
        }
    }
    closeIfOpen(output_);
    DWORD status = 1;
    GetExitCodeProcess(asHandle(process_), &status);
    exit_.code = static_cast<std::int64_t>(status);
    return exit_;
}

long currentProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool processRuns(long id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
