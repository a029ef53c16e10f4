#include "models/TAVImageObject.h"

#include "ImageImportTest.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/QtPrinters.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

class TimeShiftTest : public ImageImportTest<FakeUiServices> {
protected:
    static TAVTimeOffsetInfo hours(int count)
    {
        TAVTimeOffsetInfo shift;
        shift.setTimeUnit(TAVTimeOffsetInfo::Hour);
        shift.setTimeOffsetNum(count);
        return shift;
    }

    static QString shownDate(const TAVImageObjectPtr& image)
    {
        return image->getValueForKey("Exif.Image.CreateDate", 0) + " " + image->getValueForKey("Summary.CreateTime", 0);
    }
};

} // namespace

// A news photo whose EXIF holds only the date it was last modified: the IPTC
// and XMP capture date is the one shifted, and each twin keeps its form and zone.
TEST_F(TimeShiftTest, ANewsPhotoIsShiftedFromItsCaptureDateAndEachTwinKeepsItsFormAndZone)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const auto image = import("news.jpg",
        {{"Exif.Image.DateTime", "2008:05:10 14:00:00"}, {"Iptc.Application2.DateCreated", "2003-08-30"},
            {"Iptc.Application2.TimeCreated", "10:15:00-07:00"},
            {"Xmp.photoshop.DateCreated", "2003-08-30T10:15:00-07:00"}, {"Xmp.xmp.CreateDate", "2003-08-30"}});
    EXPECT_EQ(shownDate(image), QString("2003-08-30 10:15:00"));

    image->exifData()->setCreatedDateTimeOffset(hours(2));
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2003:08:30 12:15:00"));
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), QString("2003:08:30"));
    EXPECT_EQ(tags.value("IPTC:TimeCreated").toString(), QString("12:15:00-07:00"));
    EXPECT_EQ(tags.value("XMP-photoshop:DateCreated").toString(), QString("2003:08:30 12:15:00-07:00"));
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), QString("2003:08:30"));
    EXPECT_EQ(shownDate(image), QString("2003-08-30 12:15:00"));
    EXPECT_TRUE(ui_.alerts().isEmpty());
}

TEST_F(TimeShiftTest, TheCaptureDateIsTakenInOrderAndTheModificationDateOnlyWhenThereIsNoOther)
{
    const std::pair<QString, QString> modified{"Exif.Image.DateTime", "2008:05:10 14:00:00"};
    EXPECT_EQ(shownDate(import("digitized.jpg",
                  {modified, {"Exif.Photo.DateTimeDigitized", "2004:01:02 03:04:05"},
                      {"Iptc.Application2.DateCreated", "2003-08-30"}})),
        QString("2004-01-02 03:04:05"));
    // A blanked DateTimeOriginal hides nothing behind it.
    EXPECT_EQ(shownDate(import("blank.jpg",
                  {modified, {"Exif.Photo.DateTimeOriginal", "    :  :     :  :  "},
                      {"Iptc.Application2.DateCreated", "2003-08-30"}})),
        QString("2003-08-30 00:00:00"));
    EXPECT_EQ(shownDate(import("xmp.jpg", {modified, {"Xmp.xmp.CreateDate", "2001-02-03T04:05Z"}})),
        QString("2001-02-03 04:05:00"));
    EXPECT_EQ(shownDate(import("xmpyear.jpg", {modified, {"Xmp.photoshop.DateCreated", "2001"}})),
        QString("2008-05-10 14:00:00"));
    EXPECT_EQ(shownDate(import("modified.jpg", {modified})), QString("2008-05-10 14:00:00"));
}

TEST_F(TimeShiftTest, ASecondDateTimeOriginalInTheFirstDirectoryMovesWithTheStandardOne)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const auto image = import("twice.jpg",
        {{"Exif.Image.DateTimeOriginal", "2015:03:01 08:00:00"}, {"Exif.Photo.DateTimeOriginal", "2015:03:01 08:00:00"},
            {"Xmp.xmp.CreateDate", "2015-03-01T08:00:00.25+01:00"}});
    image->exifData()->setCreatedDateTimeOffset(hours(1));
    ASSERT_TRUE(image->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IFD0:DateTimeOriginal").toString(), QString("2015:03:01 09:00:00"));
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2015:03:01 09:00:00"));
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), QString("2015:03:01 09:00:00.25+01:00"));

    // A cleared date takes the second one too.
    image->exifData()->setValue("", "Exif.Image.CreateDate", 0, false, false, true);
    image->exifData()->setValue("", "Summary.CreateTime", 0, false, false, true);
    ASSERT_TRUE(image->saveMetadataToImage());
    tags = ExifTool::read(image->srcPath());
    EXPECT_FALSE(tags.contains("IFD0:DateTimeOriginal"));
    EXPECT_FALSE(tags.contains("ExifIFD:DateTimeOriginal"));
}

TEST_F(TimeShiftTest, PhotosWithoutADateAreNamedInOneAlertAndLoseTheirUnsavedState)
{
    const auto dated = import("dated.jpg", {{"Exif.Photo.DateTimeOriginal", "2015:03:01 08:00:00"}});
    const auto first = import("first.jpg", {{"Exif.Image.Artist", "Ann"}});
    const auto second = import("second.jpg", {{"Exif.Image.Artist", "Bob"}});
    {
        TAVImageObject::ChangedFilesAlert loop;
        for (const auto& image : {dated, first, second}) {
            TAVExifData setting;
            setting.setCreatedDateTimeOffset(hours(1));
            image->exifData()->applyChangeValueFromExifData(setting);
            ASSERT_EQ(image->exifData()->enuModifyState(), TAVExifData::StateModified);
        }
        // The second photo has an edit besides the shift: that edit is saved.
        second->exifData()->setValue("Cy", "Exif.Image.Artist", 0, false, false, true);
        for (const auto& image : {dated, first, second})
            EXPECT_TRUE(image->saveMetadataToImage());
        EXPECT_TRUE(ui_.alerts().isEmpty());
    }
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().message,
        QString("These photos have no date to shift and were left as they were: first.jpg, second.jpg"));
    EXPECT_EQ(dated->exifData()->enuModifyState(), TAVExifData::StateSaved);
    EXPECT_EQ(first->exifData()->enuModifyState(), TAVExifData::StateUnchanged);
    EXPECT_EQ(first->getImageForImageState(), QString());
    EXPECT_EQ(second->exifData()->enuModifyState(), TAVExifData::StateSaved);
    EXPECT_FALSE(first->exifData()->createdDateTimeOffset().has_value());
    EXPECT_EQ(shownDate(first), QString(" "));
    EXPECT_EQ(second->getValueForKey("Exif.Image.Artist", 0), QString("Cy"));

    // Outside a loop the alert comes at once.
    const auto alone = import("alone.jpg", {});
    alone->exifData()->setCreatedDateTimeOffset(hours(1));
    EXPECT_TRUE(alone->saveMetadataToImage());
    ASSERT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(ui_.alerts().last().message, QString("The photo has no date to shift and was left as it was: alone.jpg"));
}
