#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bit_patterns.h"
#include "signed_power.h"
#include "signed_power_paths.h"

namespace {

using power_law::paths::ArrayPath;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using bit_patterns::bitsOf;
using bit_patterns::floatFromBits;

std::string describe(float f) {
    char text[48];
    std::snprintf(text, sizeof text, "%a (0x%08lx)", static_cast<double>(f), static_cast<unsigned long>(bitsOf(f)));
    return text;
}

// Any NaN stands for any NaN; everything else bit for bit.
bool same(float a, float b) {
    return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b));
}

struct Edge {
    float v;
    float e;
    float expected;  // v > 0 ? pow(v, e) : -pow(-v, e), pow correctly rounded to a double (MPFR)
};

// Special values as C99 Annex F defines pow for them, zeros taking the
// negative branch; subnormal values and results; overflow and underflow;
// exponents beyond [-1, 1]; and results within 2^-44 of a float midpoint,
// which only the slow path decides (found with MPFR).
constexpr Edge kEdges[] = {
    {0.0f, 0.39f, -0.0f},
    {-0.0f, 0.39f, -0.0f},
    {0.0f, 1.0f, 0.0f},
    {-0.0f, 1.0f, -0.0f},
    {0.0f, -1.0f, kInf},
    {-0.0f, -1.0f, -kInf},
    {0.0f, -0.5f, -kInf},
    {0.0f, -kInf, -kInf},
    {1.0f, kNaN, 1.0f},
    {-1.0f, kNaN, -1.0f},
    {kNaN, 0.0f, -1.0f},
    {2.0f, 0.0f, 1.0f},
    {-2.0f, -0.0f, -1.0f},
    {kNaN, 0.39f, kNaN},
    {0.5f, kNaN, kNaN},
    {-0.5f, kNaN, kNaN},
    {kInf, 0.39f, kInf},
    {-kInf, 0.39f, -kInf},
    {kInf, -1.0f, 0.0f},
    {-kInf, -1.0f, -0.0f},
    {0.5f, -kInf, kInf},
    {2.0f, -kInf, 0.0f},
    {-0.5f, -kInf, -kInf},
    {-3.5f, 1.0f, -3.5f},
    {0x1.8p-140f, 1.0f, 0x1.8p-140f},
    {0x1.fffffep127f, 1.0f, 0x1.fffffep+127f},
    {0.5f, 0.1f, 0x1.ddb68p-1f},
    {-0.5f, 0.1f, -0x1.ddb68p-1f},
    {0.25f, 0.5f, 0.5f},
    {-4.0f, 0.5f, -2.0f},
    {1e-30f, 0.39f, 0x1.18cef8p-39f},
    {0x1p-149f, 0.1f, 0x1.125fbcp-15f},
    {-0x1p-149f, 0.39f, -0x1.da69eep-59f},
    {0x1.fffffcp-127f, 0.8f, 0x1.261102p-101f},
    {0x1p-126f, 0.6f, 0x1.51cb18p-76f},
    {0x1p-149f, 0x1.fffffep-1f, 0x1p-149f},
    {0x1.8p-140f, 0x1.fcp-1f, 0x1.988p-139f},
    {-0x1.fffffcp-127f, 0x1.fffffep-1f, -0x1.000056p-126f},
    {0x1p-140f, 0x1.ff8p-1f, 0x1.198p-140f},
    {0x1p-149f, -1.0f, kInf},
    {0x1p-126f, -1.0f, 0x1p+126f},
    {0x1.fffffep127f, -2.0f, 0.0f},
    {3.0f, -100.0f, 0.0f},
    {0.5f, -0x1.fffffep127f, kInf},
    {0x1.000002p0f, -0x1p30f, 0.0f},
    {0x1p-149f, 0x1p-149f, 1.0f},
    {0.7f, 1e-10f, 1.0f},
    {1.5f, -0x1p-149f, 1.0f},
    {0x1.fffffcp-127f, -0.5f, 0x1.000002p+63f},
    {0x1.fffffep127f, 0.5f, 0x1.fffffep+63f},
    {0x1.000002p0f, 0.5f, 1.0f},
    {0x1.fffffep-1f, 0.5f, 0x1.fffffep-1f},
    {0x1.fffffep-1f, -1.0f, 0x1.000002p+0f},
    {0x1.fb0cbp-1f, 0x1.3e4702p-1f, 0x1.fceacp-1f},
    {-0x1.19d698p-8f, 0x1.014502p-1f, -0x1.0900f6p-4f},
    {0x1.18f19p-92f, 0x1.15f8a2p-2f, 0x1.0b5274p-25f},
    {0x1.a07fc4p-60f, 0x1.ebe71ap-1f, 0x1.0555b4p-57f},
    {0x1.a254cp-14f, 0.58f, 0x1.3932aep-8f},  // the fast path's double is the midpoint itself
    // Within half a double's last place of a float midpoint: rounding the
    // power straight to a float would give the other neighbour.
    {0x1.897ee6p-12f, 0x1.dcec14p-3f, 0x1.46476cp-3f},
    {-0x1.04a08ap-16f, 0x1.473cfep-1f, -0x1.babdecp-11f},
};

