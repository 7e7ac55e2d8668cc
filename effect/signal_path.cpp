// The audio processing: main distortion, input gain, and the optional
// three-band split with per-band distortion and levels. Every value the
// chain keeps is rounded to a 32-bit float after its step; the expressions
// inside a step are formed in double precision. docs/signal-path.md draws
// the passes and states what they must keep exact.
//
// A block reads its parameters once, derives again whatever they changed,
// then goes through its samples in runs of at most kChunk, each run in named
// passes over arrays: the main stage, the crossover recurrence (with the band
// split), the band power laws, the sums. Only the recurrence is serial; the
// power laws of a whole run go to power_law::signedPowers at once.
//
// Work whose result is known exactly is skipped: a power law with exponent
// 1, a factor of exactly 1, and every run of samples that repeats a sample
// which left the filter state as it was (signal_path_state.h). Near the
// bottom of the float range, where memories end up once the input stops, the
// plain conversions would be many times slower; blocks that start there
// round with float_narrowing.h's careful helpers.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "band_stage.h"
#include "block_settings.h"
#include "crossover_pass.h"
#include "distortion_k.h"
#include "float_narrowing.h"
#include "main_stage.h"
#include "output_stage.h"
#include "parameter_derivation.h"
#include "signal_path_state.h"
#include "value_laws.h"

using namespace signal_path;

namespace {

// True when the block starts near the bottom of the float range: a decaying
// filter memory, or tiny input.
bool startsNearBottom(const FilterState& filter, float firstInput) {
    return nearlySilent(filter.lowMid) || nearlySilent(filter.midHigh) || nearlySilent(widen(firstInput));
}

// The passes over one block of `frames` samples. out may be in itself: each
// run reads all its input before it writes its output.
//
// audio thread: no allocation, no locks
template <typename Narrowing>
void runPasses(const BlockSettings& block, SignalPathState& state, const float* in, float* out, std::size_t frames) {
    // Aligned for the widest vectors the power law may use.
    alignas(32) float shaped[kChunk];
    alignas(32) double gained[kChunk];
    alignas(32) BandValues bands;
    for (std::size_t start = 0; start < frames; start += kChunk) {
        const std::size_t count = frames - start < kChunk ? frames - start : kChunk;
        if (repeatsSettled(state.settled, in + start, count)) {
            std::fill(out + start, out + start + count, state.settled.output);
            continue;
        }
        const std::uint32_t lastInput = float_narrowing::bitsOf(in[start + count - 1]);

        mainStage<Narrowing>(block, in + start, count, shaped, gained);
        bool rests = true;  // without the band split, no state
        if (!block.eqOn) {
            writeGained<Narrowing>(gained, count, out + start);
        } else {
            crossoverPass<Narrowing>(block.derived, gained, count, state.filter, bands);
            if (block.multiOn) {
                for (int band = 0; band < kBandCount; ++band) {
                    bandStage<Narrowing>(block.derived.bands[band], bands[band], count);
                }
            }
            writeBandSums<Narrowing>(block.derived, bands, count, out + start);
            rests = restsAt<Narrowing>(block.derived, gained[count - 1], state.filter);
        }
        state.settled.valid = rests;
        state.settled.input = lastInput;
        state.settled.output = out[start + count - 1];
    }
}

}  // namespace

float DistortionK::levelToGain(float level) {
    const float exponent = static_cast<float>(2.0 * level - 1.0);
    return static_cast<float>(std::pow(10.0, static_cast<double>(exponent)));
}

void DistortionK::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const float* in = inputs[0];
    float* out1 = outputs[0];
    float* out2 = outputs[1];
    if (sampleFrames <= 0) {
        return;
    }
    const auto frames = static_cast<std::size_t>(sampleFrames);

    const ParameterSnapshot parameters = readParameters();
    deriveWhatChanged(*this, signal.derived, parameters);
    if (std::memcmp(&parameters, &signal.settled.parameters, sizeof parameters) != 0) {
        signal.settled.valid = false;
        signal.settled.parameters = parameters;
    }
    const BlockSettings block{switchIsOn(parameters[kMainDistOn]), switchIsOn(parameters[kEqOn]),
                              switchIsOn(parameters[kMultiDistOn]), parameters[kMainDistMix], signal.derived};

    if (startsNearBottom(signal.filter, in[0])) {
        runPasses<CarefulNarrowing>(block, signal, in, out1, frames);
    } else {
        runPasses<PlainNarrowing>(block, signal, in, out1, frames);
    }

    // The second output gets the same samples, copied once the block is done:
    // by then every input sample has been read, whichever buffers alias.
    if (out2 != nullptr && out2 != out1) {
        std::memmove(out2, out1, sizeof(float) * frames);
    }
}
