#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// One axis of a position in whole degrees, whole minutes and seconds kept to a
// ten-thousandth (about 3 mm on the ground), the way cameras store it. Made
// from decimal degrees in integer steps, so a typed or dragged place survives
// the trip through the degree, minute and second fields and the saved rationals
// to better than 1e-7 degree.
class GpsAngle {
public:
    // Steps of one second.
    static constexpr int64_t kSecondSteps = 10000;

    // Decimal degrees; nothing for a value that is not finite or lies beyond
    // `limit` degrees (90 for a latitude, 180 for a longitude) once rounded.
    static std::optional<GpsAngle> fromDegrees(double degrees, double limit);

    // The hemisphere follows the sign, also for places within a degree of 0.
    bool isNegative() const { return negative_; }
    QString degreeText() const;
    QString minuteText() const;
    // The seconds with as many decimals as they need, at most four ("7.68").
    QString secondText() const;
    // The signed decimal degrees the parts stand for.
    double degrees() const;

    // The rational of a part as a field shows it: digits with at most one point,
    // exactly ("45.12" gives 4512/100, "" gives 0/1). Decimals that would not
    // fit a 32-bit numerator are dropped from the end.
    static QString rationalOfText(const QString& text);

private:
    GpsAngle(bool negative, int64_t steps)
        : negative_(negative)
        , steps_(steps)
    {
    }

    bool negative_ = false;
    int64_t steps_ = 0; // of 1/kSecondSteps second, never negative
};
