#include "models/values/TAVMetadataHelper.h"

#include "foundation/TextNumbers.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace {

const QChar kDegreeSign(0x00B0);

// The pieces of a display coordinate: split at the degree sign, the apostrophe
// and the double quote, empty pieces kept.
QStringList dmsPieces(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[\u00B0'\"]"));
    return text.split(separators);
}

// Whether a single-precision value fits a 32-bit signed integer once truncated.
bool fitsInt32(float value)
{
    return std::fabs(value) < 2147483648.0F;
}

} // namespace

bool TAVMetadataHelper::extractRational(const QString& text, int32_t* num, int32_t* denom)
{
    if (text.isEmpty() || num == nullptr || denom == nullptr) {
        return false;
    }
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 2) {
        return false;
    }
    const int32_t denominator = TextNumbers::intValue(parts.at(1));
    if (denominator == 0) {
        return false; // "n/0" is no fraction: nothing downstream may divide by it
    }
    *num = TextNumbers::intValue(parts.at(0));
    *denom = denominator;
    return true;
}

bool TAVMetadataHelper::convertToRational(float value, int32_t* num, int32_t* denom)
{
    if (num == nullptr || denom == nullptr || !std::isfinite(value) || !fitsInt32(value)) {
        return false;
    }
    const float whole = std::trunc(value);
    if (value == whole) {
        *num = static_cast<int32_t>(whole);
        *denom = 1;
        return true;
    }
    // The shortest decimal text that reads back as the same float decides how
    // many decimals the fraction keeps; the arithmetic stays in float, so 2.8
    // gives 28/10 (in double it would be 27/10). Fixed notation, because an
    // exponent would hide the decimals of small values.
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    const std::string_view text(buffer, error == std::errc() ? static_cast<size_t>(end - buffer) : 0);
    const size_t dot = text.find('.');
    int digits = 0;
    if (dot != std::string_view::npos) {
        digits = static_cast<int>(text.size() - dot - 1);
        if (digits > 0 && text.back() == '0') {
            --digits;
        }
    }
    float scale = std::pow(10.0F, static_cast<float>(digits));
    // Keep both parts within 32 bits by giving up the smallest decimals.
    while (digits > 0 && (scale > 1e9F || !fitsInt32(scale * value))) {
        --digits;
        scale = std::pow(10.0F, static_cast<float>(digits));
    }
    *num = static_cast<int32_t>(std::trunc(scale * value));
    *denom = static_cast<int32_t>(scale);
    return true;
}

bool TAVMetadataHelper::paraseGpsInfoFromString(const QString& text, double* degree, double* minutes, double* secondes)
{
    if (text.isEmpty() || degree == nullptr || minutes == nullptr || secondes == nullptr) {
        return false;
    }
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() < 3) {
        return false;
    }
    double* outputs[3] = {degree, minutes, secondes};
    for (int i = 0; i < 3; ++i) {
        int32_t num = 0;
        int32_t denom = 0;
        if (extractRational(parts.at(i), &num, &denom)) {
            *outputs[i] = static_cast<double>(num) / static_cast<double>(denom);
        }
    }
    return true;
}

bool TAVMetadataHelper::isGpsCoordinate(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() == 3 && std::all_of(parts.cbegin(), parts.cend(), [](const QString& part) {
        int32_t num = 0;
        int32_t denom = 0;
        return extractRational(part, &num, &denom) && denom != 0;
    });
}

bool TAVMetadataHelper::paraseGpsDMSInfoFromString(
    const QString& text, double* degree, double* minutes, double* secondes)
{
    if (text.isEmpty() || degree == nullptr || minutes == nullptr || secondes == nullptr) {
        return false;
    }
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() < 2) {
        return false;
    }
    const QStringList pieces = dmsPieces(parts.at(0));
    if (pieces.size() < 3) {
        return false;
    }
    const QString direction = parts.at(1).toLower();
    const double sign = (direction == QLatin1String("south") || direction == QLatin1String("west")) ? -1.0 : 1.0;
    double degrees = TextNumbers::doubleValue(pieces.at(0));
    if (degrees > 0) {
        degrees *= sign; // a "-" already in the text stays as it is
    }
    *degree = degrees;
    *minutes = TextNumbers::doubleValue(pieces.at(1));
    *secondes = TextNumbers::doubleValue(pieces.at(2));
    return true;
}