std::vector<ArrayPath> usablePaths() {
    std::vector<ArrayPath> paths{ArrayPath::kSse2};
    if (power_law::paths::avx2Usable()) {
        paths.push_back(ArrayPath::kAvx2);
    }
    return paths;
}

const char* nameOf(ArrayPath path) {
    return path == ArrayPath::kAvx2 ? "AVX2" : "SSE2";
}

// Values of every kind the paths treat apart: audio, decaying values down
// through the subnormals, zeros of both signs, infinities, NaN, the largest
// floats, values near 1, and any bits at all.
std::vector<float> mixedValues(std::size_t count, std::uint32_t seed) {
    const float specials[] = {
        0.0f, -0.0f, kInf,          -kInf,         kNaN, -kNaN, 0x1p-149f, -0x1.fffffcp-127f, 0x1.fffffep127f,
        1.0f, -1.0f, 0x1.000002p0f, 0x1.fffffep-1f};
    std::vector<float> values(count);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const std::uint32_t bits = state;
        switch (i % 5) {
            case 0:
                values[i] = static_cast<float>(static_cast<std::int32_t>(bits)) * 0x1p-31f;
                break;
            case 1:
                values[i] = floatFromBits(bits % 0x3F800000u | (bits & 0x80000000u));
                break;
            case 2:
                values[i] = specials[bits % (sizeof specials / sizeof specials[0])];
                break;
            case 3:
                values[i] = floatFromBits(bits & 0x807FFFFFu);
                break;  // subnormal or zero
            default:
                values[i] = floatFromBits(bits);
                break;
        }
    }
    return values;
}

}  // namespace

TEST(SignedPower, GivesTheFormulasCorrectlyRoundedFloatAtEveryEdge) {
    for (const Edge& edge : kEdges) {
        const float result = power_law::signedPower(edge.v, edge.e);
        EXPECT_TRUE(same(result, edge.expected)) << "v " << describe(edge.v) << ", e " << describe(edge.e) << ": "
                                                 << describe(result) << ", expected " << describe(edge.expected);
    }
}

