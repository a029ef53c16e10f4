#include "models/TAVExifWriter.h"

#include "models/TAVCVSParaser.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"
#include "WrittenFileProbe.h"

#include <QFile>
#include <QJsonArray>

#include <exiv2/exiv2.hpp>

namespace {

using ImageFixtures::Tag;
using WrittenFileProbe::value;
using WrittenFileProbe::values;

TAVEntityPtr entity(const QString& key, const QString& text)
{
    return TAVEntity::entityWithValue(text, key);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class TAVExifWriterTest : public TempFolderTest {
protected:
    static void SetUpTestSuite() { TAVCVSParaser::loadCanEditTags(); }

    QString imageWith(const std::vector<Tag>& tags, const QString& name = QStringLiteral("image.jpg"))
    {
        const QString path = tempPath(name);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, tags));
        return path;
    }
};

TEST_F(TAVExifWriterTest, RefusedTextsAndKeysAreReportedAndChangeNothing)
{
    const QString path = imageWith({{QStringLiteral("Exif.Photo.ExposureTime"), QStringLiteral("1/200"), std::nullopt}});
    TAVExifWriter writer(path);

    const TAVEntityPtr decimalFNumber = entity(QStringLiteral("Exif.Photo.FNumber"), QStringLiteral("2.8"));
    const TAVEntityPtr emptyExposure = entity(QStringLiteral("Exif.Photo.ExposureTime"), QString(""));
    const TAVEntityPtr unknownExif = entity(QStringLiteral("Exif.Photo.NoSuchTag"), QStringLiteral("1"));
    const TAVEntityPtr unknownIptc = entity(QStringLiteral("Iptc.Application2.NoSuchSet"), QStringLiteral("x"));
    const TAVEntityPtr unknownXmp = entity(QStringLiteral("Xmp.nosuchns.title"), QStringLiteral("x"));
    const TAVEntityPtr negativeExposure = entity(QStringLiteral("Exif.Photo.ExposureTime"), QStringLiteral("-1/250"));
    const TAVEntityPtr negativeIso = entity(QStringLiteral("Exif.Photo.ISOSpeedRatings"), QStringLiteral("-100"));
    const TAVEntityPtr fraction = entity(QStringLiteral("Exif.Photo.ApertureValue"), QStringLiteral("28/10"));
    const QList<TAVEntityPtr> failed = writer.doWriteMetadata(
        {decimalFNumber, emptyExposure, unknownExif, unknownIptc, unknownXmp, negativeExposure, negativeIso, fraction});

    EXPECT_EQ(failed, (QList<TAVEntityPtr>{decimalFNumber, emptyExposure, unknownExif, unknownIptc, unknownXmp,
                                           negativeExposure, negativeIso}));
    ASSERT_TRUE(writer.saveModifiedMetadata());
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.FNumber")).isNull());
    EXPECT_TRUE(value(path, QStringLiteral("Exif.Photo.ISOSpeedRatings")).isNull());
    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.ExposureTime")), QStringLiteral("1/200"));
    EXPECT_EQ(value(path, QStringLiteral("Exif.Photo.ApertureValue")), QStringLiteral("28/10"));
}

TEST_F(TAVExifWriterTest, GpsCoordinatesKeepFractionsOfSecondsAndEmptyTextErasesThePlace)
{
    const QString path = imageWith({
        {QStringLiteral("Exif.GPSInfo.GPSLatitudeRef"), QStringLiteral("N"), std::nullopt},
        {QStringLiteral("Exif.GPSInfo.GPSLatitude"), QStringLiteral("1/1 2/1 3/1"), std::nullopt},
        {QStringLiteral("Exif.GPSInfo.GPSLongitudeRef"), QStringLiteral("W"), std::nullopt},
        {QStringLiteral("Exif.GPSInfo.GPSLongitude"), QStringLiteral("4/1 5/1 6/1"), std::nullopt},
    });
    TAVExifWriter writer(path);
    const TAVEntityPtr notAPlace = entity(QStringLiteral("Exif.GPSInfo.GPSLongitude"), QStringLiteral("12 30 15"));
    const QList<TAVEntityPtr> failed = writer.doWriteMetadata({
        entity(QStringLiteral("Exif.GPSInfo.GPSLatitude"), QStringLiteral("37/1 46/1 59999/1000 ")),
        notAPlace,
    });
    EXPECT_EQ(failed, QList<TAVEntityPtr>{notAPlace});
    ASSERT_TRUE(writer.saveModifiedMetadata());

    // 59.999 seconds stay below a minute instead of rounding up to 60.
    EXPECT_EQ(value(path, QStringLiteral("Exif.GPSInfo.GPSLatitude")), QStringLiteral("37/1 46/1 5999/100"));
    const QJsonObject tags = ExifTool::read(path, {QStringLiteral("-n")});
    EXPECT_NEAR(tags.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 37.0 + 46.0 / 60 + 59.99 / 3600, 1e-6);
    EXPECT_NEAR(tags.value(QStringLiteral("GPS:GPSLongitude")).toDouble(), 4.0 + 5.0 / 60 + 6.0 / 3600, 1e-6);

    TAVExifWriter eraser(path);
    EXPECT_TRUE(eraser.doWriteMetadata({entity(QStringLiteral("Exif.GPSInfo.GPSLongitude"), QString(""))}).isEmpty());
    ASSERT_TRUE(eraser.saveModifiedMetadata());
    EXPECT_TRUE(value(path, QStringLiteral("Exif.GPSInfo.GPSLongitude")).isNull());
    EXPECT_TRUE(value(path, QStringLiteral("Exif.GPSInfo.GPSLongitudeRef")).isNull());
    EXPECT_EQ(value(path, QStringLiteral("Exif.GPSInfo.GPSLatitudeRef")), QStringLiteral("N"));
}

