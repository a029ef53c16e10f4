// The photographer and the copyright of a photo that holds IPTC are kept in
// step in EXIF, XMP and IPTC.
#include "models/image/TAVImageObject.h"

#include "models/image/ImageImportTest.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

namespace {

class IptcCreditTwinsTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    // A second By-line dataset, as files naming two photographers have it.
    static void addByline(const QString& path, const char* name)
    {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        Exiv2::StringValue value(name);
        image->iptcData().add(Exiv2::IptcKey("Iptc.Application2.Byline"), &value);
        image->writeMetadata();
    }

    static void setCredits(const TAVImageObjectPtr& image, const QString& artist, const QString& copyright)
    {
        image->exifData()->setValue(artist, "Exif.Image.Artist", 0, false, false, true);
        image->exifData()->setValue(copyright, "Exif.Image.Copyright", 0, false, false, true);
    }
};

} // namespace

// The By-lines and XMP's creators name the photographers of the Artist tag:
// each is a copy of it, and the edit replaces every one.
TEST_F(IptcCreditTwinsTest, PhotographerAndCopyrightReplaceEveryIptcByLineAndTheNotice)
{
    const QString user = tempPath("user/two.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user,
        {{"Exif.Image.Artist", "Old One; Old Two", std::nullopt}, {"Iptc.Application2.Byline", "Old One", std::nullopt},
            {"Iptc.Application2.Copyright", "(c) Old", std::nullopt}, {"Xmp.dc.creator", "Old One", std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::writeTags(user, {{"Xmp.dc.creator", "Old Two", std::nullopt}}));
    addByline(user, "Old Two");
    const auto image = openWorkingCopy(user);

    setCredits(image, "Ann Ander", "(c) 2026 Ann Ander");
    ASSERT_TRUE(image->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Ann Ander"));
    EXPECT_EQ(tags.value("IPTC:By-line").toVariant(), QVariant("Ann Ander"));
    EXPECT_EQ(tags.value("IPTC:CopyrightNotice").toString(), QString("(c) 2026 Ann Ander"));
    EXPECT_EQ(tags.value("XMP-dc:Creator").toVariant().toStringList(), QStringList{"Ann Ander"});

    // Emptied fields leave no old name behind in IPTC either.
    setCredits(image, "", "");
    ASSERT_TRUE(image->saveMetadataToImage());
    tags = ExifTool::read(image->srcPath());
    EXPECT_FALSE(tags.contains("IPTC:By-line"));
    EXPECT_FALSE(tags.contains("IPTC:CopyrightNotice"));
}

TEST_F(IptcCreditTwinsTest, IptcIsWrittenOnlyIntoFilesThatHoldIt)
{
    const auto withIptc = import("keywords.jpg", {{"Iptc.Application2.Keywords", "harbour"}});
    setCredits(withIptc, "Ann", "(c) Ann");
    ASSERT_TRUE(withIptc->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(withIptc->srcPath());
    EXPECT_EQ(tags.value("IPTC:By-line").toString(), QString("Ann"));
    EXPECT_EQ(tags.value("IPTC:CopyrightNotice").toString(), QString("(c) Ann"));
    EXPECT_EQ(tags.value("IPTC:Keywords").toString(), QString("harbour"));

    const auto exifOnly = import("exif.jpg", {{"Exif.Image.Make", "Canon"}});
    setCredits(exifOnly, "Ann", "(c) Ann");
    ASSERT_TRUE(exifOnly->saveMetadataToImage());
    tags = ExifTool::read(exifOnly->srcPath());
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Ann"));
    for (auto it = tags.begin(); it != tags.end(); ++it)
        EXPECT_FALSE(it.key().startsWith("IPTC:")) << qPrintable(it.key());
}

// IPTC keeps a photographer's name to 32 bytes and a copyright notice to 128:
// the twins are cut there, on a character boundary, while EXIF and XMP keep
// the whole text.
TEST_F(IptcCreditTwinsTest, TheIptcTwinsStayWithinTheirDatasetsLengths)
{
    const auto image = import("long.jpg", {{"Iptc.Application2.Keywords", "harbour"}});
    const QString artist = QString("Ännchen ") + QString(40, QLatin1Char('x'));
    const QString copyright = QString("© ") + QString(150, QLatin1Char('y'));
    setCredits(image, artist, copyright);
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), artist);
    const QString byline = tags.value("IPTC:By-line").toString();
    EXPECT_LE(byline.toUtf8().size(), 32);
    EXPECT_TRUE(artist.startsWith(byline)) << byline.toStdString();
    EXPECT_GE(byline.size(), 20);
    const QString notice = tags.value("IPTC:CopyrightNotice").toString();
    EXPECT_LE(notice.toUtf8().size(), 128);
    EXPECT_TRUE(copyright.startsWith(notice)) << notice.toStdString();
    EXPECT_GE(notice.size(), 100);
}
