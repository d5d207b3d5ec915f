#pragma once
/// The straightforward number fields the program wrote before its fast ones: 18 significant
/// digits from the C library's "%.17Le", then the field assembled on strings. The fast fields
/// must give these bytes for every value.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/real80.hpp"

namespace reference {

inline constexpr int maxFieldWidth = 255;
inline constexpr int maxDecimals = 216;
inline constexpr int significantDigits = 18;

inline std::string padLeft(std::string text, int width) {
    if (width > maxFieldWidth) width = maxFieldWidth;
    if (static_cast<int>(text.size()) < width) text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

inline void significantDigitsOf(Real80 magnitude, char digits[significantDigits], int& exponent) {
    if (magnitude == 0) {
        std::memset(digits, '0', significantDigits);
        exponent = 0;
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17Le", magnitude);
    digits[0] = text[0];
    std::memcpy(digits + 1, text + 2, significantDigits - 1);
    exponent = std::atoi(text + 2 + (significantDigits - 1) + 1);
}

inline bool incrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    return true;
}

inline std::string exponentialForm(bool negative, const char digits[significantDigits], int exponent, int width) {
    int kept = width - 8;
    if (kept < 2) kept = 2;
    if (kept > significantDigits) kept = significantDigits;
    std::string mantissa(digits, static_cast<std::size_t>(kept));
    if (kept < significantDigits && digits[kept] >= '5' && incrementDigits(mantissa)) {
        mantissa.insert(0, 1, '1');
        mantissa.pop_back();
        ++exponent;
    }
    std::string text;
    if (width - kept - 8 > 0) text.append(static_cast<std::size_t>(width - kept - 8), ' ');
    text += negative ? '-' : ' ';
    text += mantissa[0];
    text += '.';
    text.append(mantissa, 1, std::string::npos);
    text += 'E';
    text += exponent < 0 ? '-' : '+';
    char exponentText[16];
    std::snprintf(exponentText, sizeof exponentText, "%04d", exponent < 0 ? -exponent : exponent);
    text += exponentText;
    return text;
}

/// A real in field width:decimals, as the program wrote it with the C library's conversion.
inline std::string formatRealField(Real80 value, int width, int decimals) {
    if (width > maxFieldWidth) width = maxFieldWidth;
    if (decimals > maxDecimals) decimals = maxDecimals;
    if (decimals < 0) decimals = 0;
    if (std::isnan(value)) return padLeft("Nan", width);
    if (std::isinf(value)) return padLeft(value < 0 ? "-Inf" : "+Inf", width);

    const bool negative = std::signbit(value);
    char digits[significantDigits];
    int exponent = 0;
    significantDigitsOf(std::fabs(value), digits, exponent);
    if (exponent > 35) return exponentialForm(negative, digits, exponent, width);

    const int highest = exponent > 0 ? exponent : 0;
    auto digitAt = [&](int power) -> char {
        const int index = exponent - power;
        return (index >= 0 && index < significantDigits) ? digits[index] : '0';
    };
    std::string kept;
    for (int power = highest; power >= -decimals; --power) kept += digitAt(power);
    if (digitAt(-decimals - 1) >= '5' && incrementDigits(kept)) kept.insert(0, 1, '1');

    const std::size_t integerDigits = kept.size() - static_cast<std::size_t>(decimals);
    std::size_t firstNonZero = 0;
    while (firstNonZero + 1 < integerDigits && kept[firstNonZero] == '0') ++firstNonZero;

    std::string text;
    if (negative) text += '-';
    text.append(kept, firstNonZero, integerDigits - firstNonZero);
    if (decimals > 0) {
        text += '.';
        text.append(kept, integerDigits, std::string::npos);
    }
    return padLeft(std::move(text), width);
}

}  // namespace reference
