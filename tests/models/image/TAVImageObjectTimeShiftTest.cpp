#include "models/image/TAVImageObject.h"

#include "models/image/ImageImportTest.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/FileSizeLimit.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QJsonObject>

#include <ctime>
#include <functional>

#include <exiv2/exiv2.hpp>
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

    // Changes the file's bytes in place, as another program would.
    static void rewrite(const QString& path, const std::function<void(QByteArray&)>& change)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        change(bytes);
        file.seek(0);
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    static TAVTimeOffsetInfo days(int count, int hours = 0)
    {
        TAVTimeOffsetInfo shift = TimeShiftTest::hours(hours);
        shift.setDateUnit(TAVTimeOffsetInfo::Day);
        shift.setDateOffsetNum(count);
        return shift;
    }

    // A copy of a camera sample in "user/" without the dates the test takes
    // away and with those it gives.
    QString sampleDatedBy(const QString& sample, const QString& name, const QStringList& erased,
        const std::vector<ImageFixtures::Tag>& added = {})
    {
        const QString user = ImageFixtures::copySample(sample, tempPath("user"), name);
        EXPECT_TRUE(ImageFixtures::eraseTags(user, erased));
        if (!added.empty()) {
            EXPECT_TRUE(ImageFixtures::writeTags(user, added));
        }
        return user;
    }

    // Shifts the photo at `user` and saves it: its dates as exiftool reads
    // them, before and after.
    std::pair<QMap<QString, QString>, QMap<QString, QString>> shiftAndSave(
        const QString& user, const TAVTimeOffsetInfo& shift)
    {
        const QMap<QString, QString> before = ExifTool::dates(user);
        const auto image = openWorkingCopy(user);
        image->exifData()->setCreatedDateTimeOffset(shift);
        EXPECT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        return {before, ExifTool::dates(user)};
    }

    static QString shownDate(const TAVImageObjectPtr& image)
    {
        return image->getValueForKey("Exif.Image.CreateDate", 0) + " " + image->getValueForKey("Summary.CreateTime", 0);
    }
};

const QStringList kExifDates{"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"};

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
    EXPECT_FALSE(tags.contains("ExifIFD:DateTimeOriginal"));
    EXPECT_FALSE(tags.contains("ExifIFD:CreateDate"));
    EXPECT_EQ(tags.value("IFD0:ModifyDate").toString(), QString("2008:05:10 16:00:00"));
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

// Every date the file holds moves by the shift from its own value: an XMP
// creation date apart from the capture date, the modification date and its
// XMP twin are never given the capture date; an IPTC time without a zone
// keeps having none, one with a zone keeps it.
TEST_F(TimeShiftTest, EachDateTwinMovesFromItsOwnValueInItsOwnForm)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString user = ImageFixtures::copySample("gowebp-pentax.jpg", tempPath("user"));
    // A creation date of its own, as the checked files had it, put in place
    // of the packet's own (same length: nothing else moves).
    rewrite(user, [](QByteArray& bytes) {
        const QByteArray own("CreateDate=\"2017-10-27T08:38:52\"");
        ASSERT_EQ(bytes.count(own), 1);
        bytes.replace(own, QByteArray("CreateDate=\"2017-10-29T16:30:05\""));
    });
    const auto pentax = openWorkingCopy(user);
    pentax->exifData()->setCreatedDateTimeOffset(hours(1));
    ASSERT_TRUE(pentax->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2017:10:27 09:38:52"));
    EXPECT_EQ(tags.value("IFD0:ModifyDate").toString(), QString("2017:11:23 10:56:54"));
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), QString("2017:10:29 17:30:05"));
    EXPECT_EQ(tags.value("XMP-xmp:ModifyDate").toString(), QString("2017:11:23 10:56:54+01:00"));
    EXPECT_EQ(tags.value("XMP-photoshop:DateCreated").toString(), QString("2017:10:27 09:38:52"));
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), QString("2017:10:27"));
    EXPECT_EQ(tags.value("IPTC:TimeCreated").toString(), QString("09:38:52"));
    EXPECT_EQ(tags.value("IPTC:DigitalCreationTime").toString(), QString("09:38:52"));
    EXPECT_EQ(shownDate(pentax), QString("2017-10-27 09:38:52"));

    // Across midnight the IPTC date moves with its time; the zone stays.
    const auto d90 = importSample("npm-nikon-d90-photometric.jpg");
    d90->exifData()->setCreatedDateTimeOffset(hours(12));
    ASSERT_TRUE(d90->saveMetadataToImage());
    tags = ExifTool::read(d90->srcPath());
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2011:08:16 00:24:54"));
    EXPECT_EQ(tags.value("IFD0:ModifyDate").toString(), QString("2016:01:22 04:14:43"));
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), QString("2011:08:16"));
    EXPECT_EQ(tags.value("IPTC:TimeCreated").toString(), QString("00:24:54+00:00"));
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), QString("2011:08:16 00:24:54"));

    // A date the user typed is the date every twin gets.
    d90->exifData()->setValue("2012-01-02", "Exif.Image.CreateDate", 0, true, true, true);
    ASSERT_TRUE(d90->saveMetadataToImage());
    tags = ExifTool::read(d90->srcPath());
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2012:01:02 00:24:54"));
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), QString("2012:01:02 00:24:54"));
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), QString("2012:01:02"));
}

