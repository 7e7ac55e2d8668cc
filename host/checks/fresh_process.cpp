#include "checks/fresh_process.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

#include "support/text_format.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

constexpr double kSignalSeconds = 1.0;
constexpr char kMagic[8] = {'K', 'D', 'F', 'R', 'E', 'S', 'H', '1'};

struct Header {
    char magic[8];
    std::uint32_t channels;
    std::uint32_t frames;
};

std::string encode(const AudioBuffer& output) {
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.channels = static_cast<std::uint32_t>(output.channelCount());
    header.frames = static_cast<std::uint32_t>(output.frameCount());
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    for (const auto& channel : output.channels) {
        bytes.append(reinterpret_cast<const char*>(channel.data()), channel.size() * sizeof(float));
    }
    return bytes;
}

bool decode(const std::string& bytes, AudioBuffer& output) {
    Header header{};
    if (bytes.size() < sizeof header) {
        return false;
    }
    std::memcpy(&header, bytes.data(), sizeof header);
    const std::size_t samples = static_cast<std::size_t>(header.channels) * header.frames;
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 ||
        bytes.size() != sizeof header + samples * sizeof(float)) {
        return false;
    }
    output = AudioBuffer(static_cast<int>(header.channels), header.frames, CheckContext::kRate);
    const char* at = bytes.data() + sizeof header;
    for (auto& channel : output.channels) {
        std::memcpy(channel.data(), at, channel.size() * sizeof(float));
        at += channel.size() * sizeof(float);
    }
    return true;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const int written = _write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
        const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
#endif
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

#ifdef _WIN32

std::wstring ownExecutable() {
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), length);
}

std::wstring widened(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 1)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(wide.size() - 1);
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

FreshOutput runFresh(const std::string& plugin, int timeoutSeconds) {
    FreshOutput result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        result.problem = "cannot create a pipe";
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writeEnd;
    startup.hStdError = nothing;
    const std::wstring self = ownExecutable();
    std::wstring line = quoted(self) + L" check --fresh-output " + quoted(widened(plugin));
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(writeEnd);
    CloseHandle(nothing);
    if (!started) {
        CloseHandle(readEnd);
        result.problem = "cannot start plughost again for a fresh process";
        return result;
    }
    // A hung child is ended, which closes the pipe and ends the reading.
    bool timedOut = false;
    std::thread watch([&] {
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000u) == WAIT_TIMEOUT) {
            timedOut = true;
            TerminateProcess(process.hProcess, 1);
        }
    });
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    watch.join();
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    if (timedOut) {
        result.problem = format("the fresh process did not finish within %d s", timeoutSeconds);
    } else if (!decode(bytes, result.output)) {
        result.problem =
            format("the fresh process gave no output (exit status %lu)", static_cast<unsigned long>(status));
    } else {
        result.ok = true;
    }
    return result;
}

#else

double secondsNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

FreshOutput runFresh(const std::string& plugin, int timeoutSeconds) {
    FreshOutput result;
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    int out[2];
    if (length <= 0 || pipe(out) != 0) {
        result.problem = "cannot start plughost again for a fresh process";
        return result;
    }
    self[length] = '\0';
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int nothing = open("/dev/null", O_WRONLY);
        dup2(nothing, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        char check[] = "check";
        char mode[] = "--fresh-output";
        std::string path = plugin;
        char* arguments[] = {self, check, mode, path.data(), nullptr};
        execv(self, arguments);
        _exit(127);
    }
    close(out[1]);
    if (child < 0) {
        close(out[0]);
        result.problem = "cannot start plughost again for a fresh process";
        return result;
    }
    std::string bytes;
    const double deadline = secondsNow() + timeoutSeconds;
    bool timedOut = false;
    for (;;) {
        const double left = deadline - secondsNow();
        if (left <= 0.0) {
            timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd waiting{out[0], POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(left * 1000.0) + 1) <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (timedOut) {
        result.problem = format("the fresh process did not finish within %d s", timeoutSeconds);
    } else if (!decode(bytes, result.output)) {
        result.problem = WIFSIGNALED(status)
                             ? format("the plug-in crashed the fresh process: signal %d", WTERMSIG(status))
                             : format("the fresh process gave no output (exit status %d)",
                                      WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    } else {
        result.ok = true;
    }
    return result;
}

#endif

}  // namespace

ProcessRun reproducibilityRun(PluginInstance& instance) {
    const Stimulus stimulus = checkStimulus(instance, CheckContext::kRate, kSignalSeconds);
    return processAll(instance, stimulus, fixedBlocks(CheckContext::kBlock));
}

FreshOutput freshProcessOutput(const std::string& plugin, int timeoutSeconds) {
    return runFresh(plugin, timeoutSeconds);
}

int writeFreshOutput(const std::string& plugin) {
    std::fflush(stdout);
    // The binary output keeps standard output to itself; what the plug-in
    // prints goes to the error stream.
#ifdef _WIN32
    const int binary = _dup(1);
    _dup2(2, 1);
    _setmode(binary, _O_BINARY);
#else
    const int binary = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
#endif
    try {
        CheckContext context(plugin);
        auto instance = context.playing();
        const ProcessRun run = reproducibilityRun(*instance);
        std::fflush(stdout);
        // Written before closing: what the instance gave counts even if
        // closing it fails.
        const bool written = writeAll(binary, encode(run.output));
        instance.reset();
        return written ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plughost: %s\n", error.what());
        return 1;
    }
}
