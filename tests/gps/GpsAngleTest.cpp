#include "gps/GpsAngle.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

TEST(GpsAngleTest, PartsKeepTheSecondsToATenThousandthAndCarryWhenTheyRoundUp)
{
    const struct {
        double degrees;
        const char* parts;
    } cases[] = {
        {18.07, "18 4 12"},
        {-33.8688, "33 52 7.68"},
        {179.1234567, "179 7 24.4441"},
        // 59.99999 seconds round to a whole minute, never to "60".
        {0.9999999999, "1 0 0"},
        {0.0000001, "0 0 0.0004"},
        {90.0, "90 0 0"},
    };
    for (const auto& c : cases) {
        const auto angle = GpsAngle::fromDegrees(c.degrees, 180.0);
        ASSERT_TRUE(angle.has_value()) << c.degrees;
        EXPECT_EQ(angle->degreeText() + ' ' + angle->minuteText() + ' ' + angle->secondText(), QString(c.parts))
            << c.degrees;
        EXPECT_EQ(angle->isNegative(), c.degrees < 0) << c.degrees;
        EXPECT_NEAR(angle->degrees(), c.degrees, 1e-7) << c.degrees;
    }
    // The hemisphere of a place within a degree of 0 follows its sign.
    EXPECT_TRUE(GpsAngle::fromDegrees(-0.5, 90.0)->isNegative());

    EXPECT_FALSE(GpsAngle::fromDegrees(90.0001, 90.0).has_value());
    EXPECT_TRUE(GpsAngle::fromDegrees(90.00000001, 90.0).has_value()) << "rounds to 90";
    EXPECT_FALSE(GpsAngle::fromDegrees(-180.5, 180.0).has_value());
    EXPECT_FALSE(GpsAngle::fromDegrees(std::numeric_limits<double>::quiet_NaN(), 90.0).has_value());
    EXPECT_FALSE(GpsAngle::fromDegrees(std::numeric_limits<double>::infinity(), 90.0).has_value());
}

TEST(GpsAngleTest, APartsTextBecomesItsExactRational)
{
    const struct {
        const char* text;
        const char* rational;
    } cases[] = {
        {"", "0/1"},
        {"45", "45/1"},
        {"45.12", "4512/100"},
        {"7.6800", "768/100"},
        {".5", "5/10"},
        {"12.", "12/1"},
        // Decimals that would not fit 32 bits are dropped from the end.
        {"59.123456789012", "591234567/10000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GpsAngle::rationalOfText(QString::fromLatin1(c.text)), QString(c.rational)) << c.text;
    }
}
