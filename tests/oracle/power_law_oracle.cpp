// power_law_oracle: checks the signed power law against MPFR.
//
// For each pair (v, e) the expected float is the formula's: v > 0 ? pow(v, e)
// : -pow(-v, e), pow correctly rounded to a double (MPFR at 53 bits, round to
// nearest, double's exponent range and subnormals), then rounded to a float.
// The pairs are the edges (zeros, ones, subnormals, the largest floats,
// infinities, NaN, against exponents 1, 0.1, 0, negative, -inf and NaN), then
// random pairs like those the signal path meets: audio values, values
// decaying through the subnormals, any float, against the factory programs'
// exponents, exponents of random amounts and any float up to 1. Each batch of
// random values also goes through both array paths, which must give the
// scalar result bit for bit.
//
// Usage: power_law_oracle [--pairs N] [--threads T] [--seed S]
//   N random pairs (default 10^6), on T threads (default 1).
// Exit codes: 0 the law is within its allowance (at most one pair in 10^8
// differs from MPFR, by one float ulp at most; the array paths agree with the
// scalar; the tables and the measured error bounds hold), 1 it is not, 2 bad
// usage.
#include <mpfr.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "bit_patterns.h"
#include "power_law.h"
#include "power_tables.h"
#include "program_table.h"
#include "signed_power.h"
#include "signed_power_paths.h"
#include "test_signals.h"

namespace {

using power_law::paths::ArrayPath;
using power_law::paths::Decision;

using bit_patterns::bitsOf;
using bit_patterns::floatFromBits;

// MPFR numbers of one thread, with the exponent range of doubles.
class Mpfr {
public:
    Mpfr() {
        mpfr_set_emin(-1073);  // 2^-1074, the smallest subnormal double, is 0.5 * 2^-1073
        mpfr_set_emax(1024);
        mpfr_inits2(24, x_, e_, static_cast<mpfr_ptr>(nullptr));
        mpfr_init2(power_, 53);
        mpfr_inits2(160, precise_, difference_, static_cast<mpfr_ptr>(nullptr));
    }
    ~Mpfr() { mpfr_clears(x_, e_, power_, precise_, difference_, static_cast<mpfr_ptr>(nullptr)); }
    Mpfr(const Mpfr&) = delete;
    Mpfr& operator=(const Mpfr&) = delete;

    // The formula's float, through the correctly rounded double pow.
    float signedPower(float v, float e) {
        const bool positive = v > 0.0f;
        mpfr_set_flt(x_, positive ? v : -v, MPFR_RNDN);
        mpfr_set_flt(e_, e, MPFR_RNDN);
        const int inexact = mpfr_pow(power_, x_, e_, MPFR_RNDN);
        mpfr_subnormalize(power_, inexact, MPFR_RNDN);
        const double d = mpfr_get_d(power_, MPFR_RNDN);  // exact: power_ is a double
        return static_cast<float>(positive ? d : -d);
    }

    // Whether rounding the exact power to a float directly would give another
    // float: the double rounding decided this pair.
    bool doubleRoundingDecides(float v, float e, float expected) {
        mpfr_set_flt(x_, v > 0.0f ? v : -v, MPFR_RNDN);
        mpfr_set_flt(e_, e, MPFR_RNDN);
        mpfr_pow(precise_, x_, e_, MPFR_RNDN);
        const float direct = mpfr_get_flt(precise_, MPFR_RNDN);
        return std::isfinite(expected) && direct != (v > 0.0f ? expected : -expected);
    }

