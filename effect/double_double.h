// Double-double arithmetic: a value carried as the unevaluated sum of two
// doubles, hi + lo with |lo| <= half an ulp of hi, good to about 2^-104
// relative. The exact steps (twoSum, twoProduct) rest on IEEE double
// arithmetic rounding to nearest and on no fused multiply-add: the project
// builds with -ffp-contract=off and SSE2 arithmetic everywhere. Every function
// is constexpr, so the power law's tables are computed by the compiler with
// the same operations.
#pragma once

namespace double_double {

struct DoubleDouble {
    double hi;
    double lo;
};

// a + b exactly, for any a and b.
constexpr DoubleDouble twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a + b exactly, for |a| >= |b| (or a == 0).
constexpr DoubleDouble fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split: hi holds the top 26 bits of a, lo the rest.
constexpr DoubleDouble split(double a) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    const double hi = c - (c - a);
    return {hi, a - hi};
}

// a * b exactly (Dekker), for products far from overflow and underflow.
constexpr DoubleDouble twoProduct(double a, double b) {
    const double p = a * b;
    const DoubleDouble as = split(a);
    const DoubleDouble bs = split(b);
    return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

constexpr DoubleDouble add(DoubleDouble a, DoubleDouble b) {
    DoubleDouble s = twoSum(a.hi, b.hi);
    const DoubleDouble t = twoSum(a.lo, b.lo);
    s = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(s.hi, s.lo + t.lo);
}

constexpr DoubleDouble add(DoubleDouble a, double b) {
    const DoubleDouble s = twoSum(a.hi, b);
    return fastTwoSum(s.hi, s.lo + a.lo);
}

constexpr DoubleDouble multiply(DoubleDouble a, DoubleDouble b) {
    const DoubleDouble p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

constexpr DoubleDouble multiply(DoubleDouble a, double b) {
    const DoubleDouble p = twoProduct(a.hi, b);
    return fastTwoSum(p.hi, p.lo + a.lo * b);
}

constexpr DoubleDouble divide(DoubleDouble a, DoubleDouble b) {
    const double q1 = a.hi / b.hi;
    DoubleDouble r = add(a, multiply(b, -q1));
    const double q2 = r.hi / b.hi;
    r = add(r, multiply(b, -q2));
    const double q3 = r.hi / b.hi;
    return add(fastTwoSum(q1, q2), q3);
}

constexpr DoubleDouble scale(DoubleDouble a, double powerOfTwo) {
    return {a.hi * powerOfTwo, a.lo * powerOfTwo};
}

constexpr double magnitude(double a) {
    return a < 0.0 ? -a : a;
}

}  // namespace double_double
