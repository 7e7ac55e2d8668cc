#include "exact_power.h"

#include "bit_patterns.h"
#include "power_tables.h"

namespace power_law {
namespace exact {

using bit_patterns::doubleFromBits;
using double_double::add;
using double_double::DoubleDouble;
using double_double::multiply;

// The fast path's reduction (power_tables.h), then ln(1 + r) by its series
// in double-double.
DoubleDouble log2Of(std::uint64_t x) {
    const std::uint64_t offset = x - kLogOffset;
    const auto j = static_cast<int>((offset >> (52 - kTableBits)) & (kTableSize - 1));
    const auto k = static_cast<double>(static_cast<std::int64_t>(offset) >> 52);
    const double z = doubleFromBits(x - (offset & 0xFFF0000000000000ull));
    const double r = z * kLogTable.reciprocal[j] - 1.0;  // exact

    constexpr int kTerms = sizeof kLogSeries.c / sizeof kLogSeries.c[0];
    DoubleDouble sum = kLogSeries.c[kTerms - 1];
    for (int n = kTerms - 2; n >= 0; --n) {
        sum = add(kLogSeries.c[n], multiply(sum, r));
    }
    const DoubleDouble log2OfOnePlusR = multiply(multiply(sum, r), kInvLn2);
    const DoubleDouble tabulated = add(DoubleDouble{kLogTable.minusLog2Hi[j], kLogTable.minusLog2Lo[j]}, k);
    return add(tabulated, log2OfOnePlusR);
}

DoubleDouble exp2Of(DoubleDouble t) {
    // t = steps / 128 + u, steps an integer, |u| <= 2^-8 (a hair more from t.lo).
    const double rounded = (t.hi + kRoundToTableStep) - kRoundToTableStep;
    const auto steps = static_cast<std::int32_t>(rounded * kTableSize);
    const DoubleDouble u = double_double::twoSum(t.hi - rounded, t.lo);
    const DoubleDouble z = multiply(u, kLn2);

    constexpr int kTerms = sizeof kExpSeries.c / sizeof kExpSeries.c[0];
    DoubleDouble sum = kExpSeries.c[kTerms - 1];
    for (int n = kTerms - 2; n >= 0; --n) {
        sum = add(kExpSeries.c[n], multiply(sum, z));
    }
    const DoubleDouble expm1OfZ = multiply(sum, z);

    const int i = steps & (kTableSize - 1);
    const int n = (steps - i) / kTableSize;
    const DoubleDouble tableValue{kExp2Table.hi[i], kExp2Table.lo[i]};
    const DoubleDouble power = add(tableValue, multiply(tableValue, expm1OfZ));
    return double_double::scale(power, doubleFromBits(static_cast<std::uint64_t>(n + 1023) << 52));
}

}  // namespace exact
}  // namespace power_law
