// libFuzzer entry: each input is a sequence of host actions on up to two
// instances - dispatcher calls with any opcode and arguments, parameter
// writes and reads with any index and value, program changes and names,
// audio blocks, switching off and on, closing and reopening. Everything goes
// through the effect record, as from a host. Sanitizer reports, crashes and
// failed checks (fuzzFailure) are the findings.
#include <cstddef>
#include <cstdint>

#include "fuzz_bytes.h"
#include "host_dispatch.h"
#include "host_parameters.h"
#include "host_processing.h"
#include "host_session.h"
#include "opcodes.h"

namespace {
// Keeps one input's cost bounded, so that the run spends its time on many
// different inputs rather than on long ones.
constexpr int kMostActionsPerInput = 400;
// Processing dominates the cost: one largest block per input keeps the run at
// thousands of inputs per second.
constexpr std::size_t kMostFramesPerInput = 4096;

enum Action : unsigned {
    kAnyOpcode,
    kAnyOpcodeAgain,
    kAnyOpcodeOnceMore,
    kSetParameter,
    kSetParameterAgain,
    kGetParameter,
    kProcess,
    kProcessAgain,
    kProcessOnceMore,
    kProcessYetAgain,
    kChangeProgram,
    kProgramName,
    kParameterText,
    kSwitchOffAndOn,
    kCloseAndReopen,
    kBeginEndProgram,
    kActionCount
};

void switchOffAndOn(AEffect* effect, FuzzBytes& in) {
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    if (in.flag()) {
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, in.opt());
        effect->dispatcher(effect, effSetBlockSize, 0, in.value(), nullptr, 0.0f);
    }
    effect->dispatcher(effect, effMainsChanged, 0, in.flag() ? 1 : in.value(), nullptr, 0.0f);
}

// Selecting a program as hosts do: begin, set, end.
void beginSetEndProgram(HostSession& session, int slot, FuzzBytes& in) {
    AEffect* effect = session.instance(slot);
    effect->dispatcher(effect, effBeginSetProgram, 0, 0, nullptr, 0.0f);
    dispatchLikeAHost(effect, effSetProgram, in);
    effect->dispatcher(effect, effEndSetProgram, 0, 0, nullptr, 0.0f);
}

void anyOpcode(HostSession& session, int slot, VstInt32 opcode, FuzzBytes& in) {
    if (dispatchLikeAHost(session.instance(slot), opcode, in) == DispatchOutcome::kInstanceClosed) {
        session.forget(slot);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzBytes in(data, size);
    HostSession session;
    std::size_t framesLeft = kMostFramesPerInput;

    for (int done = 0; done < kMostActionsPerInput && !in.exhausted(); ++done) {
        const unsigned choice = in.byte();
        const unsigned action = choice % kActionCount;
        const int slot = static_cast<int>((choice / kActionCount) % HostSession::kSlots);
        switch (action) {
            case kAnyOpcode:
            case kAnyOpcodeAgain:
            case kAnyOpcodeOnceMore:
                anyOpcode(session, slot, in.opcode(), in);
                break;
            case kSetParameter:
            case kSetParameterAgain:
                setParameterLikeAHost(session.instance(slot), in);
                break;
            case kGetParameter:
                getParameterLikeAHost(session.instance(slot), in);
                break;
            case kChangeProgram:
                anyOpcode(session, slot, effSetProgram, in);
                break;
            case kProgramName:
                anyOpcode(session, slot, in.flag() ? effSetProgramName : effGetProgramName, in);
                break;
            case kParameterText:
                anyOpcode(session, slot, effGetParamLabel + static_cast<VstInt32>(in.below(3)), in);
                break;
            case kSwitchOffAndOn:
                switchOffAndOn(session.instance(slot), in);
                break;
            case kCloseAndReopen:
                session.close(slot);
                break;
            case kBeginEndProgram:
                beginSetEndProgram(session, slot, in);
                break;
            default:
                processLikeAHost(session.instance(slot), in, session.rule(slot), framesLeft);
                break;
        }
    }
    return 0;
}
