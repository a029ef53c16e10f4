#include "models/write/TAVExifWriter.h"

#include "models/tables/TAVCVSParaser.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QJsonArray>

#include <exiv2/exiv2.hpp>

namespace {

using WrittenFileProbe::bytes;
using WrittenFileProbe::expectValues;

TAVEntityPtr entity(const char* key, const char* text)
{
    return TAVEntity::entityWithValue(QString::fromUtf8(text), QString::fromLatin1(key));
}

class TAVExifWriterTest : public TempFolderTest {
protected:
    static void SetUpTestSuite() { TAVCVSParaser::loadCanEditTags(); }

    QString imageWith(const WrittenFileProbe::Expected& tags, const QString& name = "image.jpg")
    {
        std::vector<ImageFixtures::Tag> list;
        for (const auto& [key, text] : tags) {
            list.push_back({QString::fromLatin1(key), QString::fromUtf8(text), std::nullopt});
        }
        const QString path = tempPath(name);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, list));
        return path;
    }

    // Writes the entities into the file and saves it; returns the ones refused.
    static QList<TAVEntityPtr> writeAndSave(const QString& path, const QList<TAVEntityPtr>& entities)
    {
        TAVExifWriter writer(path);
        const QList<TAVEntityPtr> failed = writer.doWriteMetadata(entities);
        EXPECT_TRUE(writer.saveModifiedMetadata());
        return failed;
    }
};

TEST_F(TAVExifWriterTest, RefusedTextsAndKeysAreReportedAndChangeNothing)
{
    const QString path = imageWith({{"Exif.Photo.ExposureTime", "1/200"}});
    const QList<TAVEntityPtr> refused = {
        entity("Exif.Photo.FNumber", "2.8"),
        entity("Exif.Photo.ExposureTime", ""),
        entity("Exif.Photo.NoSuchTag", "1"),
        entity("Iptc.Application2.NoSuchSet", "x"),
        entity("Xmp.nosuchns.title", "x"),
        entity("Exif.Photo.ExposureTime", "-1/250"),
        entity("Exif.Photo.ISOSpeedRatings", "-100"),
    };
    EXPECT_EQ(writeAndSave(path, refused + QList{entity("Exif.Photo.ApertureValue", "28/10")}), refused);
    expectValues(path,
        {{"Exif.Photo.FNumber", nullptr}, {"Exif.Photo.ISOSpeedRatings", nullptr}, {"Exif.Photo.ExposureTime", "1/200"},
            {"Exif.Photo.ApertureValue", "28/10"}});
}

TEST_F(TAVExifWriterTest, GpsCoordinatesKeepFractionsOfSecondsAndEmptyTextErasesThePlace)
{
    const QString path = imageWith({{"Exif.GPSInfo.GPSLatitudeRef", "N"}, {"Exif.GPSInfo.GPSLatitude", "1/1 2/1 3/1"},
        {"Exif.GPSInfo.GPSLongitudeRef", "W"}, {"Exif.GPSInfo.GPSLongitude", "4/1 5/1 6/1"}});
    const TAVEntityPtr notAPlace = entity("Exif.GPSInfo.GPSLongitude", "12 30 15");
    const TAVEntityPtr latitude = entity("Exif.GPSInfo.GPSLatitude", "37/1 46/1 59999/1000 ");
    EXPECT_EQ(writeAndSave(path, {latitude, notAPlace}), QList<TAVEntityPtr>{notAPlace});

    // 59.999 seconds are kept exactly, below a minute.
    expectValues(path, {{"Exif.GPSInfo.GPSLatitude", "37/1 46/1 59999/1000"}});
    const QJsonObject tags = ExifTool::read(path, {"-n"});
    EXPECT_NEAR(tags.value("GPS:GPSLatitude").toDouble(), 37.0 + 46.0 / 60 + 59.999 / 3600, 1e-9);
    EXPECT_NEAR(tags.value("GPS:GPSLongitude").toDouble(), 4.0 + 5.0 / 60 + 6.0 / 3600, 1e-6);

    // A part too large for the file's rationals is cut to hundredths.
    EXPECT_TRUE(writeAndSave(path, {entity("Exif.GPSInfo.GPSLatitude", "37/1 46/1 5999900000/100000000")}).isEmpty());
    expectValues(path, {{"Exif.GPSInfo.GPSLatitude", "37/1 46/1 5999/100"}});

    EXPECT_TRUE(writeAndSave(path, {entity("Exif.GPSInfo.GPSLongitude", "")}).isEmpty());
    expectValues(path,
        {{"Exif.GPSInfo.GPSLongitude", nullptr}, {"Exif.GPSInfo.GPSLongitudeRef", nullptr},
            {"Exif.GPSInfo.GPSLatitudeRef", "N"}});
}

