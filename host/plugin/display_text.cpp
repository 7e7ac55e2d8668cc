#include "plugin/display_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

// The minus sign some plug-ins write (U+2212) reads as '-'.
constexpr const char* kUnicodeMinus = "\xE2\x88\x92";

bool digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Lower case, without spaces: how two units or two words are compared.
std::string folded(const std::string& text) {
    std::string result;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            result += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return result;
}

// The length of the decimal number at the start of `text`: a sign, digits
// with at most one point, and an exponent when digits follow its 'e'; 0
// when there is none.
std::size_t numberLength(const std::string& text) {
    std::size_t at = text.size() > 0 && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    std::size_t digits = 0;
    while (at < text.size() && digit(text[at])) {
        ++at, ++digits;
    }
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && digit(text[at])) {
            ++at, ++digits;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < text.size() && digit(text[exponent])) {
            while (exponent < text.size() && digit(text[exponent])) {
                ++exponent;
            }
            at = exponent;
        }
    }
    return at;
}

}  // namespace

DisplayText splitDisplayText(const std::string& text) {
    DisplayText result;
    result.text = trimmed(text);
    std::string readable = result.text;
    if (readable.compare(0, 3, kUnicodeMinus) == 0) {
        readable = "-" + readable.substr(3);
    }
    const std::size_t length = numberLength(readable);
    if (length > 0) {
        const double value = std::strtod(readable.substr(0, length).c_str(), nullptr);
        // A number too large for a double says nothing a display could match.
        if (std::isfinite(value)) {
            result.number = value;
            result.unit = trimmed(readable.substr(length));
        }
    }
    return result;
}

std::optional<double> comparableNumber(const DisplayText& wanted, const std::string& display,
                                       const std::string& label) {
    const DisplayText shown = splitDisplayText(display);
    if (!shown.number) {
        return std::nullopt;
    }
    const std::string unit = folded(wanted.unit);
    const std::string ownUnit = folded(shown.unit);
    const std::string labelUnit = folded(label);
    const bool agrees = unit.empty() || (ownUnit.empty() && labelUnit.empty()) || unit == ownUnit ||
                        unit == labelUnit || unit == ownUnit + labelUnit;
    return agrees ? shown.number : std::nullopt;
}

bool displayMatches(const DisplayText& wanted, const std::string& display, const std::string& label) {
    if (wanted.number) {
        const std::optional<double> shown = comparableNumber(wanted, display, label);
        return shown && *shown == *wanted.number;
    }
    const std::string text = folded(wanted.text);
    return !text.empty() && (text == folded(display) || text == folded(display + label));
}

std::string shownWithLabel(const std::string& display, const std::string& label) {
    const std::string shown = trimmed(display);
    const std::string unit = trimmed(label);
    return unit.empty() || shown.empty() ? shown : shown + " " + unit;
}
