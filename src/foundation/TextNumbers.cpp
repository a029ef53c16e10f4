#include "foundation/TextNumbers.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// Index of the first character that is not white space.
int skipSpace(const QString& text)
{
    int i = 0;
    while (i < text.size() && text.at(i).isSpace()) {
        ++i;
    }
    return i;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

template <typename Int> Int leadingInteger(const QString& text)
{
    int i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // Accumulate towards the sign so the most negative value is reachable.
    Int value = 0;
    for (; i < text.size() && isDigit(text.at(i)); ++i) {
        const int digit = text.at(i).unicode() - '0';
        if (negative) {
            if (value < (std::numeric_limits<Int>::min() + digit) / 10) {
                return std::numeric_limits<Int>::min();
            }
            value = value * 10 - digit;
        } else {
            if (value > (std::numeric_limits<Int>::max() - digit) / 10) {
                return std::numeric_limits<Int>::max();
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

// The numeric prefix as plain ASCII without a leading "+", ready for from_chars.
// Returns the prefix end (0 when there is no number).
int numericPrefix(const QString& text, std::string& ascii)
{
    int i = skipSpace(text);
    const int start = i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        ++i;
    }
    int mantissaDigits = 0;
    while (i < text.size() && isDigit(text.at(i))) {
        ++i;
        ++mantissaDigits;
    }
    if (i < text.size() && text.at(i) == QLatin1Char('.')) {
        int j = i + 1;
        int fractionDigits = 0;
        while (j < text.size() && isDigit(text.at(j))) {
            ++j;
            ++fractionDigits;
        }
        if (mantissaDigits + fractionDigits > 0) {
            i = j;
            mantissaDigits += fractionDigits;
        }
    }
    if (mantissaDigits == 0) {
        return 0;
    }
    // An exponent counts only when at least one digit follows it.
    if (i < text.size() && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        int j = i + 1;
        if (j < text.size() && (text.at(j) == QLatin1Char('-') || text.at(j) == QLatin1Char('+'))) {
            ++j;
        }
        const int digitsStart = j;
        while (j < text.size() && isDigit(text.at(j))) {
            ++j;
        }
        if (j > digitsStart) {
            i = j;
        }
    }
    QString prefix = text.mid(start, i - start);
    if (prefix.startsWith(QLatin1Char('+'))) {
        prefix.remove(0, 1);
    }
    ascii = prefix.toStdString();
    return i;
}

template <typename Real> Real leadingReal(const QString& text)
{
    std::string ascii;
    if (numericPrefix(text, ascii) == 0) {
        return 0;
    }
    Real value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone; decide between overflow and underflow
        // from the exponent's sign.
        const bool negative = ascii.front() == '-';
        const auto e = ascii.find_first_of("eE");
        const bool tiny = e != std::string::npos && ascii.find('-', e) != std::string::npos;
        if (tiny) {
            return negative ? -Real(0) : Real(0);
        }
        return negative ? -std::numeric_limits<Real>::infinity() : std::numeric_limits<Real>::infinity();
    }
    return value;
}

template <typename Real> QString shortest(Real value)
{
    if (std::isnan(value)) {
        return QStringLiteral("nan");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

} // namespace

int32_t TextNumbers::intValue(const QString& text)
{
    return leadingInteger<int32_t>(text);
}

int64_t TextNumbers::longLongValue(const QString& text)
{
    return leadingInteger<int64_t>(text);
}

float TextNumbers::floatValue(const QString& text)
{
    return leadingReal<float>(text);
}

double TextNumbers::doubleValue(const QString& text)
{
    return leadingReal<double>(text);
}

bool TextNumbers::boolValue(const QString& text)
{
    int i = skipSpace(text);
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        ++i;
    }
    while (i < text.size() && text.at(i) == QLatin1Char('0')) {
        ++i;
    }
    if (i >= text.size()) {
        return false;
    }
    const char16_t c = text.at(i).unicode();
    return c == u'Y' || c == u'y' || c == u'T' || c == u't' || (c >= u'1' && c <= u'9');
}

int64_t TextNumbers::integerPart(double value)
{
    // 2^63 is exact as a double; everything below it in magnitude converts.
    constexpr double kLimit = 9223372036854775808.0;
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= kLimit) {
        return std::numeric_limits<int64_t>::max();
    }
    if (value <= -kLimit) {
        return std::numeric_limits<int64_t>::min();
    }
    return static_cast<int64_t>(value);
}

QString TextNumbers::stringFromDouble(double value)
{
    return shortest(value);
}

QString TextNumbers::stringFromFloat(float value)
{
    return shortest(value);
}

QString TextNumbers::stringFromDouble(double value, int decimals)
{
    if (!std::isfinite(value)) {
        return shortest(value);
    }
    // QString::number always formats in the C locale.
    return QString::number(value, 'f', decimals < 0 ? 0 : decimals);
}
