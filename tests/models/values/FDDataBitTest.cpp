#include "models/values/FDDataBit.h"
#include "models/values/FDNumberDataBit.h"
#include "models/values/FDRationalDataBit.h"
#include "models/values/FDStringDataBit.h"

#include "support/QtPrinters.h"

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

#include <cmath>

namespace {

Exiv2::Exifdatum exifDatum(const char* key, Exiv2::TypeId type, const char* text)
{
    auto value = Exiv2::Value::create(type);
    value->read(text);
    return Exiv2::Exifdatum(Exiv2::ExifKey(key), value.get());
}

QList<float> valuesOf(const FDDataBitPtr& bit)
{
    const auto* numbers = dynamic_cast<const FDNumberDataBit*>(bit.get());
    return numbers ? numbers->values() : QList<float>{-1};
}

} // namespace

TEST(FDDataBitTest, KindFollowsTheDatumType)
{
    const FDDataBitPtr model = FDDataBit::dataBitWithDatum(exifDatum("Exif.Image.Model", Exiv2::asciiString, "S40"));
    ASSERT_EQ(model->kind(), FDDataBit::Kind::String);
    EXPECT_EQ(model->description(), "S40");

    // One rational is shown as its quotient, three (a GPS coordinate) as degrees,
    // minutes and seconds, exactly two keep numerator and denominator apart.
    const auto exposure
        = FDDataBit::dataBitWithDatum(exifDatum("Exif.Photo.ExposureTime", Exiv2::unsignedRational, "1/500"));
    EXPECT_EQ(valuesOf(exposure), QList<float>{0.002f});
    const auto latitude = FDDataBit::dataBitWithDatum(
        exifDatum("Exif.GPSInfo.GPSLatitude", Exiv2::unsignedRational, "40/1 0/1 1471/100"));
    EXPECT_EQ(valuesOf(latitude), (QList<float>{40.0f, 0.0f, 14.71f}));
    EXPECT_EQ(latitude->description(), "40 0 14.71");
    const auto whitePoint
        = FDDataBit::dataBitWithDatum(exifDatum("Exif.Image.WhitePoint", Exiv2::unsignedRational, "313/1000 329/1000"));
    ASSERT_EQ(whitePoint->kind(), FDDataBit::Kind::Rational);
    EXPECT_EQ(whitePoint->description(), "0.313/0.329");

    const auto iso = FDDataBit::dataBitWithDatum(exifDatum("Exif.Photo.ISOSpeedRatings", Exiv2::unsignedShort, "100"));
    EXPECT_EQ(valuesOf(iso), QList<float>{100.0f});

    // Ordered XMP lists (authors) and IPTC times are texts, not rows of numbers.
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.creator"] = "Ana Lima";
    EXPECT_EQ(FDDataBit::dataBitWithDatum(*xmp.findKey(Exiv2::XmpKey("Xmp.dc.creator")))->description(), "Ana Lima");
    Exiv2::IptcData iptc;
    iptc["Iptc.Application2.TimeCreated"] = "12:30:00+00:00";
    EXPECT_EQ(FDDataBit::dataBitWithDatum(*iptc.begin())->description(), "12:30:00+00:00");

    // Text that is not UTF-8 becomes the empty text rather than mojibake.
    const auto latin1 = FDDataBit::dataBitWithDatum(exifDatum("Exif.Image.Artist", Exiv2::asciiString, "Jos\xe9"));
    EXPECT_EQ(latin1->description(), "");

    const Exiv2::Exifdatum empty(Exiv2::ExifKey("Exif.Image.Make"));
    EXPECT_EQ(FDDataBit::dataBitWithDatum(empty), nullptr);
}

TEST(FDDataBitTest, EqualityNeedsTheSameKindAndContent)
{
    const FDStringDataBit one("1");
    EXPECT_TRUE(one == FDStringDataBit("1"));
    EXPECT_FALSE(one == FDNumberDataBit({1.0f}));
    EXPECT_FALSE(FDNumberDataBit({1.0f}) == one);

    EXPECT_TRUE(FDRationalDataBit(1, 2) == FDRationalDataBit(1, 2));
    EXPECT_FALSE(FDRationalDataBit(1, 2) == FDRationalDataBit(2, 4));
    EXPECT_FALSE(FDRationalDataBit(1, 2) == FDNumberDataBit({1.0f, 2.0f}));

    EXPECT_FALSE(FDNumberDataBit({1.0f, 2.0f}) == FDNumberDataBit({1.0f}));
    const FDNumberDataBit notANumber({std::nanf("")});
    EXPECT_FALSE(notANumber == notANumber);
}
