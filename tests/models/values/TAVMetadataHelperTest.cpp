#include "models/values/TAVMetadataHelper.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <optional>

namespace {

const QString kDeg = QString(QChar(0x00B0));

QString dms(const QString& sign, int d, int m, int s, const QString& word)
{
    return QStringLiteral("%1%2%3%4'%5\" %6").arg(sign).arg(d).arg(kDeg).arg(m).arg(s).arg(word);
}

// "num/denom", or "none" when the text does not split and the outputs were left alone.
QString split(const QString& text)
{
    int32_t num = -7;
    int32_t denom = -7;
    if (TAVMetadataHelper::extractRational(text, &num, &denom)) {
        return QStringLiteral("%1/%2").arg(num).arg(denom);
    }
    return num == -7 && denom == -7 ? QStringLiteral("none") : QStringLiteral("none, outputs changed");
}

// Degrees, minutes and seconds read by `reader`; -1 for a part it left alone.
using Parts = std::array<double, 3>;
using GpsReader = bool (*)(const QString&, double*, double*, double*);
std::optional<Parts> parts(GpsReader reader, const QString& text)
{
    Parts result{-1, -1, -1};
    if (!reader(text, &result[0], &result[1], &result[2])) {
        return std::nullopt;
    }
    return result;
}

const GpsReader fromRationals = TAVMetadataHelper::paraseGpsInfoFromString;
const GpsReader fromDisplay = TAVMetadataHelper::paraseGpsDMSInfoFromString;

} // namespace

TEST(TAVMetadataHelperTest, ExtractRationalSplitsOnlyUsableFractions)
{
    EXPECT_EQ(split("28/10"), "28/10");
    EXPECT_EQ(split(" -5abc/2xyz"), "-5/2");
    for (const char* text : {"", "28", "1/2/3", "5/0", "5/", "5/abc"}) {
        EXPECT_EQ(split(text), "none") << text;
    }
}

TEST(TAVMetadataHelperTest, ConvertToRationalWorksInSinglePrecision)
{
    const auto rational = [](float value) {
        int32_t num = 0;
        int32_t denom = 0;
        if (!TAVMetadataHelper::convertToRational(value, &num, &denom)) {
            return QString("none");
        }
        return QStringLiteral("%1/%2").arg(num).arg(denom);
    };
    EXPECT_EQ(rational(2.8F), QString("28/10"));
    EXPECT_EQ(rational(5.6F), QString("56/10"));
    EXPECT_EQ(rational(5.0F), QString("5/1"));
    EXPECT_EQ(rational(0.0125F), QString("125/10000"));
    EXPECT_EQ(rational(-1.5F), QString("-15/10"));
    EXPECT_EQ(rational(0.0001F), QString("1/10000"));
    // Values whose decimals would overflow 32 bits keep as many as fit.
    EXPECT_EQ(rational(123456.79F), QString("12345679/100"));
    EXPECT_EQ(rational(std::numeric_limits<float>::quiet_NaN()), QString("none"));
    EXPECT_EQ(rational(3e10F), QString("none"));
}

TEST(TAVMetadataHelperTest, GpsRationalTextLeavesUnreadablePartsAlone)
{
    EXPECT_EQ(parts(fromRationals, "37/1 46/0 2950/100"), (Parts{37, -1, 29.5}));
    EXPECT_EQ(parts(fromRationals, "37/1 46/1"), std::nullopt);
    EXPECT_EQ(parts(fromRationals, ""), std::nullopt);
    double d = -1;
    double s = -1;
    EXPECT_FALSE(TAVMetadataHelper::paraseGpsInfoFromString("1/1 2/1 3/1", &d, nullptr, &s));
}

