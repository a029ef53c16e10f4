#include "models/image/TAVImageObject.h"

#include "foundation/DateServices.h"
#include "foundation/Dispatch.h"
#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"
#include "models/tables/TAVCVSParaser.h"
#include "models/write/TAVMetadataWritterMgr.h"

#include "models/image/ImageImportTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/Patience.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>

#include <exiv2/exiv2.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

using ImageFixtures::Tag;

namespace {

// The fake user: answers alerts and hears the image object's notices, noting
// any of them that arrives off the GUI thread.
class GuiThreadWitness : public FakeUiServices, public TAVImageObjectProtocol {
public:
    int runAlert(const AlertRequest& request) override
    {
        offGuiThread = offGuiThread || !Dispatch::isMainThread();
        return FakeUiServices::runAlert(request);
    }
    void imageObjectHasModified(TAVImageObject*) override { note(modified); }
    void imageObjectFinishSave(TAVImageObject*) override { note(finished); }

    std::atomic<int> modified = 0;
    std::atomic<int> finished = 0;
    std::atomic<bool> offGuiThread = false;

private:
    void note(std::atomic<int>& count)
    {
        offGuiThread = offGuiThread || !Dispatch::isMainThread();
        ++count;
    }
};

// Makes the user's file impossible (or again possible) to replace: the
// immutable flag where the process may set it (root), else a read-only folder.
bool setReplaceable(const QString& path, bool replaceable)
{
    if (::geteuid() != 0) {
        const auto write = replaceable ? QFileDevice::WriteOwner : QFileDevice::Permissions();
        return QFile::setPermissions(QFileInfo(path).path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | write);
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = replaceable ? (flags & ~FS_IMMUTABLE_FL) : (flags | FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

// The tags of one exiftool group, e.g. a maker note's "Canon".
QJsonObject groupOf(const QJsonObject& tags, const QString& group)
{
    QJsonObject result;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().startsWith(group + ":"))
            result.insert(it.key(), it.value());
    }
    return result;
}

QStringList keysOf(const TAVEntityList& rows)
{
    QStringList keys;
    for (const auto& row : rows)
        keys.append(row->key());
    return keys;
}

qsizetype editableCount(const char* family)
{
    TAVCVSParaser::loadCanEditTags();
    return TAVCVSParaser::tagsByFamily().value(family).size();
}

// An image object without a file whose record holds the given values.
TAVImageObjectPtr withValues(const std::vector<std::tuple<QString, int, QString>>& values)
{
    auto image = TAVImageObject::create();
    for (const auto& [key, category, value] : values)
        image->exifData()->setValue(value, key, category, true, true, true);
    return image;
}

void edit(const TAVImageObjectPtr& image, const QString& key, int category, const QString& value)
{
    image->exifData()->setValue(value, key, category, false, false, true);
}

// Everything a record shows, one line per row and per category entry (read
// and user-set), for comparing two records as a whole.
QStringList recordLines(const TAVExifData& record)
{
    QStringList lines;
    for (const auto& row : record.maryOrgExifData()) {
        lines.append(QStringLiteral("row %1|%2|%3|%4|%5|%6")
                         .arg(row->key(), row->value(), row->dispKey())
                         .arg(row->type())
                         .arg(row->dataType())
                         .arg(row->isGroup()));
    }
    for (const auto* maps : {&record.mdicExifDataInfo(), &record.mdicUserSetExifDataInfo()}) {
        for (auto category = maps->begin(); category != maps->end(); ++category) {
            for (auto entry = category.value().begin(); entry != category.value().end(); ++entry) {
                lines.append(QStringLiteral("%1 %2 %3=%4|%5")
                                 .arg(maps == &record.mdicExifDataInfo() ? "read" : "set", category.key(), entry.key(),
                                     entry.value()->value(), entry.value()->dispKey()));
            }
        }
    }
    return lines;
}

class TAVImageObjectTest : public ImageImportTest<GuiThreadWitness> { };

} // namespace

TEST_F(TAVImageObjectTest, ReadsTheFileIntoRowsAndCategories)
{
    const auto image = import("photo.jpg",
        {{"Exif.Image.Make", "Canon"}, {"Exif.Photo.DateTimeOriginal", "2015:03:01 10:20:30"},
            {"Exif.Photo.FNumber", "28/10"}, {"Exif.Photo.LightSource", "1"}, {"Exif.GPSInfo.GPSLatitudeRef", "S"},
            {"Exif.GPSInfo.GPSLatitude", "37/1 46/1 2900/100"}, {"Iptc.Application2.Caption", "Harbour"},
            {"Xmp.dc.title", "Boats"}});
    const auto record = image->exifData();
    EXPECT_EQ(record->strImagePath(), image->path());
    EXPECT_EQ(record->enuModifyState(), 0);

    EXPECT_EQ(image->getValueForKey("Exif.Image.CreateDate", 0), QString("2015-03-01"));
    EXPECT_EQ(image->getValueForKey("Summary.CreateTime", 0), QString("10:20:30"));
    EXPECT_EQ(image->getValueForKey("Exif.Image.Make", 0), QString("Canon"));
    EXPECT_EQ(image->getValueForKey("Iptc.Application2.Caption", 0), QString("Harbour"));
    EXPECT_FALSE(record->mdicUserSetExifDataInfo().value("summaryDic").contains("Exif.Image.DateTime"));
    EXPECT_EQ(image->getValueForKey("Exif.Photo.FNumber", 1), QString("2.80"));
    EXPECT_EQ(image->getValueForKey("Exif.GPSInfo.GPSLatitude", 2), QString("37/1 46/1 2900/100"));
    EXPECT_EQ(image->getValueForKey("Exif.GPSInfo.GPSLatitudeRef", 2), QString("S"));

    // The other category: every read row not shown on a tab, group rows included.
    const TAVEntityMap other = record->mdicUserSetExifDataInfo().value("other");
    for (const char* key : {"Exif.Photo.LightSource", "Xmp.dc.title", "EXIF", "IPTC", "XMP"})
        EXPECT_TRUE(other.contains(key)) << key;
    for (const char* key : {"Exif.Image.Make", "Exif.Photo.FNumber", "Exif.GPSInfo.GPSLatitude"})
        EXPECT_FALSE(other.contains(key)) << key;
    EXPECT_EQ(other.value("Xmp.dc.title")->value(), QString("Boats"));
}

TEST_F(TAVImageObjectTest, RowListEndsEachSectionWithTheEditableTagsTheFileLacks)
{
    const auto image = import("plain.png", {});
    const TAVEntityList& rows = image->exifData()->maryOrgExifData();
    const QStringList keys = keysOf(rows);
    const qsizetype iptcGroup = keys.indexOf("IPTC");
    ASSERT_EQ(keys.first(), QString("EXIF"));
    ASSERT_EQ(iptcGroup - 1, editableCount("exif"));
    EXPECT_EQ(keys.at(iptcGroup + 1), QString("XMP"));
    EXPECT_EQ(keys.size() - iptcGroup - 2, editableCount("iptc"));
    for (qsizetype i = 1; i < iptcGroup; ++i) {
        EXPECT_TRUE(keys.at(i).startsWith("Exif.")) << qPrintable(keys.at(i));
        EXPECT_EQ(rows.at(i)->value(), QString(""));
    }
    EXPECT_TRUE(keys.last().startsWith("Iptc."));

    // Shown values are empty, the labelled ones "Unknown"; the image size comes from the file itself.
    for (const char* category : {"summaryDic", "exposureDic", "geoDic"}) {
        for (const auto& entity : image->exifData()->mdicUserSetExifDataInfo().value(category)) {
            const QString& key = entity->key();
            if (key == QLatin1String("Summary.ImageSize"))
                EXPECT_TRUE(entity->value().startsWith("64 x 48")) << qPrintable(entity->value());
            else
                EXPECT_EQ(entity->value(), TAVExifData::getClearValue(key)) << qPrintable(key);
        }
    }
}

TEST_F(TAVImageObjectTest, MissingOrAbsentFileGivesEmptyRecords)
{
    const auto missing = TAVImageObject::create(tempPath("gone.jpg"));
    EXPECT_FALSE(missing->fileOrignalCreateDate().isValid());
    EXPECT_FALSE(missing->fileOrignalModifiedDate().isValid());
    const QStringList keys = keysOf(missing->exifData()->maryOrgExifData());
    EXPECT_EQ(keys.indexOf("EXIF"), 0);
    EXPECT_EQ(keys.indexOf("IPTC"), editableCount("exif") + 1);
    EXPECT_EQ(keys.indexOf("XMP"), editableCount("exif") + 2);

    // Without a path: the shown keys with empty values and nothing else.
    const auto empty = TAVImageObject::create();
    EXPECT_TRUE(empty->exifData()->maryOrgExifData().isEmpty());
    const TAVCategoryMaps& maps = empty->exifData()->mdicUserSetExifDataInfo();
    EXPECT_EQ(maps.value("summaryDic").size(), 14);
    EXPECT_EQ(maps.value("exposureDic").size(), 16);
    EXPECT_EQ(maps.value("geoDic").size(), 7);
    EXPECT_TRUE(maps.contains("other") && maps.value("other").isEmpty());
    EXPECT_EQ(empty->getValueForKey("Exif.Photo.Flash", 1), QString(""));
    EXPECT_TRUE(empty->readAllMetadata(1).isEmpty());
}

TEST_F(TAVImageObjectTest, SortComparisonsAreThreeWay)
{
    const auto a = withValues({{"Exif.Photo.ISOSpeedRatings", 1, "200"}, {"Exif.Photo.FNumber", 1, "2.8"},
        {"Exif.Photo.ExposureTime", 1, "1/200"}, {"Exif.Image.Model", 0, "alpha"}});
    const auto b = withValues({{"Exif.Photo.ISOSpeedRatings", 1, "200"}, {"Exif.Photo.FNumber", 1, "f/2.8"},
        {"Exif.Photo.ExposureTime", 1, "1/50"}, {"Exif.Image.Model", 0, "Beta"}});
    // Equal values compare as 0 both ways (a strict weak ordering).
    EXPECT_EQ(a->compareWithObj(*b, "sensitivity"), 0);
    EXPECT_EQ(b->compareWithObj(*a, "Sensitivity"), 0);
    EXPECT_EQ(a->compareWithObj(*b, "aperture"), 0);
    EXPECT_EQ(a->compareWithObj(*b, "CAMERA"), -1);
    EXPECT_EQ(b->compareWithObj(*a, "camera"), 1);
    EXPECT_EQ(a->compareWithObj(*b, "no such key"), 0);
    // Shutter speeds by their value: 1/200 s is shorter than 1/50 s.
    EXPECT_EQ(a->compareWithObj(*b, "shutterspeed"), -1);
    EXPECT_FLOAT_EQ(a->getShutterSpeed(), 0.005f);

    // The greater f-number comes first.
    const auto wide = withValues({{"Exif.Photo.FNumber", 1, "1.4"}});
    EXPECT_EQ(a->compareWithObj(*wide, "aperture"), -1);
    EXPECT_EQ(wide->compareWithObj(*a, "aperture"), 1);

    // Creation dates: a missing date sorts first.
    const auto dated = withValues({{"Exif.Image.CreateDate", 0, "2015-03-01"}});
    const auto undated = withValues({});
    EXPECT_EQ(undated->compareWithObj(*withValues({}), "createdatetime"), 0);
    EXPECT_EQ(undated->compareWithObj(*dated, "createdatetime"), -1);
    EXPECT_EQ(dated->compareWithObj(*undated, "createdatetime"), 1);
    EXPECT_EQ(TAVImageObject::compareDate("2015-03-02", "2015-03-01"), 1);

    // Places by signed decimal degrees.
    const auto south
        = withValues({{"Exif.GPSInfo.GPSLatitudeRef", 2, "S"}, {"Exif.GPSInfo.GPSLatitude", 2, "37/1 46/1 2900/100"}});
    const auto northWest
        = withValues({{"Exif.GPSInfo.GPSLatitudeRef", 2, "N"}, {"Exif.GPSInfo.GPSLatitude", 2, "37/1 46/1 2900/100"},
            {"Exif.GPSInfo.GPSLongitudeRef", 2, "W"}, {"Exif.GPSInfo.GPSLongitude", 2, "122/1 25/1 0/1"}});
    EXPECT_NEAR(south->getGPSFloat(true), -37.774722, 1e-5);
    EXPECT_NEAR(northWest->getGPSFloat(true), 37.774722, 1e-5);
    EXPECT_NEAR(northWest->getGPSFloat(false), -122.416667, 1e-4);
    EXPECT_EQ(south->compareWithObj(*northWest, "gpslatitude"), -1);
    // No position, or one stored as text, is no place at all (not 0 degrees): it sorts first.
    const auto asText = withValues({{"Exif.GPSInfo.GPSLatitude", 2, "37.7749"}});
    const auto atZero = withValues({{"Exif.GPSInfo.GPSLatitude", 2, "0/1 0/1 0/1"}});
    EXPECT_TRUE(std::isnan(undated->getGPSFloat(true)));
    EXPECT_TRUE(std::isnan(asText->getGPSFloat(true)));
    EXPECT_EQ(asText->compareWithObj(*atZero, "gpslatitude"), -1);
    EXPECT_EQ(atZero->compareWithObj(*asText, "gpslatitude"), 1);
    EXPECT_EQ(asText->compareWithObj(*undated, "gpslatitude"), 0);
}

TEST_F(TAVImageObjectTest, ApplyingASettingFirstThrowsUnsavedEditsAway)
{
    const auto image = import("edited.jpg", {{"Exif.Image.Make", "Canon"}, {"Exif.Image.Artist", "Ann"}});
    edit(image, "Exif.Image.Make", 0, "Nikon");
    const auto setting = image->exifData()->copy();
    setting->restore();
    setting->setValue("Bob", "Exif.Image.Artist", 0, true, true, true);
    setting->setStrName("Studio");

    image->applyToNewExifDataSetting(*setting);
    EXPECT_EQ(image->getValueForKey("Exif.Image.Make", 0), QString("Canon"));
    EXPECT_FALSE(image->exifData()->isModifiedForKey("Exif.Image.Make", 0));
    EXPECT_EQ(image->getValueForKey("Exif.Image.Artist", 0), QString("Bob"));
    EXPECT_EQ(image->exifData()->strName(), QString("Studio"));
    EXPECT_EQ(image->exifData()->enuModifyState(), 2);
}

TEST_F(TAVImageObjectTest, RecordsOutlivingTheirImageForgetIt)
{
    TAVExifDataPtr kept;
    TAVExifDataPtr copy;
    {
        auto image = import("short.jpg", {{"Exif.Image.Make", "Canon"}});
        kept = image->exifData();
        copy = kept->copy();
        EXPECT_EQ(copy->accessImgObj(), image.get());
        EXPECT_EQ(TAVImageObject::ownerOf(*copy), image.get());
        EXPECT_EQ(TAVImageObject::ownerOf(*TAVExifData::create()), nullptr);
    }
    EXPECT_EQ(kept->accessImgObj(), nullptr);
    EXPECT_EQ(TAVImageObject::ownerOf(*copy), nullptr);
    EXPECT_EQ(copy->accessImgObj(), nullptr);
    // An edit would tell the image object; it must not reach the one that is gone.
    EXPECT_TRUE(kept->setValue("Nikon", "Exif.Image.Make", 0, false, false, true));
    EXPECT_TRUE(copy->setValue("Nikon", "Exif.Image.Make", 0, false, false, true));
}

TEST_F(TAVImageObjectTest, NothingModifiedStillReplacesTheUsersFileRereadsAndKeepsImportDates)
{
    const auto image = import("same.jpg", {{"Exif.Image.Make", "Canon"}});
    image->setDelegate(&ui_);
    const QDateTime imported = FileServices::modificationDate(image->path());
    EXPECT_EQ(image->fileOrignalModifiedDate(), imported);
    // The creation date is the user's file's, not the working copy's own.
    EXPECT_EQ(image->fileOrignalCreateDate(), FileServices::creationDate(image->srcPath()));
    // A change that reached the working copy by another way; read again, the import dates stay.
    ASSERT_TRUE(ImageFixtures::writeTags(image->path(), {Tag{"Exif.Image.Artist", "Ann", std::nullopt}}));
    ASSERT_TRUE(FileServices::setFileDates(image->path(), imported.addDays(-3)));
    image->setPath(image->path());
    EXPECT_EQ(image->fileOrignalModifiedDate(), imported);

    UserDefaults::standard().setBool(true, "update_file_origine_open_create_modify_date");
    EXPECT_TRUE(image->saveMetadataToImage());
    EXPECT_TRUE(FileServices::contentsEqual(image->path(), image->srcPath()));
    EXPECT_EQ(FileServices::modificationDate(image->srcPath()), imported);
    EXPECT_EQ(image->getValueForKey("Exif.Image.Artist", 0), QString("Ann"));
    EXPECT_EQ(image->exifData()->enuModifyState(), 0);
    EXPECT_EQ(ui_.finished, 1);
    EXPECT_TRUE(ui_.alerts().isEmpty());

    // The access date is the import's modification date too, not the birth time.
    const QString old = tempPath("user/old.jpg");
    ASSERT_TRUE(ImageFixtures::makeImage(old));
    const QDateTime taken(QDate(2011, 3, 4), QTime(5, 6, 7), Qt::UTC);
    ASSERT_TRUE(FileServices::setFileDates(old, taken, taken));
    const auto oldImage = openWorkingCopy(old);
    EXPECT_TRUE(oldImage->saveMetadataToImage());
    EXPECT_EQ(FileServices::modificationDate(old), taken);
    EXPECT_EQ(FileServices::accessDate(old), taken);
}

TEST_F(TAVImageObjectTest, EditsOfEveryCategoryReachRealSamples)
{
    if (!ExifTool::available())
        GTEST_SKIP() << "exiftool missing";
    const std::vector<std::pair<QString, QString>> samples
        = {{"npm-canon-s40.jpg", "Canon"}, {"npm-iphone6p.jpg", "Apple"}, {"npm-lumia.jpg", QString()},
            {"1x1_exif_xmp.jpg", QString()}, {"goexif.tif", QString()}, {"npm-arbitro.tiff", QString()},
            {"png-nikon-d3.png", "Nikon"}, {"png-sony-gps.png", "Sony"}};
    for (const auto& [sample, makerGroup] : samples) {
        SCOPED_TRACE(qPrintable(sample));
        const auto image = importSample(sample);
        const QJsonObject before = ExifTool::read(image->srcPath(), {"-n"});
        const QStringList warnings = ExifTool::warnings(image->srcPath());
        const QImage pixels(image->srcPath());
        ASSERT_FALSE(pixels.isNull());

        edit(image, "Exif.Image.Artist", 0, "Lumetta Tester");
        edit(image, "Iptc.Application2.Keywords", 0, "sea, boat");
        edit(image, "Exif.Photo.FNumber", 1, "4.0");
        edit(image, "Exif.GPSInfo.GPSLatitudeRef", 2, "N");
        edit(image, "Exif.GPSInfo.GPSLatitude", 2, "37/1 46/1 2900/100");
        edit(image, "Exif.GPSInfo.GPSLongitudeRef", 2, "W");
        edit(image, "Exif.GPSInfo.GPSLongitude", 2, "122/1 25/1 0/1");
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(image->exifData()->enuModifyState(), 3);
        EXPECT_FALSE(image->exifData()->isModifiedForKey("Exif.Image.Artist", 0));
        EXPECT_EQ(image->getValueForKey("Exif.Image.Artist", 0), QString("Lumetta Tester"));
        // The record is refreshed from what the save wrote: it is the record
        // a new import of the saved file makes, row for row.
        EXPECT_EQ(recordLines(*image->exifData()), recordLines(*TAVImageObject::create(image->srcPath())->exifData()));

        const QJsonObject after = ExifTool::read(image->srcPath(), {"-n"});
        EXPECT_EQ(after.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
        EXPECT_DOUBLE_EQ(after.value("ExifIFD:FNumber").toDouble(), 4.0);
        EXPECT_NEAR(after.value("GPS:GPSLatitude").toDouble(), 37.774722, 1e-5);
        EXPECT_NEAR(after.value("GPS:GPSLongitude").toDouble(), 122.416667, 1e-5);
        EXPECT_EQ(after.value("GPS:GPSLongitudeRef").toString(), QString("W"));
        EXPECT_EQ(after.value("IPTC:Keywords").toVariant().toStringList(), QStringList({"sea", "boat"}));
        EXPECT_EQ(after.value("IFD0:Make"), before.value("IFD0:Make"));
        if (!makerGroup.isEmpty()) {
            const QJsonObject makerNote = groupOf(before, makerGroup);
            EXPECT_FALSE(makerNote.isEmpty());
            EXPECT_EQ(groupOf(after, makerGroup), makerNote);
        }
        for (const QString& warning : ExifTool::warnings(image->srcPath()))
            EXPECT_TRUE(warnings.contains(warning)) << qPrintable(warning);
        EXPECT_EQ(QImage(image->srcPath()), pixels);
    }
}

TEST_F(TAVImageObjectTest, MalformedSamplesAreSavedWholeOrLeftAlone)
{
    UserDefaults::standard().setBool(true, "save_continue_after_error");
    for (const char* sample : {"npm-evil1.jpg", "huge_tag_exif.jpg", "infinite_loop_exif.jpg"}) {
        SCOPED_TRACE(sample);
        const auto image = importSample(sample);
        const QByteArray original = WrittenFileProbe::bytes(image->srcPath());
        const QImage pixels(image->srcPath());
        edit(image, "Exif.Image.Artist", 0, "Lumetta Tester");
        if (image->saveMetadataToImage()) {
            // Broken directories may stay broken for other readers; the picture and our own value survive.
            EXPECT_EQ(QImage(image->srcPath()), pixels);
            EXPECT_EQ(image->getValueForKey("Exif.Image.Artist", 0), QString("Lumetta Tester"));
        } else {
            EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), original);
            EXPECT_EQ(image->exifData()->enuModifyState(), 4);
        }
    }
}

