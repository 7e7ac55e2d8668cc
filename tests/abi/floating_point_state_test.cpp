// The library under a host that sets its own floating-point state: flush-to-
// zero, denormals-are-zero and another rounding in MXCSR (audio hosts do);
// the x87 unit, on which the Windows builds' C library computes pow, sin and
// cos, at another precision or rounding (Direct3D leaves 24 bits); the
// invalid-operation, zero-divide and overflow exceptions unmasked in both
// units (hosts built with Delphi), with flags of the host's own raised.
// Every call, with any value a host may send, must leave what the host hears
// and reads unchanged, give the host its words and flags back exactly, trap
// nowhere, and leave nothing that makes the host's own arithmetic trap.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>

#include "floating_point_guard.h"
#include "loaded_distortion.h"
#include "parameter_index.h"
#include "trap_report.h"

namespace {

using namespace floating_point_guard;

constexpr std::uint32_t kFlushToZero = 0x8000;
constexpr std::uint32_t kDenormalsAreZero = 0x0040;
constexpr std::uint32_t kTowardZero = 0x6000;
constexpr std::uint32_t kUp = 0x4000;
constexpr std::uint32_t kDown = 0x2000;
// Invalid operation, zero divide and overflow unmasked, as Delphi sets them.
constexpr std::uint32_t kDelphiMxcsr = 0x1900;
constexpr std::uint16_t kDelphiX87 = 0x1332;
constexpr std::uint16_t kUnderflowAndInexact = 0x0030;  // the same bits in both units
constexpr std::uint32_t kZeroDivide = 0x0004;
// Condition codes C0 to C3 of the x87 status word, which any comparison sets.
constexpr std::uint16_t kConditionCodes = 0x4700;

// The Windows builds' C library pow follows the x87 precision.
#if defined(_WIN32)
constexpr bool kComputesOnX87 = true;
#else
constexpr bool kComputesOnX87 = false;
#endif

struct HostState {
    const char* what;
    std::uint32_t mxcsr;  // flags included
    std::uint16_t x87Control;
    std::uint16_t x87Flags;  // raised by the host before its first call
};

constexpr HostState kEffectsOwnState{"the effect's own state", kWantedMxcsr, 0x027F, 0};

const HostState kHostStates[] = {
    {"flush-to-zero and denormals-are-zero", kWantedMxcsr | kFlushToZero | kDenormalsAreZero, 0x027F, 0},
    {"SSE rounding toward zero", kWantedMxcsr | kTowardZero, 0x027F, 0},
    {"SSE rounding up", kWantedMxcsr | kUp, 0x027F, 0},
    {"SSE rounding down", kWantedMxcsr | kDown, 0x027F, 0},
    {"flush-to-zero, denormals-are-zero and rounding toward zero",
     kWantedMxcsr | kFlushToZero | kDenormalsAreZero | kTowardZero, 0x027F, 0},
    {"x87 at 24-bit precision, rounding to nearest", kWantedMxcsr, 0x007F, 0},
    {"x87 at 24-bit precision, rounding up", kWantedMxcsr, 0x087F, 0},
    {"x87 at 24-bit precision, rounding toward zero", kWantedMxcsr, 0x0C7F, 0},
    {"x87 at 53-bit precision, rounding down", kWantedMxcsr, 0x067F, 0},
    {"x87 at 64-bit precision, rounding up", kWantedMxcsr, 0x0B7F, 0},
    {"x87 at 24-bit precision, SSE flushing to zero and rounding down",
     kWantedMxcsr | kFlushToZero | kDenormalsAreZero | kDown, 0x007F, 0},
    {"exceptions unmasked (x87 0x1332, MXCSR 0x1900)", kDelphiMxcsr, kDelphiX87, 0},
    {"exceptions unmasked, underflow and inexact already flagged in both units", kDelphiMxcsr | kUnderflowAndInexact,
     kDelphiX87, kUnderflowAndInexact},
    // SSE has no pending exceptions: a flag set under an unmasked exception
    // traps nothing, not even when the guard loads it back.
    {"exceptions unmasked, zero divide already flagged in MXCSR", kDelphiMxcsr | kZeroDivide, kDelphiX87, 0},
};

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct HostileValue {
    float value;
    const char* name;
};
const HostileValue kHostileValues[] = {{2.0f, "2"},        {-1.0f, "-1"},        {1e30f, "1e30"},
                                       {kInfinity, "inf"}, {-kInfinity, "-inf"}, {kNaN, "NaN"}};
const HostileValue kOddSampleRates[] = {{0.0f, "0"}, {-44100.0f, "-44100"}, {1e30f, "1e30"}};

// Everything a session sends, computed before the host's state is set.
struct Inputs {
    std::vector<float> program = noiseImpulseAndSilence(4096, 8192);
    std::vector<float> probe = noiseImpulseAndSilence(64, 0, 7u);
    std::vector<float> extremes = probe;
    std::vector<float> parameterValues;
    std::vector<float> gains;  // k / 200 for k = 0 to 200, then 2 and -1
    Inputs() {
        const float extreme[] = {1e30f, -1e30f, 3.4e38f, -3.4e38f, kInfinity, -kInfinity, kNaN, 1e-45f};
        for (std::size_t i = 0; i < extremes.size(); i += 3) {
            extremes[i] = extreme[(i / 3) % 8];
        }
        Sequence sequence(99u);
        for (int i = 0; i < 17; ++i) {
            parameterValues.push_back(sequence.unit());
        }
        for (int k = 0; k <= 200; ++k) {
            gains.push_back(static_cast<float>(k) / 200.0f);
        }
        gains.push_back(2.0f);
        gains.push_back(-1.0f);
    }
};

// MXCSR, the x87 control word and the x87 status word but its condition
// codes (scratch in every calling convention).
using Words = std::array<std::uint32_t, 3>;
Words words() {
    return {mxcsr(), x87ControlWord(), static_cast<std::uint32_t>(x87StatusWord() & ~kConditionCodes)};
}

// What a host gets from one instance: audio, parameter values and display
// texts, and the calls after which its floating-point words were not as
// they had been before.
struct Session {
    std::vector<float> output;
    std::vector<float> sweep;  // the gain sweep's outputs, one per gain
    std::vector<float> stored;
    std::vector<std::string> displays;
    int callsThatChangedTheState = 0;
    std::string firstChange;
};

// The thread of a host in the given state, from construction to destruction
// (which brings back the test's own state). Each call into the library is
// named for the trap report; after it the session notes whether the host's
// words changed, and the host does its own arithmetic: exact, so that it
// raises nothing itself, but any x87 exception left pending and unmasked
// traps on it.
class HostThread {
public:
    HostThread(const HostState& state, Session& session) : session_(session) {
        trap_report::asHost(state.what);
        setMxcsr(state.mxcsr);
        clearX87Exceptions();
        setX87ControlWord(state.x87Control);
        X87Environment environment;
        storeX87Environment(environment);
        environment.status = static_cast<std::uint16_t>((environment.status & ~kX87Flags) | state.x87Flags);
        loadX87Environment(environment);
    }
    ~HostThread() {
        clearX87Exceptions();
        setX87ControlWord(testX87_);
        setMxcsr(testMxcsr_);
        trap_report::asHost("the test's own");
        trap_report::during("none");
    }
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;

