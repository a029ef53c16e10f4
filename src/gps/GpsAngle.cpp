#include "gps/GpsAngle.h"

#include <cmath>
#include <limits>

namespace {

constexpr int64_t kMinuteSteps = 60 * GpsAngle::kSecondSteps;
constexpr int64_t kDegreeSteps = 60 * kMinuteSteps;

} // namespace

std::optional<GpsAngle> GpsAngle::fromDegrees(double degrees, double limit)
{
    if (!std::isfinite(degrees) || std::fabs(degrees) > limit + 1.0) {
        return std::nullopt;
    }
    const int64_t steps = std::llround(std::fabs(degrees) * static_cast<double>(kDegreeSteps));
    if (steps > std::llround(limit * static_cast<double>(kDegreeSteps))) {
        return std::nullopt;
    }
    return GpsAngle(degrees < 0.0, steps);
}

QString GpsAngle::degreeText() const
{
    return QString::number(steps_ / kDegreeSteps);
}

QString GpsAngle::minuteText() const
{
    return QString::number(steps_ % kDegreeSteps / kMinuteSteps);
}

QString GpsAngle::secondText() const
{
    const int64_t seconds = steps_ % kMinuteSteps;
    QString text = QString::number(seconds / kSecondSteps);
    int64_t fraction = seconds % kSecondSteps;
    if (fraction == 0) {
        return text;
    }
    int digits = 4;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    return text + QLatin1Char('.') + QStringLiteral("%1").arg(fraction, digits, 10, QLatin1Char('0'));
}

double GpsAngle::degrees() const
{
    const double value = static_cast<double>(steps_ / kDegreeSteps)
        + static_cast<double>(steps_ % kDegreeSteps / kMinuteSteps) / 60.0
        + static_cast<double>(steps_ % kMinuteSteps) / static_cast<double>(kSecondSteps) / 3600.0;
    return negative_ ? -value : value;
}

QString GpsAngle::rationalOfText(const QString& text)
{
    const int point = text.indexOf(QLatin1Char('.'));
    const QString whole = point < 0 ? text : text.left(point);
    QString decimals = point < 0 ? QString() : text.mid(point + 1);
    while (decimals.endsWith(QLatin1Char('0'))) {
        decimals.chop(1);
    }
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    for (;;) {
        bool ok = true;
        const QString digits = whole + decimals;
        const qulonglong numerator = digits.isEmpty() ? 0 : digits.toULongLong(&ok);
        if (ok && numerator <= static_cast<qulonglong>(kMax)) {
            int64_t denominator = 1;
            for (int i = 0; i < decimals.size(); ++i) {
                denominator *= 10;
            }
            return QStringLiteral("%1/%2").arg(numerator).arg(denominator);
        }
        if (decimals.isEmpty()) {
            return QStringLiteral("0/1");
        }
        decimals.chop(1);
    }
}