TEST(SignedPowers, EveryArrayPathGivesTheScalarBitsOnEveryKindOfValue) {
    const float exponents[] = {0.39f,  0.1f,  0.6f,  0x1.fffffep-1f, 0x1p-40f, 1.0f,      0.0f,
                               -0.25f, -1.0f, -3.0f, -kInf,          kNaN,     0x1.fcp-1f};
    // Lengths around the widths of the paths, so that every tail runs.
    const std::size_t lengths[] = {0, 1, 3, 4, 5, 7, 8, 9, 15, 17, 1000};
    for (const float e : exponents) {
        for (const std::size_t length : lengths) {
            const std::vector<float> in = mixedValues(length, bitsOf(e) + static_cast<std::uint32_t>(length));
            std::vector<float> expected(length);
            for (std::size_t i = 0; i < length; ++i) {
                expected[i] = power_law::signedPower(in[i], e);
            }
            for (const ArrayPath path : usablePaths()) {
                std::vector<float> out(length, 12345.0f);
                power_law::paths::signedPowersOn(path, in.data(), out.data(), length, e);
                std::vector<float> inPlace = in;
                power_law::paths::signedPowersOn(path, inPlace.data(), inPlace.data(), length, e);
                for (std::size_t i = 0; i < length; ++i) {
                    ASSERT_EQ(bitsOf(out[i]), bitsOf(expected[i]))
                        << nameOf(path) << ", e " << describe(e) << ", value " << i << " of " << length << ": "
                        << describe(in[i]) << " gives " << describe(out[i]) << ", the scalar " << describe(expected[i]);
                    ASSERT_EQ(bitsOf(inPlace[i]), bitsOf(expected[i]))
                        << nameOf(path) << " in place, e " << describe(e) << ", value " << i;
                }
            }
            std::vector<float> chosen(length);
            power_law::signedPowers(in.data(), chosen.data(), length, e);
            for (std::size_t i = 0; i < length; ++i) {
                ASSERT_EQ(bitsOf(chosen[i]), bitsOf(expected[i])) << "the path signedPowers chooses, e " << describe(e);
            }
        }
    }
    // The edges in every lane: the array paths hand the hard ones on.
    for (const Edge& edge : kEdges) {
        const std::vector<float> in(9, edge.v);
        const float expected = power_law::signedPower(edge.v, edge.e);
        for (const ArrayPath path : usablePaths()) {
            std::vector<float> out(in.size());
            power_law::paths::signedPowersOn(path, in.data(), out.data(), in.size(), edge.e);
            for (std::size_t i = 0; i < in.size(); ++i) {
                ASSERT_EQ(bitsOf(out[i]), bitsOf(expected))
                    << nameOf(path) << ", v " << describe(edge.v) << ", e " << describe(edge.e) << ", lane " << i;
            }
        }
    }
    if (!power_law::paths::avx2Usable()) {
        std::printf("note: this processor has no usable AVX2; only the SSE2 path ran\n");
    }
}

TEST(SignedPowers, AnEdgeValueInAnyLaneAmongOrdinaryValuesGivesEveryLaneTheScalarBits) {
    // This value's power at this exponent lies so near a float midpoint that
    // the fast path leaves it to the scalar route.
    constexpr float kExponent = 0x1.dcec14p-3f;
    constexpr float kInRoundingWindow = 0x1.897ee6p-12f;
    ASSERT_NE(power_law::paths::tracedSignedPower(kInRoundingWindow, kExponent).decision,
              power_law::paths::Decision::kFast);
    const float edges[] = {0.0f, -0.0f, 0x1p-149f, -0x1.fffffcp-127f, kInRoundingWindow, -kInRoundingWindow,
                           kInf, -kInf, kNaN};
    // Four groups of eight, one of four and a tail of one: every loop of both paths.
    std::vector<float> ordinary(37);
    for (std::size_t i = 0; i < ordinary.size(); ++i) {
        ordinary[i] = (i % 2 == 0 ? 1.0f : -1.0f) * (0.05f + 0.021f * static_cast<float>(i));
    }
    for (const ArrayPath path : usablePaths()) {
        for (const float edge : edges) {
            for (std::size_t lane = 0; lane < ordinary.size(); ++lane) {
                std::vector<float> in = ordinary;
                in[lane] = edge;
                std::vector<float> out(in.size());
                power_law::paths::signedPowersOn(path, in.data(), out.data(), in.size(), kExponent);
                for (std::size_t i = 0; i < in.size(); ++i) {
                    const float expected = power_law::signedPower(in[i], kExponent);
                    ASSERT_EQ(bitsOf(out[i]), bitsOf(expected))
                        << nameOf(path) << ", " << describe(edge) << " in lane " << lane << ": lane " << i << " ("
                        << describe(in[i]) << ") gives " << describe(out[i]) << ", the scalar " << describe(expected);
                }
            }
        }
    }
}