// The camera PNGs carry an IFD0 entry of type 0; written back as it was, it made
// other readers drop the whole directory, and the library kept the EXIF in a
// private text chunk instead of the standard one.
TEST_F(TAVExifWriterTest, ASavedCameraPngKeepsItsExifReadableByOtherPrograms)
{
    for (const char* name : {"png-nikon-d3.png", "png-sony-gps.png"}) {
        SCOPED_TRACE(name);
        const QString path = ImageFixtures::copySample(QString::fromLatin1(name), tempFolder());
        const QString make = ExifTool::read(path).value("IFD0:Make").toString();
        ASSERT_FALSE(make.isEmpty());
        EXPECT_TRUE(writeAndSave(path, {entity("Exif.Image.Artist", "Ann")}).isEmpty());

        const QJsonObject tags = ExifTool::read(path);
        EXPECT_EQ(tags.value("IFD0:Make").toString(), make);
        EXPECT_EQ(tags.value("IFD0:Artist").toString(), "Ann");
        EXPECT_FALSE(tags.value("ExifIFD:ExposureTime").isUndefined());
        EXPECT_TRUE(bytes(path).contains("eXIf"));
        EXPECT_FALSE(bytes(path).contains("Raw profile type exif"));
    }
}

TEST_F(TAVExifWriterTest, IptcKeywordsAreOneDatasetPerWordAndNonAsciiTextIsDeclaredUtf8)
{
    const QString path = imageWith({});
    ASSERT_TRUE(ImageFixtures::writeKeywords(path, {"one", "two"}));
    EXPECT_TRUE(writeAndSave(path,
        {entity("Iptc.Application2.City", "Lübeck"),
            entity("Iptc.Application2.Keywords", " Straße, 港,, dawn light ,")})
                    .isEmpty());
    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("IPTC:City").toString(), "Lübeck");
    EXPECT_EQ(tags.value("IPTC:Keywords").toArray(), (QJsonArray{"Straße", "港", "dawn light"}));

    TAVExifWriter clearer(path);
    EXPECT_TRUE(clearer.clearIPTCMetadata({"Iptc.Application2.Keywords"}));
    ASSERT_TRUE(clearer.saveModifiedMetadata());
    EXPECT_TRUE(WrittenFileProbe::values(path, "Iptc.Application2.Keywords").isEmpty());

    // Plain ASCII needs no declaration and gets none.
    const QString ascii = imageWith({}, "ascii.jpg");
    EXPECT_TRUE(writeAndSave(ascii, {entity("Iptc.Application2.City", "Luebeck")}).isEmpty());
    expectValues(ascii, {{"Iptc.Envelope.CharacterSet", nullptr}});
}

