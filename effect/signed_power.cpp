// The signed power law through the C library's pow (a placeholder until the
// power law of our own replaces it).
#include "signed_power.h"

#include <cmath>

namespace power_law {

float signedPower(float v, float exponent) {
    const double e = exponent;
    if (v > 0.0f) {
        return static_cast<float>(std::pow(static_cast<double>(v), e));
    }
    return static_cast<float>(-std::pow(-static_cast<double>(v), e));
}

void signedPowers(const float* in, float* out, std::size_t count, float exponent) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = signedPower(in[i], exponent);
    }
}

}  // namespace power_law