    template <typename Call>
    void call(const char* name, int index, const char* value, Call&& makeCall) {
        trap_report::during(name, index, value);
        const Words before = words();
        makeCall();
        const Words after = words();
        if (after != before && session_.callsThatChangedTheState++ == 0) {
            char words[100];
            std::snprintf(words, sizeof words,
                          "MXCSR 0x%x, x87 control 0x%x and status 0x%x instead of 0x%x, 0x%x and 0x%x", after[0],
                          after[1], after[2], before[0], before[1], before[2]);
            session_.firstChange = std::string("after ") + name + (index >= 0 ? " " + std::to_string(index) : "") +
                                   (value != nullptr ? std::string(" with ") + value : "") + ": " + words;
        }
        volatile long double a = 1.5L, b = 2.0L;
        volatile long double onX87 = a * b + a;
        volatile double c = 1.5, d = 2.0;
        volatile double onSse = c * d + c;
        (void)onX87;
        (void)onSse;
    }

    void process(AEffect* effect, const char* name, const float* input, std::size_t count, std::vector<float>& output,
                 int index = -1, const char* value = nullptr) {
        std::vector<float> in(input, input + count), left(count), right(count);
        float* inputs[1] = {in.data()};
        float* outputs[2] = {left.data(), right.data()};
        call(name, index, value,
             [&] { effect->processReplacing(effect, inputs, outputs, static_cast<VstInt32>(count)); });
        output.insert(output.end(), left.begin(), left.end());
    }