// Other programs reject or cut IPTC texts beyond the standard's length; the
// cut never splits a character's bytes, and texts within the limit stay whole.
TEST_F(TAVExifWriterTest, IptcTextsAreCutToTheirDatasetLengthOnCharacterBoundaries)
{
    const QString path = imageWith({});
    const QString longTitle = QString(5000, QLatin1Char('t'));
    const QString accented = QString(40, QChar(0x00e9)); // two bytes each
    const QString wide = QString::fromUtf8("港").repeated(30); // three bytes each
    const QString emoji = QString::fromUtf8("😀").repeated(20); // four bytes, two UTF-16 units
    const QString keyword = QString(70, QLatin1Char('k'));
    const QList<TAVEntityPtr> texts = {
        TAVEntity::entityWithValue(longTitle, "Iptc.Application2.ObjectName"),
        TAVEntity::entityWithValue(accented, "Iptc.Application2.City"),
        TAVEntity::entityWithValue(wide, "Iptc.Application2.Byline"),
        TAVEntity::entityWithValue(emoji, "Iptc.Application2.Headline"),
        TAVEntity::entityWithValue(keyword + ",short", "Iptc.Application2.Keywords"),
        TAVEntity::entityWithValue(longTitle, "Xmp.dc.title"),
    };
    EXPECT_TRUE(writeAndSave(path, texts).isEmpty());

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), longTitle.left(64));
    EXPECT_EQ(tags.value("IPTC:City").toString(), accented.left(16)); // 32 bytes
    EXPECT_EQ(tags.value("IPTC:By-line").toString(), wide.left(10)); // 30 of 32 bytes
    EXPECT_EQ(tags.value("IPTC:Headline").toString(), emoji); // 80 of 256 bytes
    EXPECT_EQ(tags.value("IPTC:Keywords").toArray(), (QJsonArray{keyword.left(64), "short"}));
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), longTitle);

    const QJsonObject validated = ExifTool::read(path, {"-validate", "-warning"});
    for (auto it = validated.begin(); it != validated.end(); ++it) {
        EXPECT_FALSE(it.value().toString().contains("IPTC"))
            << it.key().toStdString() << ": " << it.value().toString().toStdString();
    }
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
    EXPECT_TRUE(writeAndSave(path, {entity("Xmp.dc.title", "New title")}).isEmpty());
    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), "New title");
    EXPECT_EQ(tags.value("XMP-dc:Title-de-DE").toString(), "Alter Titel");
}

TEST_F(TAVExifWriterTest, UnreadableMetadataIsNeverReplacedByTheEditsAlone)
{
    // A real JPEG whose EXIF segment holds no TIFF structure: the file opens,
    // its metadata cannot be read.
    const QString path = tempPath("broken.jpg");
    ASSERT_TRUE(ImageFixtures::makeImage(path));
    QByteArray broken = bytes(path);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + QByteArray("no tiff header here");
    QByteArray segment("\xff\xe1", 2);
    segment.append(char((payload.size() + 2) >> 8)).append(char((payload.size() + 2) & 0xff)).append(payload);
    broken.insert(2, segment);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(broken);
    }

    TAVExifWriter writer(path);
    EXPECT_FALSE(writer.hasImage());
    const TAVEntityPtr artist = entity("Exif.Image.Artist", "Ann");
    EXPECT_EQ(writer.doWriteMetadata({artist}), QList<TAVEntityPtr>{artist});
    EXPECT_FALSE(writer.clearMetadata({"Exif.Image.Artist"}));
    EXPECT_FALSE(writer.saveModifiedMetadata());
    EXPECT_EQ(writer.getExifData().count(), 0);
    EXPECT_EQ(bytes(path), broken);

    // Nor may a format the library cannot write lose the file.
    const QString bmp = tempPath("picture.bmp");
    ASSERT_TRUE(ImageFixtures::makeImage(bmp));
    const QByteArray before = bytes(bmp);
    TAVExifWriter bmpWriter(bmp);
    bmpWriter.doWriteMetadata({artist});
    EXPECT_FALSE(bmpWriter.saveModifiedMetadata());
    EXPECT_EQ(bytes(bmp), before);
}

TEST_F(TAVExifWriterTest, ValueCheckFollowsTheTypeOfTheKey)
{
    const std::vector<std::tuple<const char*, const char*, bool>> cases = {
        {"", "Exif.Photo.FNumber", true},
        {"", "Summary.ImageSize", true},
        {"28/10", "Exif.Photo.FNumber", true},
        {"ten", "Exif.Photo.ISOSpeedRatings", false},
        {"2.8", "Exif.Photo.FNumber", false},
        {"64 x 48", "Summary.ImageSize", false},
        {"x", "", false},
        {"Any words", "Iptc.Application2.City", true},
        {"Harbour", "Xmp.dc.title", true}, // XMP properties are checked against their own type
        // Numbers an unsigned type cannot hold are refused, not wrapped around.
        {"2 2 0 0", "Exif.GPSInfo.GPSVersionID", true},
        {"300", "Exif.GPSInfo.GPSAltitudeRef", false},
        {"-100", "Exif.Photo.ISOSpeedRatings", false},
        {"-1/250", "Exif.Photo.ExposureTime", false},
    };
    for (const auto& [text, key, accepted] : cases) {
        EXPECT_EQ(TAVExifWriter::testValue(QString::fromUtf8(text), key), accepted) << text << " for " << key;
    }
}

} // namespace
