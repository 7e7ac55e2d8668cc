// The call the host is making into a plug-in at this moment, kept where a
// crash handler, a watchdog or a parent process can still read it once the
// plug-in has crashed or hung, and named the way a plug-in's developer looks
// it up: "effSetBlockSize 1", "a 0-frame processReplacing after 64-frame
// calls", "setParameter 2 to 0.531".
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "aeffect.h"

enum class PluginCallKind : std::int32_t {
    // The system loader's work on the library: its static constructors and
    // destructors run then.
    LoadLibrary,
    UnloadLibrary,
    Entry,
    Dispatch,
    ProcessReplacing,
    ProcessAccumulating,
    ProcessDouble,
    SetParameter,
    GetParameter,
};

// Plain data: a parent process reads it from memory it shares with a child.
struct PluginCall {
    PluginCallKind kind = PluginCallKind::Dispatch;
    VstInt32 opcode = 0;
    VstInt32 index = 0;
    std::int64_t value = 0;
    float opt = 0.0f;
    VstInt32 frames = 0;
    // The frame count of the instance's previous process call; -1 before
    // its first.
    VstInt32 previousFrames = -1;
    // The question of an effCanDo, cut short.
    char text[32] = {};
};

// One slot per thread that calls plug-ins.
struct PluginCallSlot {
    volatile std::int32_t inProgress;
    PluginCall call;
};

struct PluginCallBoard {
    static constexpr int kSlots = 8;
    PluginCallSlot slots[kSlots];
};

// Where calls are recorded: the board of this process's watch page, in
// memory shared with its parent when a parent watches it (watch_page.h).
PluginCallBoard& pluginCallBoard();
void clearPluginCalls(PluginCallBoard& board);

// Marks `call` as in progress on this thread for the scope's lifetime; a
// few stores, cheap enough for every process call.
class PluginCallScope {
public:
    explicit PluginCallScope(const PluginCall& call);
    ~PluginCallScope();
    PluginCallScope(const PluginCallScope&) = delete;
    PluginCallScope& operator=(const PluginCallScope&) = delete;

private:
    PluginCallSlot* slot_;
    std::int32_t outerInProgress_;
    PluginCall outer_;
};

// A C++ exception that the plug-in let out of a call: the interface is C, so
// no host can expect one. Its text names the exception and the call.
class PluginException : public std::runtime_error {
public:
    PluginException(const std::string& cause, const std::string& call)
        : std::runtime_error(call.empty() ? cause : cause + " in " + call), cause_(cause), call_(call) {}
    // "the plug-in let a C++ exception escape (std::bad_alloc: ...)"
    const std::string& cause() const { return cause_; }
    // The plug-in call it came out of.
    const std::string& call() const { return call_; }

private:
    std::string cause_;
    std::string call_;
};

// From a catch block inside the call's scope.
[[noreturn]] void throwPluginException();

// Makes `call` with the scope of PluginCallScope: `body` calls the plug-in.
// A C++ exception out of it becomes a PluginException.
template <typename Body>
auto callPlugin(const PluginCall& call, Body&& body) -> decltype(body()) {
    const PluginCallScope scope(call);
    try {
        return body();
    } catch (...) {
        throwPluginException();
    }
}

// The calls in progress when a plug-in crashed or hung, joined by "; ", as
// zero-terminated text in `out` (cut at `size`). Allocates nothing and calls
// nothing that a signal handler may not. Returns the length.
std::size_t describeCallsInProgress(const PluginCallBoard& board, char* out, std::size_t size);
// One call, the same way.
std::size_t describePluginCall(const PluginCall& call, char* out, std::size_t size);
// Whether one of the calls in progress is the loading or unloading of the
// library, which a report says "while" of rather than "in".
bool libraryCallInProgress(const PluginCallBoard& board);