    void setParameter(AEffect* effect, VstInt32 index, float value, const char* name = nullptr) {
        call("setParameter", index, name, [&] { effect->setParameter(effect, index, value); });
    }

    // Reads back and shows one parameter.
    void readParameter(AEffect* effect, VstInt32 index, const char* name = nullptr) {
        float stored = 0.0f;
        call("getParameter", index, name, [&] { stored = effect->getParameter(effect, index); });
        session_.stored.push_back(stored);
        GuardedText text;
        call("effGetParamDisplay", index, name,
             [&] { effect->dispatcher(effect, effGetParamDisplay, index, 0, text.data(), 0.0f); });
        session_.displays.push_back(text.text());
    }

private:
    Session& session_;
    const std::uint32_t testMxcsr_ = mxcsr();
    const std::uint16_t testX87_ = x87ControlWord();
};

class FloatingPointState : public LoadedDistortion {
protected:
    void SetUp() override {
        LoadedDistortion::SetUp();
        trap_report::install();
    }

    double powerWithX87(std::uint16_t word) {
        volatile double base = 0.3;
        const std::uint16_t test = x87ControlWord();
        setX87ControlWord(word);
        const double result = std::pow(base, 0.39);
        setX87ControlWord(test);
        return result;
    }

    // With the host's state set throughout: create, select the program,
    // process, change and read every parameter; sweep the gain with
    // everything else off; send every parameter each hostile value, with all
    // three switches on; odd sample rates; extreme input; close.
    Session runAsHost(const HostState& state, VstInt32 program, const Inputs& inputs) {
        Session s;
        HostThread host(state, s);
        AEffect* effect = nullptr;
        host.call("VSTPluginMain", -1, nullptr, [&] { effect = create(); });
        if (effect == nullptr) {
            return s;
        }
        const auto selectProgram = [&] {
            host.call("effSetProgram", program, nullptr, [&] { dispatch(effect, effSetProgram, 0, program); });
        };
        selectProgram();
        for (std::size_t start = 0; start < inputs.program.size(); start += 512) {
            host.process(effect, "processReplacing", inputs.program.data() + start, 512, s.output);
        }
        for (VstInt32 index = 0; index < 17; ++index) {
            host.setParameter(effect, index, inputs.parameterValues[index]);
            host.readParameter(effect, index);
        }

        for (VstInt32 index = 0; index < 17; ++index) {
            host.setParameter(effect, index, 0.0f);
        }
        const float one = 1.0f;
        for (const float gain : inputs.gains) {
            host.setParameter(effect, kGain, gain);
            host.process(effect, "processReplacing after a gain of the sweep", &one, 1, s.sweep);
        }

        for (VstInt32 index = 0; index < 17; ++index) {
            selectProgram();
            for (const VstInt32 onOff : {kMainDistOn, kEqOn, kMultiDistOn}) {
                host.setParameter(effect, onOff, 1.0f);
            }
            for (const HostileValue& hostile : kHostileValues) {
                host.setParameter(effect, index, hostile.value, hostile.name);
                host.readParameter(effect, index, hostile.name);
                host.process(effect, "processReplacing after setParameter", inputs.probe.data(), inputs.probe.size(),
                             s.output, index, hostile.name);
            }
        }
        for (const HostileValue& rate : kOddSampleRates) {
            host.call("effSetSampleRate", -1, rate.name,
                      [&] { dispatch(effect, effSetSampleRate, 0, 0, nullptr, rate.value); });
            host.process(effect, "processReplacing after effSetSampleRate", inputs.probe.data(), inputs.probe.size(),
                         s.output, -1, rate.name);
        }
        for (int block = 0; block < 2; ++block) {
            host.process(effect, "processReplacing of huge, infinite and NaN input", inputs.extremes.data(),
                         inputs.extremes.size(), s.output);
        }
        host.call("effClose", -1, nullptr, [&] { close(effect); });
        return s;
    }
};

// "N of M samples differ, the first at i: a instead of b", or "".
std::string differences(const std::vector<float>& got, const std::vector<float>& expected) {
    if (got.size() != expected.size()) {
        return std::to_string(got.size()) + " samples instead of " + std::to_string(expected.size());
    }
    std::size_t count = 0, first = 0;
    for (std::size_t i = got.size(); i-- > 0;) {
        if (std::memcmp(&got[i], &expected[i], sizeof(float)) != 0) {
            first = i;
            ++count;
        }
    }
    std::ostringstream text;
    text.precision(9);
    text << count << " of " << got.size() << " samples differ, the first at " << first << ": " << got[first]
         << " instead of " << expected[first];
    return count == 0 ? "" : text.str();
}

TEST_F(FloatingPointState, EveryCallGivesTheSameResultsAndTheHostsStateBackWhateverStateTheHostSet) {
    if (kComputesOnX87) {
        ASSERT_NE(powerWithX87(0x007F), powerWithX87(0x027F))
            << "the C library's pow should follow the x87 precision here, or the x87 cases prove nothing";
    }
    const Inputs inputs;
    for (VstInt32 program = 0; program < 9; ++program) {
        const Session expected = runAsHost(kEffectsOwnState, program, inputs);
        ASSERT_EQ(expected.sweep.size(), inputs.gains.size()) << "program " << program << ": no instance";
        EXPECT_EQ(expected.callsThatChangedTheState, 0) << expected.firstChange;
        // Gains of 2 and -1 are used as they are: 10^3 and 10^-3.
        EXPECT_EQ(expected.sweep[201], 1000.0f);
        EXPECT_EQ(expected.sweep[202], 0.001f);
        // Out-of-range values are stored unchanged.
        for (std::size_t i = 17; i < expected.stored.size(); ++i) {
            const float sent = kHostileValues[(i - 17) % 6].value;
            ASSERT_EQ(std::memcmp(&expected.stored[i], &sent, sizeof sent), 0)
                << "parameter " << (i - 17) / 6 << " set to " << sent << " reads " << expected.stored[i];
        }

        for (const HostState& state : kHostStates) {
            const Session got = runAsHost(state, program, inputs);
            EXPECT_EQ(differences(got.output, expected.output), "") << "program " << program << ", " << state.what;
            EXPECT_EQ(differences(got.sweep, expected.sweep), "")
                << "gains k/200 with everything else off, " << state.what;
            EXPECT_TRUE(got.stored.size() == expected.stored.size() &&
                        std::memcmp(got.stored.data(), expected.stored.data(), sizeof(float) * got.stored.size()) == 0)
                << "program " << program << ", " << state.what << ": parameter values read back differ";
            EXPECT_EQ(got.displays, expected.displays) << "program " << program << ", " << state.what;
            EXPECT_EQ(got.callsThatChangedTheState, 0)
                << "program " << program << ", " << state.what << ": calls that changed the host's words, the first "
                << got.firstChange;
        }
    }
}

}  // namespace
