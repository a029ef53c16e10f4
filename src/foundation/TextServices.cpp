#include "foundation/TextServices.h"

#include <algorithm>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

QString TextServices::stringByTrimmingLeadingAndTrailingWhitespaceAndNewlineCharacters(const QString& text)
{
    if (text.isNull()) {
        return QString();
    }
    const QString trimmed = text.trimmed();
    return trimmed.isNull() ? QStringLiteral("") : trimmed;
}

bool TextServices::isAllNumberic(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), isAsciiDigit);
}

bool TextServices::isUnsiginedFloatNumber(const QString& text)
{
    bool seenPoint = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
        } else if (!isAsciiDigit(c)) {
            return false;
        }
    }
    return true;
}

bool TextServices::isVaildGPS(const QString& text, bool isLatitude, bool finished)
{
    const QString unsignedPart = text.startsWith(QLatin1Char('-')) ? text.mid(1) : text;
    if (!isUnsiginedFloatNumber(unsignedPart)) {
        return false;
    }
    const bool hasDigit = std::any_of(unsignedPart.cbegin(), unsignedPart.cend(), isAsciiDigit);
    if (!hasDigit) {
        // Only "", "-", "." and "-." get here: steps on the way to a number.
        return !finished || text.isEmpty();
    }
    // Digits and one point only, so the C-locale reading cannot fail.
    const double magnitude = unsignedPart.toDouble();
    return magnitude <= (isLatitude ? 90.0 : 180.0);
}

QString TextServices::sizeStringWithBytes(int64_t bytes)
{
    if (bytes < 1000 && bytes > -1000) {
        return QStringLiteral("%1 %2").arg(bytes).arg(bytes == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"));
    }
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = double(bytes);
    int unit = -1;
    while ((value >= 1000 || value <= -1000) && unit < 5) {
        value /= 1000;
        ++unit;
    }
    // QString::number formats in the C locale.
    return QStringLiteral("%1 %2").arg(QString::number(value, 'f', 1), QLatin1String(kUnits[unit]));
}
