#include "reference_signal_path.h"

#include <cmath>

namespace reference {
namespace {

bool on(float value) {
    return value >= 0.5f;
}

// 10 to the power (2 * level - 1); the exponent is held as a float first.
float levelGain(float level) {
    const float t = static_cast<float>(2.0 * static_cast<double>(level) - 1.0);
    return static_cast<float>(std::pow(10.0, static_cast<double>(t)));
}

// 1 - amount + 0.1 (the float constant), held as a float, at most 1.
float exponentOf(float amount) {
    float e = static_cast<float>(1.0 - static_cast<double>(amount) + static_cast<double>(0.1f));
    if (e >= 1.0f) {
        e = 1.0f;
    }
    return e;
}

// |v| to the power e with the sign of v; zero goes the negative way.
float shape(float v, float e) {
    const double dv = v;
    const double de = e;
    double r;
    if (v > 0.0f) {
        r = std::pow(dv, de);
    } else {
        r = -std::pow(-dv, de);
    }
    return static_cast<float>(r);
}

}  // namespace

float SignalPath::filter(Section& section, double frequency, float x) {
    const double w = 3.0 * (frequency * 4.44444e-5);
    const double s = 0.5 * std::sin(w);
    const double beta = 0.5 * (1.0 - s) / (1.0 + s);
    const double gamma = (0.5 + beta) * std::cos(w);
    const double alpha = 0.25 * (0.5 + beta - gamma);
    const double a0 = 2.0 * alpha;
    const double a1 = 4.0 * alpha;
    const double a2 = 2.0 * alpha;
    const double b1 = -2.0 * gamma;
    const double b2 = 2.0 * beta;

    double acc = a0 * static_cast<double>(x);
    acc = acc + a1 * static_cast<double>(section.x1);
    acc = acc + a2 * static_cast<double>(section.x2);
    acc = acc - b1 * static_cast<double>(section.y1);
    acc = acc - b2 * static_cast<double>(section.y2);
    const float y = static_cast<float>(acc);

    if (std::isnan(y) || std::isinf(y)) {
        // A section whose output is not finite starts again from rest.
        section = Section{};
        return y;
    }
    section.x2 = section.x1;
    section.x1 = x;
    section.y2 = section.y1;
    section.y1 = y;
    return y;
}

float SignalPath::step(float u) {
    const auto p = [this](int index) { return parameters_[static_cast<std::size_t>(index)]; };

    float a = u;
    if (on(p(kMainDistOn))) {
        const float d = shape(u, exponentOf(p(kMainDistAmount)));
        a = static_cast<float>(static_cast<double>(u) + (static_cast<double>(d) - static_cast<double>(u)) *
                                                            static_cast<double>(p(kMainDistMix)));
    }

    const float x = static_cast<float>(static_cast<double>(levelGain(p(kGain))) * static_cast<double>(a));
    if (!on(p(kEqOn))) {
        return x;
    }

    float low = filter(lowMid_, static_cast<double>(p(kLowMidCrossover)) * 1980.0 + 20.0, x);
    const float midHigh = filter(midHigh_, static_cast<double>(p(kMidHighCrossover)) * 18875.0 + 125.0, x);
    float high = static_cast<float>(static_cast<double>(x) - static_cast<double>(midHigh));
    float mid = static_cast<float>(static_cast<double>(x) - (static_cast<double>(low) + static_cast<double>(high)));

    if (on(p(kMultiDistOn))) {
        low = shape(low, exponentOf(p(kLowDistAmount)));
        low = static_cast<float>(static_cast<double>(low) * static_cast<double>(levelGain(p(kLowDistGain))));
        mid = shape(mid, exponentOf(p(kMidDistAmount)));
        mid = static_cast<float>(static_cast<double>(mid) * static_cast<double>(levelGain(p(kMidDistGain))));
        high = shape(high, exponentOf(p(kHighDistAmount)));
        high = static_cast<float>(static_cast<double>(high) * static_cast<double>(levelGain(p(kHighDistGain))));
    }

    const double sum = (static_cast<double>(levelGain(p(kLowLevel))) * static_cast<double>(low) +
                        static_cast<double>(levelGain(p(kMidLevel))) * static_cast<double>(mid)) +
                       static_cast<double>(levelGain(p(kHighLevel))) * static_cast<double>(high);
    return static_cast<float>(sum);
}

void SignalPath::process(const float* in, float* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = step(in[i]);
    }
}

}  // namespace reference