    // |approximation / x^e - 1| for a positive finite float x.
    double relativeError(float x, float e, double hi, double lo) {
        mpfr_set_flt(x_, x, MPFR_RNDN);
        mpfr_set_flt(e_, e, MPFR_RNDN);
        mpfr_pow(precise_, x_, e_, MPFR_RNDN);
        mpfr_set_d(difference_, hi, MPFR_RNDN);
        mpfr_add_d(difference_, difference_, lo, MPFR_RNDN);
        mpfr_sub(difference_, difference_, precise_, MPFR_RNDN);
        mpfr_div(difference_, difference_, precise_, MPFR_RNDN);
        return std::fabs(mpfr_get_d(difference_, MPFR_RNDN));
    }

private:
    mpfr_t x_;
    mpfr_t e_;
    mpfr_t power_;
    mpfr_t precise_;
    mpfr_t difference_;
};

struct Tally {
    std::uint64_t pairs = 0;
    std::uint64_t differing = 0;
    std::uint64_t beyondOneUlp = 0;
    std::uint64_t moderate = 0;      // pairs with |e| <= 1, the fast path's domain
    std::uint64_t moderateSlow = 0;  // of those, the ones the slow path decided
    std::uint64_t slow = 0;
    std::uint64_t undecided = 0;
    std::uint64_t doubleRounding = 0;
    std::uint64_t arrayMismatches[2] = {0, 0};  // SSE2, AVX2
    std::uint64_t fastSamples = 0;
    double fastError = 0.0;
    std::uint64_t slowSamples = 0;
    double slowError[2] = {0.0, 0.0};  // |e| <= 1, wider exponents
    int reported = 0;

    void add(const Tally& t) {
        pairs += t.pairs;
        differing += t.differing;
        beyondOneUlp += t.beyondOneUlp;
        moderate += t.moderate;
        moderateSlow += t.moderateSlow;
        slow += t.slow;
        undecided += t.undecided;
        doubleRounding += t.doubleRounding;
        arrayMismatches[0] += t.arrayMismatches[0];
        arrayMismatches[1] += t.arrayMismatches[1];
        fastSamples += t.fastSamples;
        fastError = std::fmax(fastError, t.fastError);
        slowSamples += t.slowSamples;
        slowError[0] = std::fmax(slowError[0], t.slowError[0]);
        slowError[1] = std::fmax(slowError[1], t.slowError[1]);
    }
};

// Distance in floats between two finite floats of the same sign.
std::uint32_t ulpsApart(float a, float b) {
    const std::uint32_t x = bitsOf(a);
    const std::uint32_t y = bitsOf(b);
    if ((x ^ y) & 0x80000000u) {
        return (x & 0x7FFFFFFFu) + (y & 0x7FFFFFFFu);
    }
    return x > y ? x - y : y - x;
}

// Every 64th pair also measures the fast path's error. The bounds are
// those the rounding relies on (docs/power-law.md derives smaller ones),
// with a margin of 4 for the slow path.
constexpr std::uint64_t kFastSampling = 64;
constexpr double kFastBound = 0x1p-45;
constexpr double kSlowBound[2] = {0x1p-92, 0x1p-86};

void check(float v, float e, Mpfr& mpfr, Tally& tally) {
    ++tally.pairs;
    const power_law::paths::Traced ours = power_law::paths::tracedSignedPower(v, e);
    const float expected = mpfr.signedPower(v, e);
    const bool same = bitsOf(ours.value) == bitsOf(expected) || (std::isnan(ours.value) && std::isnan(expected));
    if (!same) {
        ++tally.differing;
        const bool oneUlp = std::isfinite(expected) && ulpsApart(ours.value, expected) <= 1;
        tally.beyondOneUlp += oneUlp ? 0 : 1;
        if (tally.reported++ < 10) {
            std::printf("differs: v %a (0x%08" PRIx32 "), e %a: %a (0x%08" PRIx32 "), MPFR %a (0x%08" PRIx32 ")\n", v,
                        bitsOf(v), e, ours.value, bitsOf(ours.value), expected, bitsOf(expected));
        }
    }
    const bool slow = ours.decision == Decision::kSlow || ours.decision == Decision::kUndecided;
    tally.slow += ours.decision == Decision::kSlow ? 1 : 0;
    tally.undecided += ours.decision == Decision::kUndecided ? 1 : 0;
    if (std::fabs(e) <= 1.0f) {
        ++tally.moderate;
        tally.moderateSlow += slow ? 1 : 0;
    }
    if (slow) {
        tally.doubleRounding += mpfr.doubleRoundingDecides(v, e, expected) ? 1 : 0;
        const auto exact = power_law::paths::exactPower(std::fabs(v), e);
        double& worst = tally.slowError[std::fabs(e) <= 1.0f ? 0 : 1];
        worst = std::fmax(worst, mpfr.relativeError(std::fabs(v), e, exact.hi, exact.lo));
        ++tally.slowSamples;
    }
    const float x = std::fabs(v);
    if (tally.pairs % kFastSampling == 0 && e >= -1.0f && e <= 1.0f && x > 0.0f && std::isfinite(x)) {
        const auto fast = power_law::paths::fastPower(x, e);
        if (fast.exponent > -150.0 && fast.exponent < 128.0) {
            tally.fastError = std::fmax(tally.fastError, mpfr.relativeError(x, e, fast.power, 0.0));
            ++tally.fastSamples;
        }
    }
}

// The edges: every value against every exponent.
void checkEdges(Mpfr& mpfr, Tally& tally) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {
        0.0f, 1.0f, 0x1p-149f, 0x1.fffffcp-127f, 0x1p-126f,      0x1.fffffep127f, inf,  nan,
        0.5f, 2.0f, 0.25f,     0x1.000002p0f,    0x1.fffffep-1f, 1e-30f,          3.0f, 0x1.8p-140f};
    const float exponents[] = {
        1.0f,  0.1f,    0.39f, 0.5f, 0x1.fffffep-1f, 0x1p-149f, 1e-10f,           0.0f,      -0.0f, -1.0f, -0.5f, -3.0f,
        -2.0f, -100.0f, -inf,  nan,  0.2f,           0x1p-30f,  -0x1.fffffep127f, -0x1p-149f};
    for (float value : values) {
        for (float sign : {1.0f, -1.0f}) {
            for (float e : exponents) {
                check(value * sign, e, mpfr, tally);
            }
        }
    }
}

