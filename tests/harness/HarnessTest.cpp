// The test harness itself: the offscreen application, the private folders and
// the image fixtures that later tests build on, checked against exiftool.
#include "foundation/AppInfo.h"
#include "support/ExifTool.h"
#include "support/Gallery.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include <gtest/gtest.h>

using ImageFixtures::Tag;

TEST(Harness, OffscreenApplicationWithPrivateFolders)
{
    ASSERT_NE(qApp, nullptr);
    EXPECT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));

    QWidget widget;
    widget.show();
    EXPECT_TRUE(widget.isVisible());

    const QString realHome = QString::fromLocal8Bit(qgetenv("HOME"));
    EXPECT_TRUE(realHome.contains(QStringLiteral("lumetta-test-home")));
    EXPECT_TRUE(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).startsWith(realHome));
    QSettings settings;
    EXPECT_TRUE(settings.fileName().startsWith(realHome)) << settings.fileName().toStdString();
}

TEST(Harness, AppInfoIsCompiledInWithEmptyEndpoints)
{
    EXPECT_FALSE(AppInfo::bundleIdentifier().isEmpty());
    EXPECT_FALSE(AppInfo::version().isEmpty());
    EXPECT_TRUE(AppInfo::builtIn().value(QStringLiteral("Kitbase")).isObject());
    EXPECT_TRUE(AppInfo::mapServiceEndpoint(QStringLiteral("TileURL")).isEmpty());
    qputenv("LUMETTA_TILEURL", "http://127.0.0.1:9/{z}/{x}/{y}.png");
    EXPECT_EQ(
        AppInfo::mapServiceEndpoint(QStringLiteral("TileURL")), QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    qputenv("LUMETTA_TILEURL", "");
}

class ImageFixturesTest : public TempFolderTest { };

TEST_F(ImageFixturesTest, JpegWithExifIptcAndXmpReadsBackInExiftool)
{
    ASSERT_TRUE(ExifTool::available());
    const QString path = tempPath(QStringLiteral("tagged.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(path,
        {
            {QStringLiteral("Exif.Image.Make"), QStringLiteral("Canon"), std::nullopt},
            {QStringLiteral("Exif.Image.Model"), QStringLiteral("Canon EOS 5D"), std::nullopt},
            {QStringLiteral("Exif.Photo.DateTimeOriginal"), QStringLiteral("2021:07:04 10:11:12"), std::nullopt},
            {QStringLiteral("Exif.Photo.FNumber"), QStringLiteral("28/10"), std::nullopt},
            {QStringLiteral("Iptc.Application2.Caption"), QStringLiteral("Harbour at dusk"), std::nullopt},
            {QStringLiteral("Xmp.dc.title"), QStringLiteral("lang=x-default Harbour"), std::nullopt},
        },
        QSize(80, 60)));
    ASSERT_TRUE(ImageFixtures::writeKeywords(path, {QStringLiteral("sea"), QStringLiteral("sun")}));

    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Make")).toString(), QStringLiteral("Canon"));
    EXPECT_EQ(tags.value(QStringLiteral("IFD0:Model")).toString(), QStringLiteral("Canon EOS 5D"));
    EXPECT_EQ(tags.value(QStringLiteral("ExifIFD:DateTimeOriginal")).toString(), QStringLiteral("2021:07:04 10:11:12"));
    EXPECT_DOUBLE_EQ(tags.value(QStringLiteral("ExifIFD:FNumber")).toDouble(), 2.8);
    EXPECT_EQ(tags.value(QStringLiteral("IPTC:Caption-Abstract")).toString(), QStringLiteral("Harbour at dusk"));
    EXPECT_EQ(tags.value(QStringLiteral("IPTC:Keywords")).toArray(),
        QJsonArray({QStringLiteral("sea"), QStringLiteral("sun")}));
    EXPECT_EQ(tags.value(QStringLiteral("XMP-dc:Title")).toString(), QStringLiteral("Harbour"));
    EXPECT_EQ(tags.value(QStringLiteral("File:ImageWidth")).toInt(), 80);
    EXPECT_TRUE(ExifTool::warnings(path).isEmpty()) << ExifTool::warnings(path).join(QLatin1Char('\n')).toStdString();
}

TEST_F(ImageFixturesTest, MakerWritesRealMakerNotes)
{
    const QString path = tempPath(QStringLiteral("nikon.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(path,
        {
            {QStringLiteral("Exif.Image.Make"), QStringLiteral("NIKON CORPORATION"), std::nullopt},
            {QStringLiteral("Exif.Nikon3.Quality"), QStringLiteral("FINE"), std::nullopt},
        }));
    const QJsonObject tags = ExifTool::read(path);
    EXPECT_EQ(tags.value(QStringLiteral("Nikon:Quality")).toString().toUpper(), QStringLiteral("FINE"));
}

TEST_F(ImageFixturesTest, PngAndTiffCanBeMadeAndTagged)
{
    for (const QString& name : {QStringLiteral("a.png"), QStringLiteral("a.tif")}) {
        const QString path = tempPath(name);
        ASSERT_TRUE(ImageFixtures::makeImageWithTags(path,
            {
                {QStringLiteral("Exif.Image.Artist"), QStringLiteral("Ann"), std::nullopt},
            },
            QSize(32, 16)))
            << name.toStdString();
        EXPECT_EQ(QImageReader(path).size(), QSize(32, 16)) << name.toStdString();
        EXPECT_EQ(ExifTool::read(path).value(QStringLiteral("IFD0:Artist")).toString(), QStringLiteral("Ann"))
            << name.toStdString();
    }
}

TEST_F(ImageFixturesTest, RefusesKeysTheLibraryDoesNotKnow)
{
    const QString path = tempPath(QStringLiteral("bad.jpg"));
    ASSERT_TRUE(ImageFixtures::makeImage(path));
    EXPECT_FALSE(
        ImageFixtures::writeTags(path, {{QStringLiteral("Exif.Image.NoSuchTag"), QStringLiteral("1"), std::nullopt}}));
    EXPECT_FALSE(
        ImageFixtures::writeTags(path, {{QStringLiteral("Exif.Photo.FNumber"), QStringLiteral("2.8"), std::nullopt}}));
}

TEST(Harness, GalleryWritesPicturesAndRefusesBlankOnes)
{
    QWidget blank;
    blank.resize(40, 30);
    blank.setStyleSheet(QStringLiteral("background: white"));
    EXPECT_FALSE(Gallery::capture(&blank, QStringLiteral("harness-blank")));

    QWidget drawn;
    drawn.resize(40, 30);
    drawn.setStyleSheet(QStringLiteral("background: white"));
    auto* label = new QLabel(QStringLiteral("Lumetta"), &drawn);
    label->move(2, 2);
    EXPECT_TRUE(Gallery::capture(&drawn, QStringLiteral("harness-drawn")));
    EXPECT_TRUE(QFileInfo::exists(QDir(Gallery::folder()).filePath(QStringLiteral("harness-drawn.png"))));
}