TEST_F(TAVImageObjectTest, NewKeywordsAreMergedIntoTheOldOnes)
{
    const auto image = import("words.jpg", {});
    ASSERT_TRUE(ImageFixtures::writeKeywords(image->path(), {"a", "b"}));
    image->setPath(image->path());
    ASSERT_EQ(image->getValueForKey("Iptc.Application2.Keywords", 0), QString("a, b"));
    const auto record = image->exifData();
    const auto keywordsToWrite = [&](const QString& entered) {
        record->setValue(entered, "Iptc.Application2.Keywords", 0, false, false, false);
        const QList<TAVEntityPtr> entities = image->getProcessedEntitiesForSave(0);
        return entities.size() == 1 ? entities.first()->value() : QString("<none>");
    };
    EXPECT_EQ(keywordsToWrite("b,c"), QString("a, b,c"));
    EXPECT_EQ(keywordsToWrite(" a"), QString("a, b"));
    EXPECT_EQ(keywordsToWrite("c,, "), QString("a, b,c"));

    // A cleared keywords entry erases them instead of writing the old ones back.
    record->clear(3);
    const QList<TAVEntityPtr> cleared = image->getProcessedEntitiesForSave(0);
    EXPECT_TRUE(cleared.contains(record->userSetEntity("Iptc.Application2.Keywords", 0)));

    record->restore();
    record->setValue("b,c", "Iptc.Application2.Keywords", 0, false, false, false);
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(image->srcPath()).value("IPTC:Keywords").toVariant().toStringList(),
        QStringList({"a", "b", "c"}));
}