// The kernel's tables against MPFR: the largest relative error of the
// double-double entries, the reciprocals' size in bits and their reach, the
// largest |z c - 1| over their intervals (the fast path's bound takes 2^-8).
struct TableCheck {
    double logError = 0.0;
    double exp2Error = 0.0;
    int reciprocalBits = 0;
    double reach = 0.0;
};

TableCheck checkTables() {
    using namespace power_law;
    mpfr_t exact;
    mpfr_t entry;
    mpfr_inits2(320, exact, entry, static_cast<mpfr_ptr>(nullptr));
    const auto relativeError = [&](double hi, double lo) {
        mpfr_set_d(entry, hi, MPFR_RNDN);
        mpfr_add_d(entry, entry, lo, MPFR_RNDN);
        if (mpfr_zero_p(exact)) {
            return mpfr_zero_p(entry) ? 0.0 : 1.0;
        }
        mpfr_sub(entry, entry, exact, MPFR_RNDN);
        mpfr_div(entry, entry, exact, MPFR_RNDN);
        return std::fabs(mpfr_get_d(entry, MPFR_RNDN));
    };
    TableCheck check;
    for (int j = 0; j < kTableSize; ++j) {
        const double c = kLogTable.reciprocal[j];
        mpfr_set_d(exact, c, MPFR_RNDN);
        mpfr_log2(exact, exact, MPFR_RNDN);
        mpfr_neg(exact, exact, MPFR_RNDN);
        check.logError = std::fmax(check.logError, relativeError(kLogTable.minusLog2Hi[j], kLogTable.minusLog2Lo[j]));

        int bits = 0;
        for (auto m = static_cast<std::uint64_t>(c * 0x1p21); m != 0; m >>= 1) {
            ++bits;
        }
        check.reciprocalBits = bits > check.reciprocalBits ? bits : check.reciprocalBits;
        const double start = j == kUnitInterval ? 1.0 - 0x1p-9 : tables::intervalStart(j);
        const double end = j == kUnitInterval  ? 1.0 + 0x1p-8
                           : j < kUnitInterval ? tables::intervalStart(j) + 0x1p-8
                                               : tables::intervalStart(j) + 0x1p-7;
        check.reach = std::fmax(check.reach, std::fmax(std::fabs(start * c - 1.0), std::fabs(end * c - 1.0)));
    }
    for (int i = 0; i < kTableSize; ++i) {
        mpfr_set_si(exact, i, MPFR_RNDN);
        mpfr_div_ui(exact, exact, kTableSize, MPFR_RNDN);
        mpfr_exp2(exact, exact, MPFR_RNDN);
        check.exp2Error = std::fmax(check.exp2Error, relativeError(kExp2Table.hi[i], kExp2Table.lo[i]));
    }
    mpfr_clears(exact, entry, static_cast<mpfr_ptr>(nullptr));
    return check;
}

