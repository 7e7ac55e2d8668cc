#include "plugin/plugin_calls.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "opcodes.h"
#include "support/fixed_text.h"
#include "support/process_endings.h"
#include "support/watch_page.h"

namespace {

std::atomic<int> nextSlot{0};
thread_local int slotOfThisThread = -1;

// What follows an opcode's name in its description.
enum class Argument { None, Index, Value, Rate, Bytes, Question };

struct OpcodeName {
    VstInt32 opcode;
    const char* name;
    Argument argument;
};

// The opcodes this host sends; others are named by number.
constexpr OpcodeName kOpcodeNames[] = {
    {effOpen, "effOpen", Argument::None},
    {effClose, "effClose", Argument::None},
    {effSetProgram, "effSetProgram", Argument::Value},
    {effGetProgram, "effGetProgram", Argument::None},
    {effSetProgramName, "effSetProgramName", Argument::None},
    {effGetProgramName, "effGetProgramName", Argument::None},
    {effGetParamLabel, "effGetParamLabel", Argument::Index},
    {effGetParamDisplay, "effGetParamDisplay", Argument::Index},
    {effGetParamName, "effGetParamName", Argument::Index},
    {effSetSampleRate, "effSetSampleRate", Argument::Rate},
    {effSetBlockSize, "effSetBlockSize", Argument::Value},
    {effMainsChanged, "effMainsChanged", Argument::Value},
    {effEditIdle, "effEditIdle", Argument::None},
    {effGetChunk, "effGetChunk", Argument::None},
    {effSetChunk, "effSetChunk", Argument::Bytes},
    {effProcessEvents, "effProcessEvents", Argument::None},
    {effCanBeAutomated, "effCanBeAutomated", Argument::Index},
    {effGetProgramNameIndexed, "effGetProgramNameIndexed", Argument::Index},
    {effGetPlugCategory, "effGetPlugCategory", Argument::None},
    {effGetEffectName, "effGetEffectName", Argument::None},
    {effGetVendorString, "effGetVendorString", Argument::None},
    {effGetProductString, "effGetProductString", Argument::None},
    {effGetVendorVersion, "effGetVendorVersion", Argument::None},
    {effCanDo, "effCanDo", Argument::Question},
    {effGetTailSize, "effGetTailSize", Argument::None},
    {effGetParameterProperties, "effGetParameterProperties", Argument::Index},
    {effGetVstVersion, "effGetVstVersion", Argument::None},
    {effBeginSetProgram, "effBeginSetProgram", Argument::None},
    {effEndSetProgram, "effEndSetProgram", Argument::None},
    {effStartProcess, "effStartProcess", Argument::None},
    {effStopProcess, "effStopProcess", Argument::None},
    {effSetProcessPrecision, "effSetProcessPrecision", Argument::Value},
};

constexpr const char* kProcessNames[] = {"processReplacing", "process", "processDoubleReplacing"};
// By PluginCallKind, the first ones.
constexpr const char* kCallsWithoutArguments[] = {"loading the library", "unloading the library", "the entry point"};

void describeDispatch(const PluginCall& call, FixedText& writer) {
    for (const OpcodeName& entry : kOpcodeNames) {
        if (entry.opcode != call.opcode) {
            continue;
        }
        writer.text(entry.name);
        switch (entry.argument) {
            case Argument::None:
                break;
            case Argument::Index:
                writer.text(" ").number(call.index);
                break;
            case Argument::Value:
                writer.text(" ").number(call.value);
                break;
            case Argument::Rate:
                writer.text(" ").number(static_cast<std::int64_t>(std::floor(static_cast<double>(call.opt) + 0.5)));
                break;
            case Argument::Bytes:
                writer.text(" of ").number(call.value).text(" bytes");
                break;
            case Argument::Question:
                writer.text(" \"").text(call.text).text("\"");
                break;
        }
        return;
    }
    writer.text("opcode ").number(call.opcode).text(" (index ").number(call.index).text(", value ");
    writer.number(call.value).text(")");
}

void describeProcess(const PluginCall& call, const char* name, FixedText& writer) {
    writer.text("a ").number(call.frames).text("-frame ").text(name);
    if (call.previousFrames < 0) {
        writer.text(", the instance's first");
    } else if (call.previousFrames != call.frames) {
        writer.text(" after ").number(call.previousFrames).text("-frame calls");
    }
}

}  // namespace

PluginCallBoard& pluginCallBoard() {
    return watchPage().calls;
}

void clearPluginCalls(PluginCallBoard& board) {
    for (PluginCallSlot& slot : board.slots) {
        slot.inProgress = 0;
    }
}

PluginCallScope::PluginCallScope(const PluginCall& call) {
    if (slotOfThisThread < 0) {
        slotOfThisThread = nextSlot.fetch_add(1) % PluginCallBoard::kSlots;
    }
    slot_ = &pluginCallBoard().slots[slotOfThisThread];
    outerInProgress_ = slot_->inProgress;
    outer_ = slot_->call;
    slot_->inProgress = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot_->call = call;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot_->inProgress = 1;
}

PluginCallScope::~PluginCallScope() {
    slot_->inProgress = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot_->call = outer_;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot_->inProgress = outerInProgress_;
}

std::size_t describePluginCall(const PluginCall& call, char* out, std::size_t size) {
    FixedText writer(out, size);
    switch (call.kind) {
        case PluginCallKind::LoadLibrary:
        case PluginCallKind::UnloadLibrary:
        case PluginCallKind::Entry:
            writer.text(kCallsWithoutArguments[static_cast<int>(call.kind)]);
            break;
        case PluginCallKind::Dispatch:
            describeDispatch(call, writer);
            break;
        case PluginCallKind::ProcessReplacing:
        case PluginCallKind::ProcessAccumulating:
        case PluginCallKind::ProcessDouble:
            describeProcess(
                call, kProcessNames[static_cast<int>(call.kind) - static_cast<int>(PluginCallKind::ProcessReplacing)],
                writer);
            break;
        case PluginCallKind::SetParameter:
            writer.text("setParameter ").number(call.index).text(" to ").decimal(call.opt);
            break;
        case PluginCallKind::GetParameter:
            writer.text("getParameter ").number(call.index);
            break;
    }
    return writer.length();
}

std::size_t describeCallsInProgress(const PluginCallBoard& board, char* out, std::size_t size) {
    std::size_t length = 0;
    if (size > 0) {
        out[0] = '\0';
    }
    for (const PluginCallSlot& slot : board.slots) {
        if (slot.inProgress == 0 || length + 3 >= size) {
            continue;
        }
        if (length > 0) {
            std::memcpy(out + length, "; ", 3);
            length += 2;
        }
        length += describePluginCall(slot.call, out + length, size - length);
    }
    return length;
}

bool libraryCallInProgress(const PluginCallBoard& board) {
    for (const PluginCallSlot& slot : board.slots) {
        if (slot.inProgress != 0 &&
            (slot.call.kind == PluginCallKind::LoadLibrary || slot.call.kind == PluginCallKind::UnloadLibrary)) {
            return true;
        }
    }
    return false;
}

void throwPluginException() {
    Ending ending;
    ending.kind = EndingKind::Threw;
    FixedText exception(ending.text, sizeof ending.text);
    describeCurrentException(exception);
    char cause[512];
    FixedText text(cause, sizeof cause);
    describeEnding(ending, text.text("the plug-in "));
    char call[512];
    describeCallsInProgress(pluginCallBoard(), call, sizeof call);
    throw PluginException(cause, call);
}