TEST_F(TAVImageObjectTest, EditedTimeAndTimeShiftMoveTheDateAndTheFileDates)
{
    const auto image = import("shift.jpg", {{"Exif.Photo.DateTimeOriginal", "2015:03:01 08:00:00"}});
    // Only forward shifts are valid: one day back changes nothing.
    TAVTimeOffsetInfo shift;
    shift.setDateOffsetNum(-1);
    image->exifData()->setCreatedDateTimeOffset(shift);
    EXPECT_TRUE(image->getProcessedEntitiesForSave(0).isEmpty());
    EXPECT_EQ(image->getValueForKey("Exif.Image.CreateDate", 0), QString("2015-03-01"));
    EXPECT_EQ(image->exifData()->enuModifyState(), 0);

    // Only the time edited: one entity, with the date as read.
    edit(image, "Summary.CreateTime", 0, "10:20:30");
    const QList<TAVEntityPtr> entities = image->getProcessedEntitiesForSave(0);
    ASSERT_EQ(entities.size(), 1);
    EXPECT_EQ(entities.first()->key(), QString("Exif.Image.DateTime"));
    EXPECT_EQ(entities.first()->value(), QString("2015-03-01 10:20:30"));

    shift.setDateUnit(TAVTimeOffsetInfo::Day);
    shift.setDateOffsetNum(2);
    image->exifData()->setCreatedDateTimeOffset(shift);
    image->exifData()->setIsApplyToFileCreatedDateTime(true);
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IFD0:ModifyDate").toString(), QString("2015:03:03 10:20:30"));
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2015:03:03 10:20:30"));
    const QDateTime expected = DateServices::instantOfWallClock(DateServices::dateValue("2015-03-03 10:20:30"));
    EXPECT_EQ(FileServices::modificationDate(image->srcPath()), expected);
    EXPECT_EQ(image->getValueForKey("Exif.Image.CreateDate", 0), QString("2015-03-03"));
    EXPECT_EQ(image->getValueForKey("Summary.CreateTime", 0), QString("10:20:30"));
    EXPECT_FALSE(image->exifData()->createdDateTimeOffset().has_value());
}

