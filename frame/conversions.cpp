// Number-to-display-text conversions offered to effects. Each writes at most
// maxLen + 1 bytes into the caller's buffer; a negative maxLen writes nothing.
#include <cmath>

#include "audio_effect.h"
#include "text.h"

namespace {

constexpr const char* kHuge = "Huge!";
constexpr int kFloatTextBudget = 8;  // characters of a float2string text

char digitOf(double x) {
    return static_cast<char>('0' + static_cast<int>(std::fmod(x, 10.0)));
}

}  // namespace

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    if (maxLen < 0) {
        return;
    }
    if (value <= 0.0f) {
        copyText(text, "-oo", static_cast<std::size_t>(maxLen));
        return;
    }
    const float bels = static_cast<float>(std::log10(static_cast<double>(value)));
    float2string(static_cast<float>(bels * 20.0f), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    if (samples == 0.0f) {
        float2string(0.0f, text, maxLen);
        return;
    }
    float2string(static_cast<float>(static_cast<double>(getSampleRate()) / samples), text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    float2string(static_cast<float>(static_cast<double>(samples) * 1000.0 / getSampleRate()), text, maxLen);
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    if (maxLen < 0) {
        return;
    }
    const auto limit = static_cast<std::size_t>(maxLen);
    double v = value;
    if (std::isnan(v)) {
        copyText(text, "NaN", limit);
        return;
    }
    int count = 0;
    const bool negative = v < 0.0;
    if (negative) {
        v = -v;
        ++count;
    }
    // The integer digits, the sign and the point must fit the budget: a value
    // whose integer part does not fit gets "Huge!" rather than a wrong number.
    const double fitsBelow = negative ? 1000000.0 : 10000000.0;
    if (!(v < fitsBelow)) {
        copyText(text, kHuge, limit);
        return;
    }

    char work[32];
    int pos = 31;
    work[pos] = 0;
    work[--pos] = '.';
    ++count;
    double integ = std::floor(v);
    work[--pos] = digitOf(integ);
    integ /= 10.0;
    ++count;
    while (integ >= 1.0 && count < kFloatTextBudget) {
        work[--pos] = digitOf(integ);
        integ /= 10.0;
        ++count;
    }
    if (negative) {
        work[--pos] = '-';
    }
    copyText(text, &work[pos], limit);
    if (count >= kFloatTextBudget) {
        return;
    }

    const int fractionDigits = kFloatTextBudget - count;
    double mantissa = std::fmod(v, 1.0) * std::pow(10.0, fractionDigits);
    pos = 31;
    work[pos] = 0;
    for (int i = 0; i < fractionDigits; ++i) {
        if (mantissa <= 0.0) {
            work[--pos] = '0';
        } else {
            work[--pos] = digitOf(mantissa);
            mantissa /= 10.0;
        }
    }
    appendText(text, &work[pos], limit);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    if (maxLen < 0) {
        return;
    }
    const auto limit = static_cast<std::size_t>(maxLen);
    if (value >= 100000000) {
        copyText(text, kHuge, limit);
        return;
    }
    // Ten digits would not fit the nine-digit scheme below (and negating the
    // most negative value would overflow).
    if (value < -999999999) {
        copyText(text, "-Huge!", limit);
        return;
    }
    if (value == 0) {
        copyText(text, "0", limit);
        return;
    }
    if (value < 0) {
        copyText(text, "-", limit);
        value = -value;
    } else {
        copyText(text, "", limit);
    }
    bool written = false;
    for (VstInt32 divisor = 100000000; divisor >= 1; divisor /= 10) {
        const VstInt32 digit = value / divisor;
        value -= digit * divisor;
        if (written || digit > 0) {
            const char one[2] = {static_cast<char>('0' + digit), 0};
            appendText(text, one, limit);
            written = true;
        }
    }
}