// A JPEG's IPTC is the one its Photoshop segments hold: bytes elsewhere in
// its header that look like an IPTC time with a zone (a comment before them)
// give neither of the file's zoneless times a zone.
TEST_F(TimeShiftTest, AnIptcTimeOutsideThePhotoshopSegmentsIsNotTheFiles)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString user = ImageFixtures::copySample("gowebp-pentax.jpg", tempPath("user"));
    rewrite(user, [](QByteArray& bytes) {
        const QByteArray lookalike = QByteArray("\x1c\x02\x3c\x00\x0b", 5) + "083852+0200";
        bytes.insert(2, QByteArray("\xff\xfe\x00", 3) + char(2 + lookalike.size()) + lookalike);
    });
    const auto pentax = openWorkingCopy(user);
    pentax->exifData()->setCreatedDateTimeOffset(hours(1));
    ASSERT_TRUE(pentax->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:TimeCreated").toString(), QString("09:38:52"));
    EXPECT_EQ(tags.value("IPTC:DigitalCreationTime").toString(), QString("09:38:52"));
}

// "Also set the file's creation date": a capture time without a zone is the
// photographer's local time, as file managers and exiftool read it.
TEST_F(TimeShiftTest, TheFileDateIsTheCaptureTimeReadAsLocalTime)
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "America/New_York");
    tzset();
    const auto image = importSample("npm-canon-s40.jpg");
    image->exifData()->setIsApplyToFileCreatedDateTime(true);
    image->exifData()->setCreatedDateTimeOffset(hours(1));
    const bool saved = image->saveMetadataToImage();
    // In UTC before the zone goes back: a local date is kept as a wall clock.
    const QDateTime modified = FileServices::modificationDate(image->srcPath()).toUTC();
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
    ASSERT_TRUE(saved);
    // 13:01:44 in New York (EST, UTC-5) is 18:01:44 UTC.
    EXPECT_EQ(modified, QDateTime(QDate(2003, 12, 14), QTime(18, 1, 44), Qt::UTC))
        << qPrintable(modified.toString(Qt::ISODate));
}

