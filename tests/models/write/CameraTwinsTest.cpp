// Edits of values that real camera files and photo tools keep twice: the
// twin the file already holds follows the edit, read back by exiftool.
#include "models/image/TAVImageObject.h"

#include "models/tables/TAVKeyLists.h"

#include "models/write/CameraFileSaveTest.h"
#include "support/ExifTool.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

class CameraTwinsTest : public CameraFileSaveTest {
protected:
    static void editField(const TAVImageObjectPtr& image, const QString& key, const QString& value)
    {
        image->exifData()->setValue(value, key, TAVKeyLists::categoryOfKey(key), false, false, true);
    }

    static void save(const TAVImageObjectPtr& image)
    {
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    }
};

} // namespace

// A photo editor's file that states the exposure bias in XMP too: an edit
// of it, in any form the field takes, reaches both. A file without the XMP
// twin is given none.
TEST_F(CameraTwinsTest, TheExposureBiasInXmpFollowsTheEdit)
{
    const QString user = ImageFixtures::copySample("npm-nikon-d90-photometric.jpg", tempPath("user"));
    ASSERT_TRUE(ImageFixtures::writeTags(user, {{"Xmp.exif.ExposureBiasValue", "-1/3", std::nullopt}}));
    const auto image = openWorkingCopy(user);
    const QString bias = "Exif.Photo.ExposureBiasValue";
    for (const auto& [entered, expected] : {std::pair{"2/3", "+2/3"}, {"-2/6", "-1/3"}}) {
        editField(image, bias, entered);
        save(image);
        const QJsonObject tags = ExifTool::read(user);
        EXPECT_EQ(tags.value("ExifIFD:ExposureCompensation").toVariant().toString(), QString(expected)) << entered;
        EXPECT_EQ(tags.value("XMP-exif:ExposureCompensation").toVariant().toString(), QString(expected)) << entered;
    }
    const auto plain = importSample("npm-canon-s40.jpg");
    editField(plain, bias, "1/3");
    save(plain);
    const QJsonObject tags = ExifTool::read(plain->srcPath());
    EXPECT_EQ(tags.value("ExifIFD:ExposureCompensation").toVariant().toString(), QString("+1/3"));
    EXPECT_FALSE(tags.contains("XMP-exif:ExposureCompensation"));
}

// A Windows photo tool keeps the keywords in XMP, in an XP tag and in its
// own XMP schema: a keyword edit leaves all of them holding the new list,
// and an emptied list leaves none of them.
TEST_F(CameraTwinsTest, WindowsKeywordsFollowTheEdit)
{
    const auto image = importSample("npm-windows-xmp.jpg");
    const QString keywords = "Iptc.Application2.Keywords";
    const auto expectEverywhere = [&](const QStringList& words) {
        const QJsonObject tags = ExifTool::read(image->srcPath());
        EXPECT_EQ(tags.value("IPTC:Keywords").toVariant().toStringList(), words);
        EXPECT_EQ(tags.value("XMP-dc:Subject").toVariant().toStringList(), words);
        EXPECT_EQ(tags.value("XMP-microsoft:LastKeywordXMP").toVariant().toStringList(), words);
        EXPECT_EQ(tags.value("IFD0:XPKeywords").toString(), words.join(';'));
    };
    // The list typed over the old one, as the Summary tab's keyword field
    // does when told to replace.
    image->exifData()->setValue("harbour, Lübeck", keywords, 0, true, true, true);
    save(image);
    expectEverywhere({"harbour", QString::fromUtf8("Lübeck")});

    editField(image, keywords, "");
    save(image);
    const QJsonObject tags = ExifTool::read(image->srcPath());
    for (const char* tag : {"IPTC:Keywords", "XMP-dc:Subject", "XMP-microsoft:LastKeywordXMP", "IFD0:XPKeywords"})
        EXPECT_FALSE(tags.contains(tag)) << tag;
}

// A camera file that names when it was digitised in IPTC, day and time
// apart: a date edit moves them with the others, in the file's forms.
TEST_F(CameraTwinsTest, TheIptcDigitisationDateFollowsADateEdit)
{
    const auto image = importSample("gowebp-pentax.jpg");
    editField(image, TAVKeyLists::createDateKey(), "2019-05-04");
    editField(image, TAVKeyLists::createTimeKey(), "16:07:09");
    save(image);
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2019:05:04 16:07:09"));
    EXPECT_EQ(tags.value("IPTC:DigitalCreationDate").toString(), QString("2019:05:04"));
    EXPECT_EQ(tags.value("IPTC:DigitalCreationTime").toString(), QString("16:07:09"));
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), QString("2019:05:04"));
}