TEST(TAVMetadataHelperTest, DecimalDegreesToDisplayText)
{
    EXPECT_EQ(TAVMetadataHelper::getDD2DMS(-33.5, 0), dms("-", 33, 30, 0, "South"));
    EXPECT_EQ(TAVMetadataHelper::getDD2DMS(-0.5, 0), dms("-", 0, 30, 0, "South"));
    EXPECT_EQ(TAVMetadataHelper::getDD2DMS(180.0, 1), dms("", 180, 0, 0, "East"));
    EXPECT_EQ(TAVMetadataHelper::getDD2DMS(-122.4194, 1), dms("-", 122, 25, 9, "West"));
    // Seconds are truncated: 37.7749 is 37 degrees 46 minutes 29.64 seconds.
    EXPECT_EQ(TAVMetadataHelper::getDD2DMS(37.7749, 0), dms("", 37, 46, 29, "North"));

    // Micro-degrees pass through single precision: 90.00001 becomes 90,000,008.
    EXPECT_TRUE(TAVMetadataHelper::getDD2DMS(90.00001, 0).isNull());
    EXPECT_FALSE(TAVMetadataHelper::getDD2DMS(90.0000001, 0).isNull());
    EXPECT_TRUE(TAVMetadataHelper::getDD2DMS(180.5, 1).isNull());
    EXPECT_FALSE(TAVMetadataHelper::getDD2DMS(100.0, 1).isNull());
    EXPECT_TRUE(TAVMetadataHelper::getDD2DMS(std::numeric_limits<double>::infinity(), 0).isNull());
}

TEST(TAVMetadataHelperTest, DisplayTextRoundTrips)
{
    EXPECT_EQ(parts(fromDisplay, dms("", 33, 30, 15, "South")), (Parts{-33, 30, 15}));
    // A "-" already in the text is not applied twice.
    EXPECT_EQ(parts(fromDisplay, dms("-", 33, 30, 0, "South")), (Parts{-33, 30, 0}));
    EXPECT_EQ(parts(fromDisplay, dms("", 10, 1, 2, "east")), (Parts{10, 1, 2}));
    // The numbers are read in double precision, as the outputs are.
    EXPECT_EQ(parts(fromDisplay, "122.4194" + kDeg + "1'29.64\" West"), (Parts{-122.4194, 1, 29.64}));
    EXPECT_EQ(parts(fromDisplay, "33" + kDeg + "30'0\""), std::nullopt);
    EXPECT_EQ(parts(fromDisplay, "33" + kDeg + "30 South"), std::nullopt);

    EXPECT_EQ(TAVMetadataHelper::convertDispGpsInfoToVaildGpsStr("37" + kDeg + "46'29\""), QString("37/1 46/1 29/1 "));
    EXPECT_EQ(TAVMetadataHelper::convertDispGpsInfoToVaildGpsStr(""), QString(""));
    // The coordinate tags hold unsigned rationals: the sign and the direction word
    // of a display text never reach them (the hemisphere is in the reference tag).
    EXPECT_EQ(TAVMetadataHelper::convertDispGpsInfoToVaildGpsStr(TAVMetadataHelper::getDD2DMS(-33.5, 0)),
        QString("33/1 30/1 0/1 "));
}

TEST(TAVMetadataHelperTest, DirectionLettersAndDateFormats)
{
    EXPECT_EQ(TAVMetadataHelper::getGpsFullDirction("s"), QString("South"));
    EXPECT_EQ(TAVMetadataHelper::getGpsFullDirction("E"), QString("East"));
    EXPECT_EQ(TAVMetadataHelper::getGpsFullDirction("North"), QString("North"));
    EXPECT_TRUE(TAVMetadataHelper::getGpsFullDirction("x").isNull());
    EXPECT_TRUE(TAVMetadataHelper::getGpsFullDirction("").isNull());

    EXPECT_EQ(TAVMetadataHelper::getAppDatetimeFormateString(4), QString("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(TAVMetadataHelper::getAppDatetimeFormateString(1), QString("yyyy-MM-dd"));
    EXPECT_EQ(TAVMetadataHelper::getAppDatetimeFormateString(2), QString("HH:mm:ss"));
}

TEST(TAVMetadataHelperTest, ExposureStepCodes)
{
    EXPECT_FLOAT_EQ(evFromStepCode(44), 1.3333334F);
    EXPECT_FLOAT_EQ(evFromStepCode(-20), -0.6666667F);
    EXPECT_FLOAT_EQ(evFromStepCode(64), 2.0F);
    EXPECT_FLOAT_EQ(evFromStepCode(-48), -1.5F);
    EXPECT_FLOAT_EQ(evFromStepCode(0), 0.0F);
    EXPECT_TRUE(std::isfinite(evFromStepCode(std::numeric_limits<int64_t>::min())));
}