QString TAVMetadataHelper::convertDispGpsInfoToVaildGpsStr(const QString& text)
{
    if (text.isEmpty()) {
        return QStringLiteral("");
    }
    QString result = QStringLiteral("");
    for (const QString& piece : dmsPieces(text)) {
        QString number = piece.trimmed();
        // The coordinate rationals are unsigned: a "-" read into one wraps to a
        // huge number, so the hemisphere is left to the reference tag. A
        // direction word is no number and makes no rational either.
        if (number.startsWith(QLatin1Char('-')) || number.startsWith(QLatin1Char('+'))) {
            number.remove(0, 1);
        }
        if (number.isEmpty() || !number.at(0).isDigit()) {
            continue;
        }
        result += number + QStringLiteral("/1 ");
    }
    return result;
}

QString TAVMetadataHelper::getDD2DMS(double value, int type)
{
    if (!std::isfinite(value) || std::fabs(value) > 1e9) {
        return QString();
    }
    const bool negative = value < 0;
    // Micro-degrees pass through single precision, so above 16,777,216 they move
    // in steps of the float spacing (90.00001 becomes 90,000,008).
    const float microFloat = std::fabs(static_cast<float>(std::llround(value * 1000000.0)));
    if (!fitsInt32(microFloat)) {
        return QString();
    }
    const auto micro = static_cast<int32_t>(microFloat);
    if ((type == 0 && micro > 90000000) || (type == 1 && micro > 180000000)) {
        return QString();
    }
    const int32_t degrees = micro / 1000000;
    const float fraction = static_cast<float>(micro) / 1000000.0F - static_cast<float>(degrees);
    const float minutesFloat = std::floor(fraction * 60.0F);
    // Seconds are truncated, never rounded up, so they stay below 60.
    const auto seconds
        = static_cast<int32_t>(std::floor((fraction * 60.0F - minutesFloat) * 100000.0F) * 60.0F / 100000.0F);
    const auto minutes = static_cast<int32_t>(minutesFloat);

    QString word;
    if (type == 0) {
        word = negative ? QStringLiteral("South") : QStringLiteral("North");
    } else if (type == 1) {
        word = negative ? QStringLiteral("West") : QStringLiteral("East");
    }
    return QStringLiteral("%1%2%3%4'%5\" %6")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(degrees)
        .arg(kDegreeSign)
        .arg(minutes)
        .arg(seconds)
        .arg(word);
}

QString TAVMetadataHelper::getGpsFullDirction(const QString& text)
{
    if (text.size() >= 2) {
        return text;
    }
    const QString letter = text.toUpper();
    if (letter == QLatin1String("N")) {
        return QStringLiteral("North");
    }
    if (letter == QLatin1String("S")) {
        return QStringLiteral("South");
    }
    if (letter == QLatin1String("W")) {
        return QStringLiteral("West");
    }
    if (letter == QLatin1String("E")) {
        return QStringLiteral("East");
    }
    return QString();
}

QString TAVMetadataHelper::getAppDatetimeFormateString(int kind)
{
    if (kind == 4) {
        return QStringLiteral("yyyy-MM-dd HH:mm:ss");
    }
    if (kind == 1) {
        return QStringLiteral("yyyy-MM-dd");
    }
    return QStringLiteral("HH:mm:ss");
}

float evFromStepCode(int64_t code)
{
    const float sign = code < 0 ? -1.0F : 1.0F;
    // Negate in unsigned arithmetic so that the most negative code cannot overflow.
    const uint64_t magnitude = code < 0 ? 0 - static_cast<uint64_t>(code) : static_cast<uint64_t>(code);
    const uint64_t steps = magnitude & 31U;
    const uint64_t whole = magnitude - steps;
    float fraction = static_cast<float>(steps);
    if (steps == 12) {
        fraction = 10.666667F; // one third of 32
    } else if (steps == 20) {
        fraction = 21.333334F; // two thirds of 32
    }
    return sign * (static_cast<float>(whole) + fraction) / 32.0F;
}
