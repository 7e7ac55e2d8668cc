// The constants and tables of the power law x^e = 2^(e * log2 x), computed
// by the compiler in double-double arithmetic (docs/power-law.md gives the
// method and its error bounds).
//
// log2 x: x = 2^k * z, z in [0.709, 1.418), split into 128 intervals by the
// top bits of z's mantissa. Each interval has a short reciprocal c of its
// centre, so that r = z * c - 1 is exact and |r| <= 2^-8, and -log2 c is
// tabulated; then log2 x = k - log2 c + log2(1 + r). The interval holding
// 1 has c = 1 exactly, so log2 x keeps its relative accuracy near x = 1.
//
// 2^t: t = n + i / 128 + u with |u| <= 2^-8; 2^(i / 128) is tabulated and
// 2^u comes from a series.
//
// Everything here is constant data; nothing is computed at run time.
#pragma once

#include <cstdint>

#include "double_double.h"

namespace power_law {

using double_double::DoubleDouble;

// ln 2 and 1 / ln 2, each the double-double nearest to it.
inline constexpr DoubleDouble kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
inline constexpr DoubleDouble kInvLn2{0x1.71547652b82fep+0, 0x1.777d0ffda0d24p-56};

// Mantissa bits that select the interval of z (log table) and of the
// fraction of t (2^t table).
constexpr int kTableBits = 7;
constexpr int kTableSize = 1 << kTableBits;

// The bits of x minus kLogOffset have the exponent k in their top 12 bits
// and the interval index in the next 7. Its mantissa, 107/256, puts 1 in the
// middle of interval 74: that interval covers z in [1 - 2^-9, 1 + 2^-8).
constexpr std::uint64_t kLogOffset = 0x3FE6B00000000000ull;
constexpr int kUnitInterval = 74;

// Adding 1.5 * 2^45 rounds t to a multiple of 2^-7; the low bits of the sum
// then hold t * 128 as an integer.
constexpr double kRoundToTableStep = 0x1.8p45;

namespace tables {

using namespace double_double;

// Natural logarithm of c in [0.7, 2]: 2 atanh(s), s = (c - 1) / (c + 1),
// |s| <= 1/3, by its series to s^99 (the next term is below 2^-158).
constexpr DoubleDouble logOf(double c) {
    const DoubleDouble s = divide({c - 1.0, 0.0}, {c + 1.0, 0.0});
    const DoubleDouble s2 = multiply(s, s);
    DoubleDouble sum{0.0, 0.0};
    DoubleDouble power = s;
    for (int n = 0; n < 50; ++n) {
        sum = add(sum, divide(power, {2.0 * n + 1.0, 0.0}));
        power = multiply(power, s2);
    }
    return scale(sum, 2.0);
}

// e^z for |z| < 0.7 by its series to z^40 (the next term is below 2^-170).
constexpr DoubleDouble expOf(DoubleDouble z) {
    DoubleDouble sum{1.0, 0.0};
    DoubleDouble term{1.0, 0.0};
    for (int n = 1; n <= 40; ++n) {
        term = divide(multiply(term, z), {static_cast<double>(n), 0.0});
        sum = add(sum, term);
    }
    return sum;
}

// The interval of z that index j selects, as bounds of z.
constexpr double intervalStart(int j) {
    constexpr double kOffsetMantissa = 107.0 / 256.0;
    // Below 1 the mantissa of z counts twice as fast: z has the exponent -1.
    return j < kUnitInterval ? (j / 128.0 + 1.0 + kOffsetMantissa) / 2.0 : j / 128.0 + kOffsetMantissa;
}

// The reciprocal of the interval's centre on a grid of 2^-21: at most 22
// significant bits, so z * c (z has at most 24) is exact.
constexpr double reciprocalFor(int j) {
    if (j == kUnitInterval) {
        return 1.0;
    }
    const double start = intervalStart(j);
    const double end = j < kUnitInterval ? intervalStart(j) + 1.0 / 256.0 : intervalStart(j) + 1.0 / 128.0;
    const double reciprocal = 2.0 / (start + end);
    return static_cast<double>(static_cast<std::int64_t>(reciprocal * 0x1p21 + 0.5)) * 0x1p-21;
}

// Plain arrays, not std::array: the AVX2 file indexes them too, and must
// not instantiate a library function that another file might share.
struct LogTable {
    double reciprocal[kTableSize];   // c
    double minusLog2Hi[kTableSize];  // -log2 c, high part
    double minusLog2Lo[kTableSize];  // and low part
};

constexpr LogTable makeLogTable() {
    LogTable table{};
    for (int j = 0; j < kTableSize; ++j) {
        const double c = reciprocalFor(j);
        const DoubleDouble minusLog2 = multiply(logOf(c), {-kInvLn2.hi, -kInvLn2.lo});
        table.reciprocal[j] = c;
        table.minusLog2Hi[j] = minusLog2.hi;
        table.minusLog2Lo[j] = minusLog2.lo;
    }
    return table;
}

struct Exp2Table {
    double hi[kTableSize];  // 2^(i / 128), high part
    double lo[kTableSize];  // and low part
};

constexpr Exp2Table makeExp2Table() {
    Exp2Table table{};
    for (int i = 0; i < kTableSize; ++i) {
        const DoubleDouble value = expOf(scale(multiply(kLn2, static_cast<double>(i)), 1.0 / kTableSize));
        table.hi[i] = value.hi;
        table.lo[i] = value.lo;
    }
    return table;
}

// Coefficients in plain arrays, for the same reason as the tables.
template <int kCount>
struct Series {
    DoubleDouble c[kCount];
};

template <int kCount>
struct Polynomial {
    double c[kCount];
};

// Series coefficients in double-double: (-1)^(n+1) / n for ln(1 + r), and
// 1 / n! for e^z - 1, index n - 1.
template <int kCount>
constexpr Series<kCount> logSeries() {
    Series<kCount> series{};
    for (int n = 1; n <= kCount; ++n) {
        const DoubleDouble inverse = divide({1.0, 0.0}, {static_cast<double>(n), 0.0});
        series.c[n - 1] = n % 2 == 1 ? inverse : DoubleDouble{-inverse.hi, -inverse.lo};
    }
    return series;
}

template <int kCount>
constexpr Series<kCount> expSeries() {
    Series<kCount> series{};
    DoubleDouble inverseFactorial{1.0, 0.0};
    for (int n = 1; n <= kCount; ++n) {
        inverseFactorial = divide(inverseFactorial, {static_cast<double>(n), 0.0});
        series.c[n - 1] = inverseFactorial;
    }
    return series;
}

// The fast path's polynomials, Taylor's coefficients rounded to doubles:
// log2(1 + r) = sum a_n r^n (n = 1..5) and 2^u - 1 = sum b_n u^n (n = 1..4).
constexpr Polynomial<5> fastLog2Coefficients() {
    Polynomial<5> a{};
    const Series<5> series = logSeries<5>();
    for (int n = 0; n < 5; ++n) {
        a.c[n] = multiply(series.c[n], kInvLn2).hi;
    }
    return a;
}

constexpr Polynomial<4> fastExp2Coefficients() {
    Polynomial<4> b{};
    const Series<4> series = expSeries<4>();
    DoubleDouble power{1.0, 0.0};
    for (int n = 0; n < 4; ++n) {
        power = multiply(power, kLn2);
        b.c[n] = multiply(series.c[n], power).hi;
    }
    return b;
}

// The series' own ln 2 agrees with the constant above: a check of the
// double-double arithmetic as the compiler evaluates it.
constexpr bool ln2AgreesWithItsSeries() {
    const DoubleDouble series = logOf(2.0);  // 2 atanh(1/3)
    const DoubleDouble difference = add(series, DoubleDouble{-kLn2.hi, -kLn2.lo});
    return magnitude(difference.hi) < 0x1p-104;
}
static_assert(ln2AgreesWithItsSeries(), "double-double arithmetic evaluates as IEEE doubles");

}  // namespace tables

inline constexpr tables::LogTable kLogTable = tables::makeLogTable();
inline constexpr tables::Exp2Table kExp2Table = tables::makeExp2Table();

// Degree 14 leaves |r|^15 / 15 < 2^-123 for |r| <= 2^-8; degree 11 leaves
// |z|^12 / 12! < 2^-130 for |z| <= 2^-8.
inline constexpr tables::Series<14> kLogSeries = tables::logSeries<14>();
inline constexpr tables::Series<11> kExpSeries = tables::expSeries<11>();

inline constexpr tables::Polynomial<5> kFastLog2 = tables::fastLog2Coefficients();
inline constexpr tables::Polynomial<4> kFastExp2 = tables::fastExp2Coefficients();

}  // namespace power_law