// Camera photos holding some of EXIF's three dates: the shift moves those
// each holds, sub-seconds, zones and GPS stamps staying as they stand, and
// gives none the ones it lacks. A date that does not read (an hour 25, a
// blanked one) is kept as it is.
TEST_F(TimeShiftTest, AShiftMovesTheExifDatesAPhotoHoldsAndAddsNone)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    // A Nikon photo left with its capture date alone.
    const QString nikon = sampleDatedBy("npm-nikon-d90-photometric.jpg", "nikon.jpg",
        {"Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime", "Iptc.Application2.DateCreated",
            "Iptc.Application2.TimeCreated", "Xmp.xmp.CreateDate", "Xmp.xmp.ModifyDate", "Xmp.xmp.MetadataDate",
            "Xmp.photoshop.DateCreated"});
    auto [before, after] = shiftAndSave(nikon, hours(2));
    ASSERT_EQ(before.value("ExifIFD:DateTimeOriginal"), QString("2011:08:15 12:24:54"));
    before.insert("ExifIFD:DateTimeOriginal", "2011:08:15 14:24:54");
    EXPECT_EQ(after, before);

    // An iPhone photo without its capture date.
    const QString iphone = sampleDatedBy("npm-iphone6p.jpg", "iphone.jpg", {"Exif.Photo.DateTimeOriginal"});
    std::tie(before, after) = shiftAndSave(iphone, days(1));
    ASSERT_TRUE(before.contains("ExifIFD:SubSecTimeOriginal"));
    ASSERT_TRUE(before.contains("GPS:GPSDateStamp"));
    before.insert("ExifIFD:CreateDate", "2016:03:25 14:49:51");
    before.insert("IFD0:ModifyDate", "2016:03:25 14:49:51");
    EXPECT_EQ(after, before);

    // A Canon photo whose digitized date does not read and whose modify
    // date was blanked.
    const QString canon = sampleDatedBy("npm-canon-s40.jpg", "canon.jpg", {},
        {{"Exif.Photo.DateTimeDigitized", "2003:12:14 25:01:44", std::nullopt},
            {"Exif.Image.DateTime", "    :  :     :  :  ", std::nullopt}});
    std::tie(before, after) = shiftAndSave(canon, hours(2));
    before.insert("ExifIFD:DateTimeOriginal", "2003:12:14 14:01:44");
    EXPECT_EQ(after, before);
}

// A shifted photo whose save failed (a full disk) keeps its file as it was:
// the retry moves the dates the file holds once and still adds none, while a
// date the user types before it is a typed date, which every twin takes.
TEST_F(TimeShiftTest, AShiftRetriedAfterAFailedSaveIsStillAShiftUntilADateIsTyped)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QStringList erased{"Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime", "Iptc.Application2.DateCreated",
        "Iptc.Application2.TimeCreated", "Xmp.xmp.CreateDate", "Xmp.xmp.ModifyDate", "Xmp.xmp.MetadataDate",
        "Xmp.photoshop.DateCreated"};
    const auto retried = openWorkingCopy(sampleDatedBy("npm-nikon-d90-photometric.jpg", "retried.jpg", erased));
    const auto typed = openWorkingCopy(sampleDatedBy("npm-nikon-d90-photometric.jpg", "typed.jpg", erased));
    for (const auto& image : {retried, typed}) {
        image->exifData()->setCreatedDateTimeOffset(hours(2));
        const FileSizeLimit fullDisk(4096);
        ASSERT_TRUE(fullDisk.isActive());
        EXPECT_FALSE(image->saveMetadataToImage());
    }
    typed->exifData()->setValue("2012-01-02", "Exif.Image.CreateDate", 0, true, true, true);
    for (const auto& image : {retried, typed})
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());

    QMap<QString, QString> dates = ExifTool::dates(retried->srcPath());
    EXPECT_EQ(dates.value("ExifIFD:DateTimeOriginal"), QString("2011:08:15 14:24:54"));
    EXPECT_FALSE(dates.contains("ExifIFD:CreateDate"));
    EXPECT_FALSE(dates.contains("IFD0:ModifyDate"));
    dates = ExifTool::dates(typed->srcPath());
    EXPECT_EQ(dates.value("ExifIFD:DateTimeOriginal"), QString("2012:01:02 14:24:54"));
    EXPECT_EQ(dates.value("ExifIFD:CreateDate"), QString("2012:01:02 14:24:54"));
}