// The camera PNGs carry an IFD0 entry of type 0; written back as it was, it made
// other readers drop the whole directory, and the library kept the EXIF in a
// private text chunk instead of the standard one.
TEST_F(TAVExifWriterTest, ASavedCameraPngKeepsItsExifReadableByOtherPrograms)
{
    for (const char* name : {"png-nikon-d3.png", "png-sony-gps.png"}) {
        const QString sample = QString::fromLatin1(name);
        const QString path = ImageFixtures::copySample(sample, tempFolder());
        const QString make = ExifTool::read(path).value(QStringLiteral("IFD0:Make")).toString();
        ASSERT_FALSE(make.isEmpty()) << sample.toStdString();

        TAVExifWriter writer(path);
        EXPECT_TRUE(writer.doWriteMetadata({entity(QStringLiteral("Exif.Image.Artist"), QStringLiteral("Ann"))}).isEmpty());
        ASSERT_TRUE(writer.saveModifiedMetadata());

        const QJsonObject tags = ExifTool::read(path);
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), make) << sample.toStdString();
        EXPECT_EQ(tags.value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ann")) << sample.toStdString();
        EXPECT_FALSE(tags.value(QStringLiteral("ExifIFD:ExposureTime")).isUndefined()) << sample.toStdString();
        const QByteArray bytes = contents(path);
        EXPECT_TRUE(bytes.contains("eXIf")) << sample.toStdString();
        EXPECT_FALSE(bytes.contains("Raw profile type exif")) << sample.toStdString();
    }
}

TEST_F(TAVExifWriterTest, NonAsciiIptcTextIsDeclaredUtf8SoOtherProgramsReadIt)
{
    const QString path = imageWith({});
    TAVExifWriter writer(path);
    EXPECT_TRUE(writer
                    .doWriteMetadata({entity(QStringLiteral("Iptc.Application2.City"), QStringLiteral("Lübeck")),
                                      entity(QStringLiteral("Iptc.Application2.Keywords"), QStringLiteral("Straße, 港"))})
                    .isEmpty());
    ASSERT_TRUE(writer.saveModifiedMetadata());

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value(QStringLiteral("IPTC:City")).toString(), QStringLiteral("Lübeck"));
    EXPECT_EQ(tags.value(QStringLiteral("IPTC:Keywords")).toArray(), (QJsonArray{QStringLiteral("Straße"), QStringLiteral("港")}));

    // Plain ASCII needs no declaration and gets none.
    const QString ascii = imageWith({}, QStringLiteral("ascii.jpg"));
    TAVExifWriter asciiWriter(ascii);
    EXPECT_TRUE(asciiWriter.doWriteMetadata({entity(QStringLiteral("Iptc.Application2.City"), QStringLiteral("Luebeck"))}).isEmpty());
    ASSERT_TRUE(asciiWriter.saveModifiedMetadata());
    EXPECT_TRUE(values(ascii, QStringLiteral("Iptc.Envelope.CharacterSet")).isEmpty());
}

