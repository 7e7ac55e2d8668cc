#include "host_parameters.h"

#include <cmath>
#include <cstring>

#include "fuzz_failure.h"
#include "parameter_index.h"

namespace {
bool inRange(VstInt32 index) {
    return index >= 0 && index < kParameterCount;
}

bool sameValue(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof(a)) == 0;
}
}  // namespace

void setParameterLikeAHost(AEffect* effect, FuzzBytes& in) {
    const VstInt32 index = in.index(kParameterCount);
    const float value = in.parameterValue();
    float before[kParameterCount];
    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        before[i] = effect->getParameter(effect, i);
    }

    effect->setParameter(effect, index, value);

    for (VstInt32 i = 0; i < kParameterCount; ++i) {
        const float now = effect->getParameter(effect, i);
        const float expected = i == index ? value : before[i];
        FUZZ_REQUIRE(sameValue(now, expected), "after setParameter(%d, %g) parameter %d reads %g, expected %g", index,
                     static_cast<double>(value), i, static_cast<double>(now), static_cast<double>(expected));
    }
}

void getParameterLikeAHost(AEffect* effect, FuzzBytes& in) {
    const VstInt32 index = in.index(kParameterCount);
    const float value = effect->getParameter(effect, index);
    if (!inRange(index)) {
        FUZZ_REQUIRE(value == 0.0f && !std::signbit(value), "getParameter(%d) answered %g, expected 0", index,
                     static_cast<double>(value));
    }
}