TEST_F(TAVImageObjectTest, TimeShiftCrossesMidnightAndIsAppliedOnce)
{
    const auto image
        = import("late.jpg", {{"Exif.Photo.DateTimeOriginal", "2015:03:01 23:30:00"}, {"Exif.Photo.Contrast", "0"}});
    TAVTimeOffsetInfo shift;
    shift.setTimeUnit(TAVTimeOffsetInfo::Hour);
    shift.setTimeOffsetNum(1);
    image->exifData()->setCreatedDateTimeOffset(shift);
    // A contrast text the writer does not know makes this save fail.
    edit(image, "Exif.Photo.Contrast", 1, "Vivid");
    UserDefaults::standard().setBool(true, "save_continue_after_error");

    EXPECT_FALSE(image->saveMetadataToImage());
    EXPECT_EQ(image->exifData()->enuModifyState(), 4);
    EXPECT_EQ(image->getValueForKey("Exif.Image.CreateDate", 0), QString("2015-03-02"));
    EXPECT_EQ(image->getValueForKey("Summary.CreateTime", 0), QString("00:30:00"));
    EXPECT_TRUE(ui_.alerts().isEmpty());

    edit(image, "Exif.Photo.Contrast", 1, "Hard");
    ASSERT_TRUE(image->saveMetadataToImage());
    // Moved once, and the photo gains no modify date it did not hold.
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("ExifIFD:DateTimeOriginal").toString(), QString("2015:03:02 00:30:00"));
    EXPECT_FALSE(tags.contains("IFD0:ModifyDate"));
}