// A photo whose only capture date is IPTC's, at midnight, beside an XMP
// creation date of another day: the IPTC times and the XMP date move, each
// in its form, and EXIF gains no date. A day alone stays a day alone, and a
// pair whose day does not read is kept as it is.
TEST_F(TimeShiftTest, APhotoDatedInIptcAloneGainsNoExifDate)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString midnight = sampleDatedBy("npm-canon-s40.jpg", "midnight.jpg", kExifDates,
        {{"Iptc.Application2.DateCreated", "2009-06-13", std::nullopt},
            {"Iptc.Application2.TimeCreated", "00:00:00+00:00", std::nullopt},
            {"Iptc.Application2.DigitizationDate", "2009-06-13", std::nullopt},
            {"Iptc.Application2.DigitizationTime", "00:00:00+00:00", std::nullopt},
            {"Xmp.xmp.CreateDate", "2009-06-12T16:30:00", std::nullopt}});
    auto [before, after] = shiftAndSave(midnight, hours(2));
    before.insert("IPTC:TimeCreated", "02:00:00+00:00");
    before.insert("IPTC:DigitalCreationTime", "02:00:00+00:00");
    before.insert("XMP-xmp:CreateDate", "2009:06:12 18:30:00");
    EXPECT_EQ(after, before);

    const QString day = sampleDatedBy("npm-canon-s40.jpg", "day.jpg", kExifDates,
        {{"Iptc.Application2.DateCreated", "2009-06-13", std::nullopt},
            {"Xmp.photoshop.DateCreated", "2009-06-13", std::nullopt}});
    std::tie(before, after) = shiftAndSave(day, days(1, 2));
    before.insert("IPTC:DateCreated", "2009:06:14");
    before.insert("XMP-photoshop:DateCreated", "2009:06:14");
    EXPECT_EQ(after, before);

    const QString damaged = sampleDatedBy("npm-canon-s40.jpg", "damaged.jpg", kExifDates,
        {{"Iptc.Application2.DateCreated", "2009-0613", int(Exiv2::string)},
            {"Iptc.Application2.TimeCreated", "23:00:00+00:00", std::nullopt},
            {"Iptc.Application2.DigitizationDate", "2009-06-13", std::nullopt},
            {"Iptc.Application2.DigitizationTime", "23:00:00+00:00", std::nullopt},
            {"Xmp.xmp.CreateDate", "2009-06-13T23:00:00", std::nullopt}});
    std::tie(before, after) = shiftAndSave(damaged, hours(2));
    before.insert("IPTC:DigitalCreationDate", "2009:06:14");
    before.insert("IPTC:DigitalCreationTime", "01:00:00+00:00");
    before.insert("XMP-xmp:CreateDate", "2009:06:14 01:00:00");
    EXPECT_EQ(after, before);
}

// A photo whose dates are only in XMP, where xmp:CreateDate (a later export)
// disagrees with XMP's copy of the capture date: the capture date is the one
// shifted, each XMP date moves from its own value in its own form, and EXIF
// gains no date.
TEST_F(TimeShiftTest, APhotoDatedInXmpAloneGainsNoExifDate)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const QString user = sampleDatedBy("npm-canon-s40.jpg", "xmp.jpg", kExifDates);
    ASSERT_TRUE(ImageFixtures::writeXmpPacket(user,
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
        "xmlns:exif='http://ns.adobe.com/exif/1.0/' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
        "xmp:CreateDate='2008-07-02T11:30:00' xmp:ModifyDate='2008-07-03' "
        "tiff:DateTime='2008-07-03T09:00:00+02:00' exif:DateTimeOriginal='2006-05-01T10:00:00'/>"
        "</rdf:RDF></x:xmpmeta>"));
    ASSERT_FALSE(ExifTool::read(user).contains("ExifIFD:DateTimeOriginal"));

    auto [before, after] = shiftAndSave(user, hours(1));
    before.insert("XMP-exif:DateTimeOriginal", "2006:05:01 11:00:00");
    before.insert("XMP-xmp:CreateDate", "2008:07:02 12:30:00");
    before.insert("XMP-tiff:DateTime", "2008:07:03 10:00:00+02:00");
    EXPECT_EQ(after, before);
}
