#include "kit/tally/TYDecimal.h"

#include <cctype>
#include <limits>

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

bool multiplyByTen(int64_t& value)
{
    if (value > kMax / 10 || value < -(kMax / 10)) {
        return false;
    }
    value *= 10;
    return true;
}

} // namespace

std::optional<TYDecimal> TYDecimal::fromString(const std::string& text)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    TYDecimal decimal;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            break;
        }
        digits = true;
        if (!multiplyByTen(decimal.mantissa) || decimal.mantissa > kMax - (c - '0')) {
            return std::nullopt;
        }
        decimal.mantissa += c - '0';
        decimal.exponent -= point ? 1 : 0;
    }
    if (!digits) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        try {
            size_t used = 0;
            const int exponent = std::stoi(text.substr(i + 1), &used);
            if (used != text.size() - i - 1) {
                return std::nullopt;
            }
            decimal.exponent += exponent;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    } else if (i != text.size()) {
        return std::nullopt;
    }
    if (negative) {
        decimal.mantissa = -decimal.mantissa;
    }
    return decimal;
}

std::string TYDecimal::description() const
{
    std::string digits = std::to_string(mantissa < 0 ? -mantissa : mantissa);
    std::string text;
    if (exponent >= 0) {
        text = digits + std::string(static_cast<size_t>(exponent), '0');
    } else {
        const size_t fraction = static_cast<size_t>(-static_cast<int64_t>(exponent));
        if (digits.size() <= fraction) {
            digits.insert(0, fraction - digits.size() + 1, '0');
        }
        text = digits.substr(0, digits.size() - fraction) + "." + digits.substr(digits.size() - fraction);
    }
    return (mantissa < 0 ? "-" : "") + text;
}

std::optional<int64_t> TYDecimal::micros() const
{
    int64_t value = mantissa;
    int64_t shift = static_cast<int64_t>(exponent) + 6;
    // Trailing zeros below the micro place carry no value.
    while (shift < 0 && value % 10 == 0) {
        value /= 10;
        ++shift;
    }
    if (shift < 0) {
        // Fractions of a micro are rounded toward zero.
        while (shift < 0 && value != 0) {
            value /= 10;
            ++shift;
        }
        return value;
    }
    for (; shift > 0; --shift) {
        if (value != 0 && !multiplyByTen(value)) {
            return std::nullopt;
        }
    }
    return value;
}