TEST_F(TAVImageObjectTest, FailedImagesAlertTheOthersAreSavedAndARetryWritesNoOldEdits)
{
    // On the GUI thread itself the hand-overs to it run at once.
    std::vector<TAVImageObjectPtr> images;
    for (int i = 0; i < 5; ++i) {
        images.push_back(import(QString("batch%1.jpg").arg(i), {{"Exif.Photo.Contrast", "0"}}));
        images.back()->setDelegate(&ui_);
        edit(images.back(), "Exif.Image.Artist", 0, "Ann");
        edit(images.back(), "Exif.Photo.Contrast", 1, i == 1 || i == 3 ? "Vivid" : "Soft");
    }
    std::vector<int> states;
    for (const auto& image : images) {
        image->saveMetadataToImage();
        states.push_back(image->exifData()->enuModifyState());
    }
    EXPECT_EQ(states, std::vector<int>({3, 4, 3, 4, 3}));
    EXPECT_EQ(ui_.finished, 5);
    ASSERT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(ui_.alerts().first().title, QString("Errors"));
    EXPECT_EQ(ui_.alerts().first().message, QString("Some error occurred when save modifications"));
    EXPECT_EQ(ui_.alerts().first().buttons, QStringList{"Dismiss"});
    // The failed images keep their edits and their user files.
    EXPECT_TRUE(images[1]->exifData()->isModifiedForKey("Exif.Image.Artist", 0));
    EXPECT_FALSE(ExifTool::read(images[1]->srcPath()).contains("IFD0:Artist"));
    EXPECT_EQ(ExifTool::read(images[0]->srcPath()).value("IFD0:Artist").toString(), QString("Ann"));

    // Edits thrown away after a failed save are not written by a later one.
    images[1]->restore();
    edit(images[1], "Exif.Image.Copyright", 0, "Lumetta");
    ASSERT_TRUE(images[1]->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(images[1]->srcPath());
    EXPECT_FALSE(tags.contains("IFD0:Artist"));
    EXPECT_EQ(tags.value("IFD0:Copyright").toString(), QString("Lumetta"));
}

TEST_F(TAVImageObjectTest, AWorkingCopyThatMissedASaveIsMadeAgainFromTheUsersFile)
{
    const auto image = import("stuck.jpg", {{"Exif.Image.Artist", "Ann"}});
    edit(image, "Exif.Image.Artist", 0, "Bob");
    if (!setReplaceable(image->path(), false))
        GTEST_SKIP() << "the file system cannot lock the working copy";

    // The user's file has the edit; the record shows what it holds.
    EXPECT_TRUE(image->saveMetadataToImage());
    ASSERT_TRUE(setReplaceable(image->path(), true));
    EXPECT_EQ(WrittenFileProbe::value(image->srcPath(), "Exif.Image.Artist"), QString("Bob"));
    EXPECT_EQ(WrittenFileProbe::value(image->path(), "Exif.Image.Artist"), QString("Ann"));
    EXPECT_EQ(image->exifData()->getValueFromOriginalDataForKey("Exif.Image.Artist", 0), QString("Bob"));

    // The next save starts from the user's file, not from the stale copy.
    edit(image, "Exif.Image.Copyright", 0, "Lumetta");
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(WrittenFileProbe::value(image->srcPath(), "Exif.Image.Artist"), QString("Bob"));
    EXPECT_EQ(WrittenFileProbe::value(image->srcPath(), "Exif.Image.Copyright"), QString("Lumetta"));
    EXPECT_TRUE(FileServices::contentsEqual(image->path(), image->srcPath()));
}

TEST_F(TAVImageObjectTest, FailedReplacementLeavesTheUsersFileAndTheEdits)
{
    const auto image = import("locked.jpg", {{"Exif.Image.Artist", "Ann"}});
    const QByteArray original = WrittenFileProbe::bytes(image->srcPath());
    ASSERT_FALSE(original.isEmpty());
    edit(image, "Exif.Image.Artist", 0, "Bob");
    if (!setReplaceable(image->srcPath(), false))
        GTEST_SKIP() << "the file system cannot lock the user's file";

    EXPECT_FALSE(image->saveMetadataToImage());
    ASSERT_TRUE(setReplaceable(image->srcPath(), true));
    EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), original);
    EXPECT_EQ(image->exifData()->enuModifyState(), 4);
    EXPECT_TRUE(image->exifData()->isModifiedForKey("Exif.Image.Artist", 0));
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(FileServices::contentsOfFolder(QFileInfo(image->srcPath()).path()), QStringList{"locked.jpg"});

    // The edit thrown away after the failure never reaches the file with a later save.
    image->restore();
    edit(image, "Exif.Image.Copyright", 0, "Lumetta");
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Ann"));
    EXPECT_EQ(tags.value("IFD0:Copyright").toString(), QString("Lumetta"));
}

