// The signed power law: special values as C99 Annex F defines pow for them,
// everything else through the fast path of power_kernel.h, rounded with
// power_rounding.h, and the rare undecided results through exact_power.h.
// docs/power-law.md explains the method and its error bounds.
#include "signed_power.h"

#include <atomic>

#include "bit_patterns.h"
#include "cpu_features.h"
#include "exact_power.h"
#include "power_kernel.h"
#include "power_rounding.h"
#include "signed_power_paths.h"

namespace power_law {
namespace {

using double_double::DoubleDouble;
using paths::Decision;
using paths::Traced;

constexpr std::uint32_t kSignBit = 0x80000000u;
constexpr std::uint32_t kMagnitudeBits = 0x7FFFFFFFu;
constexpr std::uint32_t kInfinityBits = 0x7F800000u;
constexpr std::uint32_t kQuietBit = 0x00400000u;
constexpr std::uint32_t kOneBits = 0x3F800000u;
constexpr std::uint32_t kSmallestNormalBits = 0x00800000u;

using bit_patterns::bitsOf;
using bit_patterns::floatFromBits;

struct ScalarPack {
    using Doubles = double;
    using Bits = std::uint64_t;

    static double asDoubles(std::uint64_t bits) { return bit_patterns::doubleFromBits(bits); }
    static std::uint64_t asBits(double d) { return bitsOf(d); }
    static double exponentOf(std::uint64_t bits) { return static_cast<double>(static_cast<std::int64_t>(bits) >> 52); }
    static double lookup(const double* table, std::uint64_t index) { return table[index]; }
};

kernel::Approximation<ScalarPack> approximateOne(std::uint64_t x, double e) {
    const std::uint64_t packs[1] = {x};
    kernel::Approximation<ScalarPack> result[1];
    kernel::approximatePowers<ScalarPack, 1>(packs, e, result);
    return result[0];
}

// The bits of the double equal to a positive finite float. A subnormal float
// goes through its integer mantissa: converting it directly takes the
// processor's slow path on many machines.
std::uint64_t doubleBitsOf(std::uint32_t magnitude) {
    if (magnitude >= kSmallestNormalBits) {
        return (static_cast<std::uint64_t>(magnitude) << 29) + (static_cast<std::uint64_t>(1023 - 127) << 52);
    }
    const double mantissa = static_cast<double>(static_cast<std::int32_t>(magnitude));  // times 2^-149
    return ScalarPack::asBits(mantissa) - (static_cast<std::uint64_t>(149) << 52);
}

bool isOddInteger(float e) {
    const float magnitude = e < 0.0f ? -e : e;
    if (!(magnitude >= 1.0f && magnitude < 0x1p24f)) {
        return false;  // larger floats are all even
    }
    const auto integer = static_cast<std::int32_t>(magnitude);
    return static_cast<float>(integer) == magnitude && (integer & 1) != 0;
}

// x^e for a finite positive float x != 1 (its bits) and a finite exponent
// other than 0 and 1. The fast path covers |e| <= 1, where its error bound
// holds; other exponents, and what the fast path leaves open, go the slow way.
Traced powerOfMagnitude(std::uint32_t magnitude, float exponent) {
    const float infinity = floatFromBits(kInfinityBits);
    const std::uint64_t x = doubleBitsOf(magnitude);
    const double e = exponent;
    const bool moderate = e >= -1.0 && e <= 1.0;
    if (moderate) {
        const auto approximation = approximateOne(x, e);
        // Beyond these the power is surely above 2^128 or below 2^-151.
        if (approximation.exponent > 129.0) {
            return {infinity, Decision::kDefined};
        }
        if (approximation.exponent < -152.0) {
            return {0.0f, Decision::kDefined};
        }
        const rounding::Rounded rounded = rounding::fromApproximation(approximation.power);
        if (rounded.certain) {
            return {rounded.value, Decision::kFast};
        }
    }
    const DoubleDouble t = double_double::multiply(exact::log2Of(x), e);
    if (t.hi > 129.0) {
        return {infinity, Decision::kDefined};
    }
    if (t.hi < -152.0) {
        return {0.0f, Decision::kDefined};
    }
    // The double-double path's bound (docs/power-law.md), with room to spare.
    const double bound = moderate ? 0x1p-90 : 0x1p-84;
    const rounding::Rounded rounded = rounding::fromDoubleDouble(exact::exp2Of(t), bound);
    return {rounded.value, rounded.certain ? Decision::kSlow : Decision::kUndecided};
}

}  // namespace

namespace paths {

// v > 0 gives pow(v, e); everything else, both zeros and NaN included,
// -pow(-v, e). Below, R is that pow(x, e) and the sign flip applies to it.
Traced tracedSignedPower(float v, float exponent) {
    const std::uint32_t vBits = bitsOf(v);
    const std::uint32_t magnitude = vBits & kMagnitudeBits;
    const std::uint32_t eBits = bitsOf(exponent);
    const std::uint32_t eMagnitude = eBits & kMagnitudeBits;
    const bool positive = (vBits & kSignBit) == 0 && magnitude != 0 && magnitude <= kInfinityBits;
    const std::uint32_t flip = positive ? 0u : kSignBit;
    const auto signed_ = [flip](float r) { return floatFromBits(bitsOf(r) ^ flip); };
    const float infinity = floatFromBits(kInfinityBits);

    if (eMagnitude == 0) {
        return {signed_(1.0f), Decision::kDefined};  // pow(x, +-0) = 1, even for NaN
    }
    if (magnitude > kInfinityBits) {
        return {floatFromBits(vBits | kQuietBit), Decision::kDefined};  // -(quiet -v)
    }
    if (magnitude == kOneBits) {
        return {v, Decision::kDefined};  // pow(1, e) = 1, even for NaN
    }
    if (eMagnitude > kInfinityBits) {
        return {signed_(floatFromBits(eBits | kQuietBit)), Decision::kDefined};
    }
    if (exponent == 1.0f) {
        return {v, Decision::kDefined};
    }
    if (magnitude == 0) {
        // x = -v: -0 for v = +0, where odd integer exponents keep the sign.
        const bool negativeZero = vBits == 0 && isOddInteger(exponent);
        const float r = exponent > 0.0f ? 0.0f : infinity;
        return {signed_(negativeZero ? -r : r), Decision::kDefined};
    }
    if (magnitude == kInfinityBits) {
        return {signed_(exponent > 0.0f ? infinity : 0.0f), Decision::kDefined};
    }
    if (eMagnitude == kInfinityBits) {
        const bool below1 = magnitude < kOneBits;
        return {signed_(below1 == (exponent < 0.0f) ? infinity : 0.0f), Decision::kDefined};
    }
    const Traced r = powerOfMagnitude(magnitude, exponent);
    return {signed_(r.value), r.decision};
}

FastApproximation fastPower(float x, float e) {
    const auto approximation = approximateOne(doubleBitsOf(bitsOf(x)), e);
    return {approximation.power, approximation.exponent};
}

ExactApproximation exactPower(float x, float e) {
    const DoubleDouble t = double_double::multiply(exact::log2Of(doubleBitsOf(bitsOf(x))), e);
    const DoubleDouble power = exact::exp2Of(t);
    return {power.hi, power.lo};
}

bool avx2Usable() {
    return cpu_features::avx2Usable();
}

ArrayPath fastestPath() {
    // 0 until the first call has asked the processor.
    static std::atomic<int> known{0};
    int path = known.load(std::memory_order_relaxed);
    if (path == 0) {
        path = avx2Usable() ? 2 : 1;
        known.store(path, std::memory_order_relaxed);
    }
    return path == 2 ? ArrayPath::kAvx2 : ArrayPath::kSse2;
}

void signedPowersOn(ArrayPath path, const float* in, float* out, std::size_t count, float exponent) {
    if (exponent > 0.0f && exponent < 1.0f) {
        if (path == ArrayPath::kAvx2) {
            signedPowersAvx2(in, out, count, exponent);
        } else {
            signedPowersSse2(in, out, count, exponent);
        }
        return;
    }
    if (exponent == 1.0f) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t bits = bitsOf(in[i]);
            out[i] = floatFromBits((bits & kMagnitudeBits) > kInfinityBits ? bits | kQuietBit : bits);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = tracedSignedPower(in[i], exponent).value;
    }
}

}  // namespace paths

float signedPower(float v, float exponent) {
    return paths::tracedSignedPower(v, exponent).value;
}

void signedPowers(const float* in, float* out, std::size_t count, float exponent) {
    // In the 32-bit build the AVX2 path pays about 90 ns a call to leave the
    // vector registers' upper halves clean (signed_powers_avx2.cpp): shorter
    // arrays cost less through SSE2, which gives the same bits.
#if defined(__i386__)
    constexpr std::size_t kShortestForAvx2 = 96;
#else
    constexpr std::size_t kShortestForAvx2 = 0;
#endif
    const paths::ArrayPath path = count >= kShortestForAvx2 ? paths::fastestPath() : paths::ArrayPath::kSse2;
    paths::signedPowersOn(path, in, out, count, exponent);
}

}  // namespace power_law
