#include "parameter_display.h"

#include <cmath>
#include <cstdio>

#include "aeffect.h"
#include "text.h"

namespace {
// Beyond these the decimal text needs more than 8 characters: 100000000 has
// nine digits, -10000000 eight digits and a sign.
constexpr double kLargestShown = 1e8;
constexpr double kSmallestShown = -1e7;
}  // namespace

void formatDisplayFigure(double figure, char* text) {
    if (std::isnan(figure)) {
        copyText(text, "nan", kVstMaxParamStrLen);
    } else if (std::isinf(figure)) {
        copyText(text, figure > 0.0 ? "inf" : "-inf", kVstMaxParamStrLen);
    } else if (figure >= kLargestShown) {
        copyText(text, "Huge!", kVstMaxParamStrLen);
    } else if (figure <= kSmallestShown) {
        copyText(text, "-Huge!", kVstMaxParamStrLen);
    } else {
        // In range, so the conversion truncates toward zero without overflow.
        std::snprintf(text, kVstMaxParamStrLen + 1, "%d", static_cast<int>(static_cast<VstInt32>(figure)));
    }
}