TEST_F(TAVImageObjectTest, ClearAllWhoseLibrarySaveFailsKeepsTheUsersFile)
{
    const auto image = import("broken.jpg", {{"Exif.Image.Artist", "Ann"}});
    const QByteArray original = WrittenFileProbe::bytes(image->srcPath());
    image->clear(0);
    // The working copy is no longer an image the library can write.
    QFile work(image->path());
    ASSERT_TRUE(work.open(QIODevice::WriteOnly | QIODevice::Truncate));
    work.write("not an image");
    work.close();

    EXPECT_FALSE(image->saveMetadataToImage());
    EXPECT_EQ(image->exifData()->enuModifyState(), 4);
    // Told as every other refused save is.
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().message, QString("Some error occurred when save modifications"));
    EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), original);
}

TEST_F(TAVImageObjectTest, WorkerEditsAndSavesReachTheUserOnTheGuiThread)
{
    const auto image = import("worker.jpg", {{"Exif.Image.Artist", "Ann"}, {"Exif.Photo.Contrast", "0"}});
    image->setDelegate(&ui_);
    std::atomic<bool> done = false;
    Dispatch::async([&] {
        edit(image, "Exif.Image.Artist", 0, "Bob");
        edit(image, "Exif.Photo.Contrast", 1, "Vivid");
        image->saveMetadataToImage();
        edit(image, "Exif.Photo.Contrast", 1, "Hard");
        image->saveMetadataToImage();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < kPatientMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(done);
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.modified, 3);
    EXPECT_EQ(ui_.finished, 2);
    EXPECT_FALSE(ui_.offGuiThread);
    EXPECT_EQ(ExifTool::read(image->srcPath()).value("IFD0:Artist").toString(), QString("Bob"));
}

TEST_F(TAVImageObjectTest, XmpOnlyEditThenClearingExifAndClearingAll)
{
    const auto image = import("clear.jpg",
        {{"Exif.Photo.DateTimeOriginal", "2015:03:01 10:20:30"},
            {"Exif.Photo.DateTimeDigitized", "2015:03:01 10:20:30"}, {"Exif.Image.DateTime", "2015:03:01 10:20:30"},
            {"Exif.Image.Artist", "Ann"}, {"Iptc.Application2.Caption", "Harbour"}, {"Xmp.dc.title", "Boats"}});
    edit(image, "Xmp.dc.title", 3, "Ships");
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(image->exifData()->enuModifyState(), 3);
    EXPECT_EQ(ExifTool::read(image->srcPath()).value("XMP-dc:Title").toString(), QString("Ships"));
    EXPECT_EQ(image->getValueForKey("Xmp.dc.title", 3), QString("Ships"));

    // Clearing EXIF erases its dates and leaves IPTC.
    image->clear(1);
    ASSERT_TRUE(image->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(image->srcPath());
    for (const char* tag : {"ExifIFD:DateTimeOriginal", "ExifIFD:CreateDate", "IFD0:ModifyDate", "IFD0:Artist"})
        EXPECT_FALSE(tags.contains(tag)) << tag << " = " << qPrintable(tags.value(tag).toString());
    EXPECT_EQ(tags.value("IPTC:Caption-Abstract").toString(), QString("Harbour"));
    EXPECT_EQ(image->getValueForKey("Exif.Image.CreateDate", 0), QString(""));

    // Clearing all spares nothing, XMP included.
    image->clear(0);
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(image->exifData()->enuModifyState(), 3);
    tags = ExifTool::read(image->srcPath());
    EXPECT_FALSE(tags.contains("IPTC:Caption-Abstract"));
    EXPECT_FALSE(tags.contains("XMP-dc:Title"));
    EXPECT_FALSE(image->lastSaveKeptXmp());
}

namespace {

// The XMP packet exactly as the file holds it.
std::string rawXmpPacket(const QString& path)
{
    return WrittenFileProbe::open(path)->xmpPacket();
}

} // namespace

TEST_F(TAVImageObjectTest, SavesThatEditNoXmpKeepThePacketByteForByte)
{
    UserDefaults::standard().setBool(true, "save_continue_after_error");
    const QString user = tempPath("user/damaged.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user, {Tag{"Exif.Image.Artist", "Ann", std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::giveUndecodableXmpPacket(user));
    const auto damaged = openWorkingCopy(user);
    const std::string packet = rawXmpPacket(damaged->srcPath());
    ASSERT_FALSE(packet.empty());
    const QJsonObject xmpBefore = groupOf(ExifTool::read(damaged->srcPath()), "XMP-dc");
    ASSERT_FALSE(xmpBefore.isEmpty());

    edit(damaged, "Exif.Image.Artist", 0, "Bob");
    ASSERT_TRUE(damaged->saveMetadataToImage());
    EXPECT_EQ(rawXmpPacket(damaged->srcPath()), packet);
    EXPECT_FALSE(damaged->lastSaveKeptXmp());
    // A clear of EXIF cannot reach into it: the packet stays, and the save
    // says so. (A clear of everything takes it.)
    damaged->clear(TAVExifData::ClearExif);
    ASSERT_TRUE(damaged->saveMetadataToImage());
    EXPECT_TRUE(damaged->lastSaveKeptXmp());
    EXPECT_EQ(rawXmpPacket(damaged->srcPath()), packet);
    EXPECT_EQ(groupOf(ExifTool::read(damaged->srcPath()), "XMP-dc"), xmpBefore);

    // An XMP edit on it fails that key and writes nothing.
    TAVMetadataWritterMgr writer(damaged->path());
    auto title = TAVEntity::entityWithValue("Harbour", "Xmp.dc.title");
    auto cleared = TAVEntity::entityWithValue("", "Xmp.dc.subject");
    cleared->setIsClear(true);
    EXPECT_EQ(writer.batchWriteMetadata({title, cleared}, true), QStringList({"Xmp.dc.title", "Xmp.dc.subject"}));

    // Untouched packets that decode are not re-encoded either, in JPEG and TIFF.
    for (const char* sample : {"1x1_exif_xmp.jpg", "npm-arbitro.tiff"}) {
        SCOPED_TRACE(sample);
        const auto image = importSample(sample);
        const QByteArray before = ExifTool::binary(image->srcPath(), "XMP");
        ASSERT_FALSE(before.isEmpty());
        edit(image, "Exif.Image.Artist", 0, "Bob");
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(ExifTool::binary(image->srcPath(), "XMP"), before);
    }

    // Nor in a PNG, whose packet only the library reads out: one laid out
    // unlike the library's own (attributes, no toolkit name, padding) goes
    // back with an EXIF edit as it was.
    const QString png = ImageFixtures::copySample("png-sony-gps.png", tempPath("user"));
    const std::string laidOut
        = "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
          "xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
          "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"3\"/>"
          "</rdf:RDF></x:xmpmeta>"
        + std::string(200, ' ') + "<?xpacket end=\"w\"?>";
    {
        auto probe = WrittenFileProbe::open(png);
        probe->setXmpPacket(laidOut);
        probe->writeXmpFromPacket(true);
        probe->writeMetadata();
    }
    ASSERT_EQ(ExifTool::binary(png, "XMP").toStdString(), laidOut);
    const auto pngImage = openWorkingCopy(png);
    edit(pngImage, "Exif.Image.Artist", 0, "Bob");
    ASSERT_TRUE(pngImage->saveMetadataToImage());
    EXPECT_EQ(ExifTool::binary(png, "XMP").toStdString(), laidOut);
    EXPECT_EQ(ExifTool::read(png).value("XMP-xmp:Rating").toInt(), 3);
}

TEST_F(TAVImageObjectTest, EditsReachTheTwinsTheFileHasListsStayListsAndUntouchedIptcTimesStay)
{
    const QString user = tempPath("user/twins.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user,
        {Tag{"Exif.Image.Artist", "Ann", std::nullopt},
            Tag{"Exif.Photo.DateTimeOriginal", "2015:03:01 08:38:52", std::nullopt},
            Tag{"Exif.Photo.FNumber", "28/10", std::nullopt}, Tag{"Exif.Photo.ApertureValue", "3/1", std::nullopt},
            Tag{"Iptc.Application2.ObjectName", "Boats", std::nullopt},
            Tag{"Iptc.Application2.DateCreated", "2015-03-01", std::nullopt},
            Tag{"Xmp.dc.title", "Boats", std::nullopt}, Tag{"Xmp.dc.creator", "Ann", std::nullopt},
            Tag{"Xmp.xmp.CreateDate", "2015-03-01T08:38:52", std::nullopt},
            Tag{"Xmp.photoshop.DateCreated", "2015-03-01T08:38:52", std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::writeKeywords(user, {"sea", "sun"}));
    // XMP's copy of the keywords, one item per keyword.
    ASSERT_TRUE(ImageFixtures::writeTags(user, {Tag{"Xmp.dc.subject", "sea", std::nullopt}}));
    ASSERT_TRUE(ImageFixtures::writeTags(user, {Tag{"Xmp.dc.subject", "sun", std::nullopt}}));
    // A time without its zone, as some programs write it (as raw text: the
    // library itself would add a zone).
    ASSERT_TRUE(ImageFixtures::writeTags(user, {Tag{"Iptc.Application2.TimeCreated", "083852", 0x10000}}));
    const auto image = openWorkingCopy(user);
    const QString timeBefore = ExifTool::read(user).value("IPTC:TimeCreated").toString();
    ASSERT_EQ(timeBefore, QString("08:38:52"));

    // An EXIF-only save: the IPTC time goes back as it was, and the APEX
    // aperture of the old f-number goes.
    edit(image, "Exif.Photo.FNumber", 1, "4.0");
    ASSERT_TRUE(image->saveMetadataToImage());
    QJsonObject tags = ExifTool::read(user, {"-n"});
    EXPECT_EQ(tags.value("IPTC:TimeCreated").toString(), timeBefore);
    EXPECT_FALSE(tags.contains("ExifIFD:ApertureValue"));

    // Keywords, title, creator and the capture date reach the twins the file
    // has; the file had no rights property, and gets none.
    edit(image, "Iptc.Application2.Keywords", 0, "sand");
    edit(image, "Iptc.Application2.ObjectName", 0, "Ships");
    edit(image, "Exif.Image.Artist", 0, "Bob");
    edit(image, "Exif.Image.Copyright", 0, "Lumetta");
    edit(image, "Exif.Image.CreateDate", 0, "2016-04-02");
    edit(image, "Summary.CreateTime", 0, "10:20:30");
    ASSERT_TRUE(image->saveMetadataToImage());
    tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("XMP-dc:Subject").toVariant().toStringList(), QStringList({"sand"}));
    EXPECT_EQ(tags.value("IPTC:Keywords").toVariant().toStringList(), QStringList({"sand"}));
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), QString("Ships"));
    EXPECT_EQ(tags.value("XMP-dc:Creator").toVariant().toStringList(), QStringList({"Bob"}));
    EXPECT_FALSE(tags.contains("XMP-dc:Rights"));
    EXPECT_EQ(tags.value("XMP-xmp:CreateDate").toString(), QString("2016:04:02 10:20:30"));
    EXPECT_EQ(tags.value("XMP-photoshop:DateCreated").toString(), QString("2016:04:02 10:20:30"));
    EXPECT_EQ(tags.value("IPTC:DateCreated").toString(), QString("2016:04:02"));
    EXPECT_TRUE(tags.value("IPTC:TimeCreated").toString().startsWith("10:20:30"));

    // An edited list property goes back as its items.
    edit(image, "Xmp.dc.subject", 3, "sand, sun, shells");
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(user).value("XMP-dc:Subject").toVariant().toStringList(),
        QStringList({"sand", "sun", "shells"}));
}

namespace {

// Counts the opens of a file while `work` runs. Reads and closes are watched
// too: inotify merges an event into an identical one just before it, so two
// opens in a row would otherwise count once.
int opensDuring(const QString& path, const std::function<void()>& work)
{
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0
        || ::inotify_add_watch(watch, QFile::encodeName(path).constData(), IN_OPEN | IN_ACCESS | IN_CLOSE) < 0)
        return -1;
    work();
    int opens = 0;
    alignas(struct inotify_event) char buffer[4096];
    for (ssize_t got = ::read(watch, buffer, sizeof buffer); got > 0; got = ::read(watch, buffer, sizeof buffer)) {
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(at);
            opens += (event->mask & IN_OPEN) ? 1 : 0;
            at += sizeof(struct inotify_event) + event->len;
        }
    }
    ::close(watch);
    return opens;
}

} // namespace

