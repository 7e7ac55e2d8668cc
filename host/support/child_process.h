// A child process with a deadline: started as a forked copy of this process
// (POSIX) or as this program run anew in its hidden child mode (both
// systems), it says what it has to say on a channel of its own, its
// standard output and error are collected, passed on or dropped, and it is
// stopped at the deadline and always waited for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/process_endings.h"

class SharedBlock;

// Where a child's standard output and error go.
enum class ChildOutput { Collect, Discard, Inherit };

// How a child ended, as its parent saw it.
struct ChildExit {
    bool started = false;
    std::string problem;     // why it did not start
    bool timedOut = false;   // stopped at the deadline
    bool signalled = false;  // POSIX: ended by `code`, a signal
    std::int64_t code = 0;   // the signal, or the exit status (on Windows an exception's code, when one ended it)

    // The same as an ending: Exited for any exit status, even 0.
    Ending ending() const { return signalled ? endingBySignal(static_cast<int>(code)) : endingByExit(code); }
};

class ChildProcess {
public:
    using Sink = std::function<void(const char* data, std::size_t size)>;

#ifndef _WIN32
    // `work` runs in a forked copy of this process and is given the
    // channel's descriptor; the child then ends with what it returned,
    // running no exit handlers (the plug-in's are not the host's to run).
    static ChildProcess fork(ChildOutput output, const std::function<int(int channel)>& work);
#endif
    // This program run anew: `plughost --child CHANNEL SHARED ARGUMENTS...`,
    // which its command line reads as the hidden child mode (child_mode.h);
    // `shared` (may be null) is handed down.
    static ChildProcess runSelf(ChildOutput output, const std::vector<std::string>& arguments,
                                const SharedBlock* shared);
#ifdef _WIN32
    // The same, with this process's own command line as the arguments.
    static ChildProcess runSelfAgain(ChildOutput output, const SharedBlock* shared);
#endif
    // Another program, `arguments[0]` its file: its standard output comes
    // on the channel, its standard error as the output.
    static ChildProcess run(const std::vector<std::string>& arguments);
    // This program run anew as a user runs it (not in the child mode), with
    // standard input from nowhere: as `run` otherwise.
    static ChildProcess runSelfPlainly(const std::vector<std::string>& arguments);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    // Stops a child that still runs, and waits for it.
    ~ChildProcess();

    // Reads the channel and the output as they come until the channel
    // closes (the child has said everything and ended), or `seconds` pass
    // (never, when negative), stopping the child then; then waits for the
    // child's end and takes what it printed last.
    ChildExit finish(double seconds, const Sink& channel, const Sink& output = {});

    // The process id, for passing on signals; 0 when it did not start.
    long id() const;

private:
    ChildProcess() = default;
#ifdef _WIN32
    // `self`: `program` is this one, told its channel and shared memory.
    static ChildProcess start(ChildOutput output, const std::wstring& program, const std::wstring& arguments,
                              const SharedBlock* shared, bool self);
#endif

    ChildExit exit_;
    std::intptr_t process_ = 0;  // pid (POSIX) or process HANDLE (Windows)
    std::intptr_t channel_ = -1;
    std::intptr_t output_ = -1;
    bool waited_ = false;
    long id_ = 0;
};

// This process's id, and whether a process of that id still runs.
long currentProcessId();
bool processRuns(long id);
