#include "models/TAVMetadataReaderMgr.h"

#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QStringList>

#include <cstdlib>
#include <ctime>

namespace {

using ImageFixtures::Tag;

Tag tag(const char* key, const char* value)
{
    return {QString::fromLatin1(key), QString::fromUtf8(value), std::nullopt};
}

QStringList keysOf(const QList<TAVEntityPtr>& rows)
{
    QStringList keys;
    for (const TAVEntityPtr& row : rows) {
        keys << row->key();
    }
    return keys;
}

class TAVMetadataReaderMgrTest : public TempFolderTest {
protected:
    QString fileWith(const QString& name, const std::vector<Tag>& tags)
    {
        const QString path = tempPath(name);
        EXPECT_TRUE(ImageFixtures::makeImageWithTags(path, tags));
        return path;
    }

    // Reads a file as the image object does and silences the "no data" lines.
    static std::unique_ptr<TAVMetadataReaderMgr> readFile(const QString& path)
    {
        auto manager = std::make_unique<TAVMetadataReaderMgr>(path);
        testing::internal::CaptureStdout();
        manager->readAllMetadata();
        testing::internal::GetCapturedStdout();
        return manager;
    }
};

TEST_F(TAVMetadataReaderMgrTest, DatesReadInTheApplicationFormAndTheCaptureDateWins)
{
    const QString all = fileWith(QStringLiteral("all.jpg"),
        {tag("Exif.Image.DateTime", "2024:05:01 10:00:00"), tag("Exif.Photo.DateTimeOriginal", "2023:07:14 08:30:05"),
            tag("Exif.Photo.DateTimeDigitized", "2023:07:14 08:30:06")});
    auto manager = readFile(all);
    const QList<TAVEntityPtr> rows = manager->readAllMetadata();
    const QStringList keys = keysOf(rows);
    // The last-modified date comes first in the file's own order.
    ASSERT_LT(keys.indexOf(QStringLiteral("Exif.Image.DateTime")),
        keys.indexOf(QStringLiteral("Exif.Photo.DateTimeOriginal")));
    EXPECT_EQ(manager->getOneValueForKey(QStringLiteral("Exif.Image.DateTime")), QStringLiteral("2024-05-01 10:00:00"));
    EXPECT_EQ(manager->getOneValueForKey(QStringLiteral("Exif.Photo.DateTimeDigitized")),
        QStringLiteral("2023-07-14 08:30:06"));
    EXPECT_EQ(manager->getCreateDateAndTime(), QStringLiteral("2023-07-14 08:30:05"));

    const QString digitized = fileWith(QStringLiteral("digitized.jpg"),
        {tag("Exif.Image.DateTime", "2024:05:01 10:00:00"),
            tag("Exif.Photo.DateTimeDigitized", "2023:07:14 08:30:06")});
    EXPECT_EQ(readFile(digitized)->getCreateDateAndTime(), QStringLiteral("2023-07-14 08:30:06"));

    const QString modified
        = fileWith(QStringLiteral("modified.jpg"), {tag("Exif.Image.DateTime", "2024/05/01 10:00:00")});
    EXPECT_EQ(readFile(modified)->getCreateDateAndTime(), QStringLiteral("2024-05-01 10:00:00"));

    const QString none = fileWith(QStringLiteral("none.jpg"), {tag("Exif.Image.Make", "Acme")});
    EXPECT_TRUE(readFile(none)->getCreateDateAndTime().isNull());
}

TEST_F(TAVMetadataReaderMgrTest, DateTextsOutsideTheTwoFormsStayAsTheyAre)
{
    EXPECT_EQ(TAVMetadataReaderMgr::getConvertDatetimeString(QStringLiteral("2023/07/14 08:30:05")),
        QStringLiteral("2023-07-14 08:30:05"));
    EXPECT_FALSE(TAVMetadataReaderMgr::getConvertDatetimeString(QString()).isNull());
    for (const char* kept : {"2023-07-14 08:30:05", "2023:02:30 10:00:00", "2023:07:14", "    :  :     :  :  "}) {
        EXPECT_EQ(TAVMetadataReaderMgr::getConvertDatetimeString(QString::fromLatin1(kept)), QString::fromLatin1(kept));
    }

    // 02:30 on that day does not exist in Berlin (clocks jump to 03:00); a
    // camera date has no zone, so it must come through unchanged.
    const QByteArray previousZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QString converted = TAVMetadataReaderMgr::getConvertDatetimeString(QStringLiteral("2023:03:26 02:30:00"));
    previousZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", previousZone);
    tzset();
    EXPECT_EQ(converted, QStringLiteral("2023-03-26 02:30:00"));
}

TEST_F(TAVMetadataReaderMgrTest, TheTypedReadGivesEveryFamilyWithTheFileDatesAndKeepsNothing)
{
    const QString path = fileWith(QStringLiteral("families.jpg"),
        {tag("Exif.Photo.DateTimeOriginal", "2023:07:14 08:30:05"), tag("Iptc.Application2.Caption", "Evening"),
            tag("Xmp.dc.rights", "Ann")});
    TAVMetadataReaderMgr manager(path);
    const QStringList keys = keysOf(manager.readAllMetadata(8)); // 8: thumbnail only
    EXPECT_EQ(keys.first(), QStringLiteral("EXIF"));
    EXPECT_LT(keys.indexOf(QStringLiteral("IPTC")), keys.indexOf(QStringLiteral("Iptc.Application2.Caption")));
    EXPECT_LT(keys.indexOf(QStringLiteral("Iptc.Application2.Caption")), keys.indexOf(QStringLiteral("XMP")));
    EXPECT_LT(keys.indexOf(QStringLiteral("XMP")), keys.indexOf(QStringLiteral("Xmp.dc.rights")));
    const QList<TAVEntityPtr> rows = manager.readAllMetadata(16);
    const qsizetype dateRow = keysOf(rows).indexOf(QStringLiteral("Exif.Photo.DateTimeOriginal"));
    ASSERT_GE(dateRow, 0);
    EXPECT_EQ(rows.at(dateRow)->value(), QStringLiteral("2023:07:14 08:30:05"));
    EXPECT_TRUE(manager.getCaption().isNull()); // the getters see only the kept list
}

TEST_F(TAVMetadataReaderMgrTest, MakeAndModelJoinWhatIsThere)
{
    EXPECT_EQ(readFile(fileWith(QStringLiteral("both.jpg"),
                           {tag("Exif.Image.Make", "Acme"), tag("Exif.Image.Model", "X100")}))
                  ->getCameraMakeAndModel(),
        QStringLiteral("Acme X100"));
    EXPECT_EQ(readFile(fileWith(QStringLiteral("make.jpg"), {tag("Exif.Image.Make", "Acme")}))->getCameraMakeAndModel(),
        QStringLiteral("Acme"));
    const QString neither
        = readFile(fileWith(QStringLiteral("neither.jpg"), {tag("Exif.Image.Artist", "Ann")}))->getCameraMakeAndModel();
    EXPECT_EQ(neither, QStringLiteral(""));
    EXPECT_FALSE(neither.isNull());
}

TEST_F(TAVMetadataReaderMgrTest, GettersFollowTheirKeyChains)
{
    auto iptcOnly = readFile(fileWith(QStringLiteral("iptc.jpg"),
        {tag("Iptc.Application2.ObjectName", "Harbour"), tag("Iptc.Application2.Copyright", "Ann"),
            tag("Iptc.Application2.Keywords", "sea"), tag("Iptc.Application2.Keywords", "sun"),
            tag("Xmp.dc.description", "Boats")}));
    EXPECT_EQ(iptcOnly->getTitle(), QStringLiteral("Harbour"));
    EXPECT_EQ(iptcOnly->getCopyright(), QStringLiteral("Ann"));
    EXPECT_EQ(iptcOnly->getDescription(), QStringLiteral("Boats"));
    EXPECT_EQ(iptcOnly->getKeywords(), QStringLiteral("sea, sun"));
    EXPECT_TRUE(iptcOnly->getLensModel().isNull());

    auto exifFirst = readFile(fileWith(QStringLiteral("exif.jpg"),
        {tag("Exif.Image.XPTitle", "72 0 105 0 0 0"), tag("Exif.Image.Copyright", "Bo"),
            tag("Iptc.Application2.ObjectName", "Harbour"), tag("Iptc.Application2.Copyright", "Ann")}));
    EXPECT_EQ(exifFirst->getTitle(), QStringLiteral("Hi"));
    EXPECT_EQ(exifFirst->getCopyright(), QStringLiteral("Bo"));

    EXPECT_TRUE(exifFirst->getOneValueForKey(QString()).isNull());
    EXPECT_TRUE(exifFirst->getOneValueForKey(QStringLiteral("Exif.Image.Nothing")).isNull());
    TAVMetadataReaderMgr unread(tempPath(QStringLiteral("exif.jpg")));
    EXPECT_TRUE(unread.getCopyright().isNull());
}

TEST_F(TAVMetadataReaderMgrTest, GpsVersionReadsAsDottedText)
{
    auto manager = readFile(fileWith(QStringLiteral("gps.jpg"), {tag("Exif.GPSInfo.GPSVersionID", "2 3 0 0")}));
    EXPECT_EQ(manager->getGPSVersion(), QStringLiteral("version 2.3.0.0"));
    auto without = readFile(fileWith(QStringLiteral("nogps.jpg"), {tag("Exif.Image.Make", "Acme")}));
    EXPECT_TRUE(without->getGPSVersion().isNull());
}

TEST_F(TAVMetadataReaderMgrTest, AMissingFileGivesNoRowsAndEmptyAnswers)
{
    auto manager = readFile(tempPath(QStringLiteral("gone.jpg")));
    EXPECT_TRUE(manager->readAllMetadata().isEmpty());
    EXPECT_TRUE(manager->getImageSize().isNull());
    EXPECT_EQ(manager->getImageSizeByte(), 0.0f);
    EXPECT_EQ(manager->getCameraMakeAndModel(), QStringLiteral(""));
}

// Real camera files read as the independent reader reads them.
TEST_F(TAVMetadataReaderMgrTest, CameraFilesAgreeWithExifTool)
{
    if (!ExifTool::available()) {
        GTEST_SKIP() << "exiftool is not installed";
    }
    for (const char* name : {"npm-canon-s40.jpg", "npm-iphone6p.jpg", "npm-lumia.jpg", "npm-evil1.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = ImageFixtures::copySample(QString::fromLatin1(name), tempFolder());
        ASSERT_FALSE(path.isEmpty());
        const QJsonObject expected = ExifTool::read(path, {QStringLiteral("-n")});
        auto manager = readFile(path);

        EXPECT_EQ(manager->getCameraMake(), expected.value(QStringLiteral("IFD0:Make")).toString());
        EXPECT_EQ(manager->getCameraModel(), expected.value(QStringLiteral("IFD0:Model")).toString());
        QString captured = expected.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString();
        captured.replace(4, 1, QLatin1Char('-')).replace(7, 1, QLatin1Char('-'));
        EXPECT_EQ(manager->getCreateDateAndTime(), captured);

        double degree = 0, minutes = 0, seconds = 0;
        if (expected.contains(QStringLiteral("GPS:GPSLatitude"))) {
            ASSERT_TRUE(manager->getGPSLatitudeDecimalValue(degree, minutes, seconds));
            EXPECT_NEAR(degree + minutes / 60 + seconds / 3600,
                expected.value(QStringLiteral("GPS:GPSLatitude")).toDouble(), 1e-6);
            ASSERT_TRUE(manager->getGPSLongitudeDecimalValue(degree, minutes, seconds));
            EXPECT_NEAR(degree + minutes / 60 + seconds / 3600,
                expected.value(QStringLiteral("GPS:GPSLongitude")).toDouble(), 1e-6);
            EXPECT_EQ(manager->getGPSLatitudeRef(), expected.value(QStringLiteral("GPS:GPSLatitudeRef")).toString());
        } else {
            EXPECT_FALSE(manager->getGPSLatitudeDecimalValue(degree, minutes, seconds));
        }
    }
}

} // namespace