// Exponents of the nine factory programs (main and band amounts).
std::vector<float> programExponents() {
    constexpr int kAmountColumns[] = {2, 11, 12, 13};  // L.Dist, DistLow, DistMid, DistHigh
    std::vector<float> exponents;
    for (const FactoryProgram& program : kFactoryPrograms) {
        for (int column : kAmountColumns) {
            exponents.push_back(distortionExponent(program.values[column]));
        }
    }
    return exponents;
}

class PairSource {
public:
    explicit PairSource(std::uint64_t seed) : random_(seed), programs_(programExponents()) {}

    float exponent() {
        const std::uint64_t kind = random_.below(10);
        if (kind < 4) {
            return programs_[random_.below(programs_.size())];
        }
        if (kind < 8) {
            return distortionExponent(static_cast<float>(random_.uniform()));
        }
        if (kind < 9) {
            return distortionExponent(random_.between(-1.0f, 3.0f));  // hosts may send any value
        }
        float e = 2.0f;  // any float up to 1, NaN included
        while (e > 1.0f) {
            e = floatFromBits(static_cast<std::uint32_t>(random_.next()));
        }
        return e;
    }

    float value() {
        const std::uint64_t kind = random_.below(8);
        if (kind < 4) {  // audio, from full scale down by up to 100 dB
            return random_.between(-1.0f, 1.0f) * static_cast<float>(std::pow(10.0, -5.0 * random_.uniform()));
        }
        if (kind < 6) {  // decaying towards silence: any magnitude below 1, subnormals included
            const float magnitude = floatFromBits(static_cast<std::uint32_t>(random_.below(0x3F800000u)));
            return random_.below(2) == 0 ? magnitude : -magnitude;
        }
        if (kind < 7) {  // near 1
            return floatFromBits(0x3F800000u + static_cast<std::uint32_t>(random_.below(1 << 20)) - (1u << 19));
        }
        float v = std::numeric_limits<float>::infinity();  // any finite float
        while (!std::isfinite(v)) {
            v = floatFromBits(static_cast<std::uint32_t>(random_.next()));
        }
        return v;
    }

private:
    perf::Random random_;
    std::vector<float> programs_;
};

constexpr std::size_t kBatch = 1024;

void checkRandom(std::uint64_t pairs, std::uint64_t seed, Mpfr& mpfr, Tally& tally) {
    PairSource source(seed);
    const bool avx2 = power_law::paths::avx2Usable();
    std::vector<float> in(kBatch);
    std::vector<float> scalar(kBatch);
    std::vector<float> array(kBatch);
    for (std::uint64_t done = 0; done < pairs; done += kBatch) {
        const std::size_t count = pairs - done < kBatch ? static_cast<std::size_t>(pairs - done) : kBatch;
        const float e = source.exponent();
        for (std::size_t i = 0; i < count; ++i) {
            in[i] = source.value();
            check(in[i], e, mpfr, tally);
            scalar[i] = power_law::signedPower(in[i], e);
        }
        for (const ArrayPath path : {ArrayPath::kSse2, ArrayPath::kAvx2}) {
            if (path == ArrayPath::kAvx2 && !avx2) {
                continue;
            }
            power_law::paths::signedPowersOn(path, in.data(), array.data(), count, e);
            for (std::size_t i = 0; i < count; ++i) {
                tally.arrayMismatches[path == ArrayPath::kAvx2] += bitsOf(array[i]) != bitsOf(scalar[i]) ? 1 : 0;
            }
        }
    }
}