TEST_F(TAVExifWriterTest, KeywordsAreOneDatasetPerWordAndAClearTakesThemAll)
{
    const QString path = imageWith({});
    ASSERT_TRUE(ImageFixtures::writeKeywords(path, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")}));

    TAVExifWriter writer(path);
    EXPECT_TRUE(writer
                    .doWriteMetadata({entity(QStringLiteral("Iptc.Application2.Keywords"),
                                             QStringLiteral(" harbour, boats,, dawn light ,"))})
                    .isEmpty());
    ASSERT_TRUE(writer.saveModifiedMetadata());
    const QJsonArray words = ExifTool::read(path).value(QStringLiteral("IPTC:Keywords")).toArray();
    EXPECT_EQ(words, (QJsonArray{QStringLiteral("harbour"), QStringLiteral("boats"), QStringLiteral("dawn light")}));

    TAVExifWriter clearer(path);
    EXPECT_TRUE(clearer.clearIPTCMetadata({QStringLiteral("Iptc.Application2.Keywords")}));
    ASSERT_TRUE(clearer.saveModifiedMetadata());
    EXPECT_TRUE(values(path, QStringLiteral("Iptc.Application2.Keywords")).isEmpty());
}

TEST_F(TAVExifWriterTest, XmpLanguageAlternativeChangesOnlyItsDefaultText)
{
    const QString path = imageWith({});
    {
        auto image = WrittenFileProbe::open(path);
        auto title = Exiv2::Value::create(Exiv2::langAlt);
        title->read("lang=\"x-default\" Old title");
        title->read("lang=\"de-DE\" Alter Titel");
        image->xmpData().add(Exiv2::XmpKey("Xmp.dc.title"), title.get());
        image->writeMetadata();
    }
    TAVExifWriter writer(path);
    EXPECT_TRUE(writer.doWriteMetadata({entity(QStringLiteral("Xmp.dc.title"), QStringLiteral("New title"))}).isEmpty());
    ASSERT_TRUE(writer.saveModifiedMetadata());

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Title")).toString(), QStringLiteral("New title"));
    EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Title-de-DE")).toString(), QStringLiteral("Alter Titel"));
}

TEST_F(TAVExifWriterTest, UnreadableMetadataIsNeverReplacedByTheEditsAlone)
{
    // A real JPEG whose EXIF segment holds no TIFF structure: the file opens,
    // its metadata cannot be read.
    const QString path = tempPath(QStringLiteral("broken.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImage(path));
    QByteArray bytes = contents(path);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + QByteArray("no tiff header here");
    QByteArray segment("\xff\xe1", 2);
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xff)).append(payload);
    bytes.insert(2, segment);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    TAVExifWriter writer(path);
    EXPECT_FALSE(writer.hasImage());
    const TAVEntityPtr artist = entity(QStringLiteral("Exif.Image.Artist"), QStringLiteral("Ann"));
    EXPECT_EQ(writer.doWriteMetadata({artist}), QList<TAVEntityPtr>{artist});
    EXPECT_FALSE(writer.clearMetadata({QStringLiteral("Exif.Image.Artist")}));
    EXPECT_FALSE(writer.saveModifiedMetadata());
    EXPECT_EQ(writer.getExifData().count(), 0);
    EXPECT_EQ(contents(path), bytes);
}

TEST_F(TAVExifWriterTest, AFormatTheLibraryCannotWriteFailsTheSaveAndKeepsTheFile)
{
    const QString path = tempPath(QStringLiteral("picture.bmp"));
    ASSERT_TRUE(ImageFixtures::makeImage(path));
    const QByteArray before = contents(path);

    TAVExifWriter writer(path);
    writer.doWriteMetadata({entity(QStringLiteral("Exif.Image.Artist"), QStringLiteral("Ann"))});
    EXPECT_FALSE(writer.saveModifiedMetadata());
    EXPECT_EQ(contents(path), before);
}

TEST_F(TAVExifWriterTest, ValueCheckFollowsTheTypeOfTheKey)
{
    EXPECT_TRUE(TAVExifWriter::testValue(QString(""), QStringLiteral("Exif.Photo.FNumber")));
    EXPECT_TRUE(TAVExifWriter::testValue(QString(""), QStringLiteral("Summary.ImageSize")));
    EXPECT_TRUE(TAVExifWriter::testValue(QStringLiteral("28/10"), QStringLiteral("Exif.Photo.FNumber")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("ten"), QStringLiteral("Exif.Photo.ISOSpeedRatings")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("2.8"), QStringLiteral("Exif.Photo.FNumber")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("64 x 48"), QStringLiteral("Summary.ImageSize")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("x"), QString()));
    EXPECT_TRUE(TAVExifWriter::testValue(QStringLiteral("Any words"), QStringLiteral("Iptc.Application2.City")));
    // XMP properties are checked against their own type, so text ones accept text.
    EXPECT_TRUE(TAVExifWriter::testValue(QStringLiteral("Harbour"), QStringLiteral("Xmp.dc.title")));
    // Numbers an unsigned type cannot hold are refused, not wrapped around.
    EXPECT_TRUE(TAVExifWriter::testValue(QStringLiteral("2 2 0 0"), QStringLiteral("Exif.GPSInfo.GPSVersionID")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("300"), QStringLiteral("Exif.GPSInfo.GPSAltitudeRef")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("-100"), QStringLiteral("Exif.Photo.ISOSpeedRatings")));
    EXPECT_FALSE(TAVExifWriter::testValue(QStringLiteral("-1/250"), QStringLiteral("Exif.Photo.ExposureTime")));
}

}  // namespace