// Importing reads the working copy once: the three families, the derived
// camera values and the image size all come from that one read.
TEST_F(TAVImageObjectTest, AnImportOpensTheWorkingCopyOnce)
{
    const QString user = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user"));
    const QString work = tempPath("work/npm-canon-s40.jpg");
    ASSERT_TRUE(FileServices::copyItem(user, work));
    TAVImageObjectPtr image;
    EXPECT_EQ(opensDuring(work, [&] { image = TAVImageObject::create(work); }), 1);
    EXPECT_EQ(image->getValueForKey("Exif.Photo.ISOSpeedRatings", 1), QString("100"));
    EXPECT_TRUE(image->getValueForKey("Summary.ImageSize", 0).contains(" x "))
        << qPrintable(image->getValueForKey("Summary.ImageSize", 0));
    EXPECT_EQ(image->getVaildFocusSetting(), std::vector<bool>({true, true, true, true, true, true}));
}

// The record shows what the user saved: a title over the photographer's job
// title, keywords kept only in XMP, and "Unknown" camera settings chosen on a
// Canon photo over what its maker note says.
TEST_F(TAVImageObjectTest, TheRecordShowsWhatWasSaved)
{
    const QString user = tempPath("user/titled.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(
        user, {Tag{"Iptc.Application2.BylineTitle", "Staff photographer", std::nullopt}}));
    {
        // Keywords as many programs keep them: an XMP list, no IPTC.
        auto file = Exiv2::ImageFactory::open(QFile::encodeName(user).toStdString());
        file->readMetadata();
        Exiv2::XmpArrayValue subject(Exiv2::xmpBag);
        subject.read("sea");
        subject.read("sun");
        file->xmpData().add(Exiv2::XmpKey("Xmp.dc.subject"), &subject);
        file->writeMetadata();
    }
    const auto image = openWorkingCopy(user);
    EXPECT_EQ(image->getValueForKey("Iptc.Application2.ObjectName", 0), QString("Staff photographer"));
    EXPECT_EQ(image->getValueForKey("Iptc.Application2.Keywords", 0), QString("sea, sun"));

    edit(image, "Iptc.Application2.ObjectName", 0, "Harbour");
    // A new keyword joins the old ones (the overwrite box is off).
    image->exifData()->setValue("boat", "Iptc.Application2.Keywords", 0, false, false, false);
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(image->getValueForKey("Iptc.Application2.ObjectName", 0), QString("Harbour"));
    EXPECT_EQ(image->getValueForKey("Iptc.Application2.Keywords", 0), QString("sea, sun, boat"));
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(tags.value("IPTC:By-lineTitle").toString(), QString("Staff photographer"));
    EXPECT_EQ(tags.value("IPTC:Keywords").toVariant().toStringList(), QStringList({"sea", "sun", "boat"}));
    EXPECT_EQ(tags.value("XMP-dc:Subject").toVariant().toStringList(), QStringList({"sea", "sun", "boat"}));

    // The camera's program and focus live in Canon's settings array, which
    // cannot be erased; "Unknown" still shows after the save, and in other
    // programs.
    const auto canon = importSample("npm-canon-s40.jpg");
    ASSERT_EQ(canon->getValueForKey("Exif.Photo.ExposureProgram", 1), QString("Automatic"));
    ASSERT_EQ(canon->getValueForKey("Exif.Photo.SubjectDistanceRange", 1), QString("Auto"));
    edit(canon, "Exif.Photo.ExposureProgram", 1, "Unknown");
    edit(canon, "Exif.Photo.SubjectDistanceRange", 1, "Unknown");
    ASSERT_TRUE(canon->saveMetadataToImage());
    EXPECT_EQ(canon->getValueForKey("Exif.Photo.ExposureProgram", 1), QString("Unknown"));
    EXPECT_EQ(canon->getValueForKey("Exif.Photo.SubjectDistanceRange", 1), QString("Unknown"));
    const QJsonObject canonTags = ExifTool::read(canon->srcPath(), {"-n"});
    EXPECT_EQ(canonTags.value("Canon:CanonExposureMode").toInt(), -1);

    // A choice made afterwards shows as before.
    edit(canon, "Exif.Photo.ExposureProgram", 1, "Manual");
    edit(canon, "Exif.Photo.SubjectDistanceRange", 1, "Manual");
    ASSERT_TRUE(canon->saveMetadataToImage());
    EXPECT_EQ(canon->getValueForKey("Exif.Photo.ExposureProgram", 1), QString("Manual"));
    EXPECT_EQ(canon->getValueForKey("Exif.Photo.SubjectDistanceRange", 1), QString("Manual"));
}

// Most photos lack one metadata family or all of them: importing them says
// nothing, while a file that cannot be read still does.
TEST_F(TAVImageObjectTest, ImportingPhotosWithoutSomeFamiliesPrintsNothing)
{
    const QString bare = tempPath("user/bare.png");
    ASSERT_TRUE(ImageFixtures::makeImage(bare));
    const QString exifOnly = tempPath("user/exif-only.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(exifOnly, {Tag{"Exif.Image.Artist", "Ann", std::nullopt}}));
    testing::internal::CaptureStdout();
    for (const QString& path : {bare, exifOnly}) {
        const auto image = TAVImageObject::create(path);
        image->readAllMetadata(16);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    testing::internal::CaptureStdout();
    TAVImageObject::create(tempPath("user/gone.jpg"));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Caught Exiv2 exception"), std::string::npos);
}