bool parseCount(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);  // 1e9 as well as 1000000000
    if (end == text || *end != '\0' || !(parsed >= 0.0 && parsed <= 1e15) || parsed != std::floor(parsed)) {
        return false;
    }
    value = static_cast<std::uint64_t>(parsed);
    return true;
}

int usage(const char* problem) {
    std::fprintf(stderr,
                 "power_law_oracle: %s\n"
                 "usage: power_law_oracle [--pairs N] [--threads T] [--seed S]\n",
                 problem);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t pairs = 1000000;
    std::uint64_t threads = 1;
    std::uint64_t seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        std::uint64_t* target = option == "--pairs"     ? &pairs
                                : option == "--threads" ? &threads
                                : option == "--seed"    ? &seed
                                                        : nullptr;
        if (target == nullptr) {
            return usage(("unknown option " + option).c_str());
        }
        if (i + 1 == argc || !parseCount(argv[i + 1], *target)) {
            return usage((option + " needs a whole number").c_str());
        }
        ++i;
    }
    if (threads < 1 || threads > 64) {
        return usage("--threads must be from 1 to 64");
    }

    const auto start = std::chrono::steady_clock::now();
    const TableCheck tables = checkTables();
    std::vector<Tally> tallies(threads);
    std::vector<std::thread> workers;
    for (std::uint64_t t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            Mpfr mpfr;
            if (t == 0) {
                checkEdges(mpfr, tallies[t]);
            }
            const std::uint64_t share = pairs / threads + (t < pairs % threads ? 1 : 0);
            checkRandom(share, seed * 1000 + t, mpfr, tallies[t]);
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    Tally total;
    for (const Tally& t : tallies) {
        total.add(t);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const double allowed = std::floor(static_cast<double>(total.pairs) / 1e8);
    const bool avx2 = power_law::paths::avx2Usable();
    std::printf("tables: -log2 c within 2^%.2f, 2^(i/128) within 2^%.2f, reciprocals of %d bits reaching 2^%.4f\n",
                std::log2(tables.logError), std::log2(tables.exp2Error), tables.reciprocalBits,
                std::log2(tables.reach));
    std::printf("pairs checked: %" PRIu64 " (edges and %" PRIu64 " random), %.0f s on %" PRIu64 " threads\n",
                total.pairs, pairs, seconds, threads);
    std::printf("differing from MPFR: %" PRIu64 ", by more than one ulp: %" PRIu64 " (allowed: %.0f, by one ulp)\n",
                total.differing, total.beyondOneUlp, allowed);
    std::printf("array paths against the scalar: SSE2 %" PRIu64 " differ, AVX2 %s\n", total.arrayMismatches[0],
                avx2 ? (std::to_string(total.arrayMismatches[1]) + " differ").c_str() : "not usable here");
    std::printf("slow path: %" PRIu64
                " pairs (%.2e of those with |e| <= 1, the rest have wider exponents)"
                ", undecided there: %" PRIu64 ", double rounding decided: %" PRIu64 "\n",
                total.slow + total.undecided, static_cast<double>(total.moderateSlow) / total.moderate, total.undecided,
                total.doubleRounding);
    std::printf("fast path error: max 2^%.2f over %" PRIu64 " samples (bound 2^%.0f)\n", std::log2(total.fastError),
                total.fastSamples, std::log2(kFastBound));
    std::printf("slow path error: max 2^%.2f for |e| <= 1, 2^%.2f beyond, over %" PRIu64
                " samples (bounds 2^%.0f, 2^%.0f)\n",
                std::log2(total.slowError[0]), std::log2(total.slowError[1]), total.slowSamples,
                std::log2(kSlowBound[0]), std::log2(kSlowBound[1]));

    const bool tablesHold = tables.logError <= 0x1p-103 && tables.exp2Error <= 0x1p-103 &&
                            tables.reciprocalBits <= 22 && tables.reach <= 0x1p-8;
    const bool pass = tablesHold && total.differing <= allowed && total.beyondOneUlp == 0 &&
                      total.arrayMismatches[0] == 0 && total.arrayMismatches[1] == 0 && total.fastError <= kFastBound &&
                      total.slowError[0] <= kSlowBound[0] && total.slowError[1] <= kSlowBound[1];
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
