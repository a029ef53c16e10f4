#include "models/record/TAVExifData.h"
#include "models/image/TAVImageObject.h"

#include "foundation/KeyedArchive.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

TAVEntityMap entities(const std::vector<std::pair<QString, QString>>& keyValues)
{
    TAVEntityMap map;
    for (const auto& [key, value] : keyValues)
        map.insert(key, TAVEntity::entityWithValue(value, key));
    return map;
}

// A record as an image object fills it after reading a photo.
TAVExifDataPtr readRecord()
{
    auto record = TAVExifData::create();
    record->initImageExifData(entities({{"Exif.Image.CreateDate", "2015-03-01"}, {"Summary.CreateTime", "10:00:00"},
                                  {"Summary.ImageSize", "640 x 480"}, {"Exif.Image.Make", "Canon"},
                                  {"Iptc.Application2.Keywords", "a, b"}, {"Iptc.Application2.Caption", "Harbour"}}),
        TAVExifData::CategorySummary);
    record->initImageExifData(entities({{"Exif.Photo.FNumber", "28/10"}, {"Exif.Photo.Flash", "Fired"},
                                  {"Exif.Photo.Contrast", "Normal"}, {"Exif.Photo.FocalLength", "50"}}),
        TAVExifData::CategoryExposure);
    record->initImageExifData(
        entities({{"Exif.GPSInfo.GPSLatitudeRef", "N"}, {"Exif.GPSInfo.GPSLatitude", "37/1 46/1 2900/100"}}),
        TAVExifData::CategoryGps);
    record->initImageExifData(entities({{"Exif.Photo.LightSource", "Daylight"}, {"Xmp.dc.title", "Boats"},
                                  {"Iptc.Application2.City", "Kiel"}}),
        TAVExifData::CategoryOther);
    return record;
}

class RecordingDelegate : public TAVImageObjectProtocol {
public:
    void imageObjectHasModified(TAVImageObject*) override { ++modifiedCalls; }
    int modifiedCalls = 0;
};

} // namespace

TEST(TAVExifDataTest, SetterWithUnchangedValueOnlyTakesOverwriteAndClearsClearAll)
{
    const auto record = readRecord();
    TAVImageObject image;
    RecordingDelegate delegate;
    image.setDelegate(&delegate);
    image.setExifData(record);
    record->setIsClearAll(true);
    record->userSetEntity("Iptc.Application2.Keywords", 0)->setIsModified(true);

    EXPECT_TRUE(record->setValue("a, b", "Iptc.Application2.Keywords", 0, false, false, false));
    EXPECT_EQ(record->enuModifyState(), 0);
    EXPECT_FALSE(record->userSetEntity("Iptc.Application2.Keywords", 0)->isOverwrite());
    EXPECT_FALSE(record->isClearAll());
    EXPECT_EQ(delegate.modifiedCalls, 1);

    EXPECT_FALSE(record->setValue("Canon", "Exif.Image.Make", 0, false, false, true));
    EXPECT_EQ(record->enuModifyState(), 0);
    EXPECT_EQ(delegate.modifiedCalls, 2);
}

TEST(TAVExifDataTest, SetterWithChangedValueMarksEntryUnlessForced)
{
    const auto record = readRecord();
    const auto entry = record->userSetEntity("Exif.Image.Make", 0);
    entry->setIsClear(true);
    EXPECT_TRUE(record->setValue("Nikon", "Exif.Image.Make", 0, false, false, true));
    EXPECT_TRUE(entry->isModified());
    EXPECT_FALSE(entry->isClear());
    EXPECT_EQ(record->enuModifyState(), 2);
    EXPECT_EQ(record->getValueFromOriginalDataForKey("Exif.Image.Make", 0), QString("Canon"));
    // An absent value differs from every text and is stored as "".
    EXPECT_TRUE(record->setValue(QString(), "Exif.Image.Make", 0, false, false, true));
    EXPECT_FALSE(entry->value().isNull());

    const auto forced = readRecord();
    EXPECT_FALSE(forced->setValue("Sony", "Exif.Image.Make", 0, true, false, true));
    EXPECT_EQ(forced->getValueForKey("Exif.Image.Make", 0), QString("Sony"));
    EXPECT_EQ(forced->enuModifyState(), 2);
}

TEST(TAVExifDataTest, SetterWithoutEntryOrCategoryAddsNothing)
{
    const auto record = readRecord();
    record->setIsClearAll(true);
    EXPECT_FALSE(record->setValue("x", "Exif.Image.Model", 0, true, true, true));
    EXPECT_FALSE(record->mdicUserSetExifDataInfo().value("summaryDic").contains("Exif.Image.Model"));
    EXPECT_FALSE(record->isClearAll());
    // A category outside 0-3 finds nothing.
    EXPECT_FALSE(record->setValue("x", "Exif.Image.Make", 9, false, false, true));
    EXPECT_TRUE(record->getValueForKey("Exif.Image.Make", 7).isNull());
    EXPECT_EQ(record->enuModifyState(), 0);

    record->setIsClearAll(true);
    EXPECT_FALSE(record->setValue("x", "", 0, false, false, true));
    EXPECT_TRUE(record->isClearAll());
}

TEST(TAVExifDataTest, ClearKindsChooseTheirFamiliesAndNeverTheImageSize)
{
    using Chooser = bool (*)(const QString&);
    const Chooser every = [](const QString&) { return true; };
    const std::vector<std::tuple<int, Chooser, bool>> cases = {
        {1, [](const QString& key) { return key.startsWith("Exif.") || key == "Summary.CreateTime"; }, false},
        {2, [](const QString& key) { return key.startsWith("Exif.GPSInfo."); }, false},
        // The XMP title is Dublin Core's, shared with other families: it stays.
        {3, [](const QString& key) { return key.startsWith("Iptc."); }, false},
        {0, every, true},
        {7, every, false},
    };
    for (const auto& [kind, chosen, clearAll] : cases) {
        SCOPED_TRACE(kind);
        const auto record = readRecord();
        record->clear(kind);
        EXPECT_EQ(record->enuModifyState(), 2);
        EXPECT_EQ(record->isClearAll(), clearAll);
        for (const auto& map : record->mdicUserSetExifDataInfo()) {
            for (const auto& entity : map) {
                const bool expected = chosen(entity->key()) && entity->key() != "Summary.ImageSize";
                EXPECT_EQ(entity->isClear(), expected) << qPrintable(entity->key());
                EXPECT_EQ(entity->isModified(), expected) << qPrintable(entity->key());
            }
        }
        EXPECT_EQ(record->getValueForKey("Summary.ImageSize", 0), QString("640 x 480"));
        if (clearAll) {
            // Keys the tabs show with a label table clear to "Unknown" (below), the rest to "".
            EXPECT_EQ(record->getValueForKey("Exif.Photo.Contrast", 1), QString("Unknown"));
            EXPECT_EQ(record->getValueForKey("Exif.Photo.FNumber", 1), QString(""));
            EXPECT_EQ(record->getValueForKey("Exif.Photo.LightSource", 3), QString(""));
        }
    }
    for (const char* key : {"Exif.Photo.Flash", "Exif.Photo.ExposureProgram", "Exif.Photo.MeteringMode",
             "Exif.Photo.SubjectDistanceRange", "Exif.Photo.SensingMethod", "Exif.Photo.WhiteBalance",
             "Exif.Photo.Contrast", "Exif.Photo.Saturation", "Exif.Photo.Sharpness"})
        EXPECT_EQ(TAVExifData::getClearValue(key), QString("Unknown")) << key;

    // A partial clear keeps an earlier clear-all.
    const auto record = readRecord();
    record->setIsClearAll(true);
    record->clear(3);
    EXPECT_TRUE(record->isClearAll());
}

// Clear > GPS and Clear > IPTC are marked for the save as the family's
// whole clear, each its own; the mark reaches the photos an edit of the
// shown record reaches (the GPS tab's Clear of several photos) and a copy,
// and a restore or a settled save ends it.
TEST(TAVExifDataTest, FamilyClearsAreMarkedForTheSave)
{
    const auto gps = readRecord();
    gps->clear(TAVExifData::ClearGps);
    EXPECT_TRUE(gps->isClearGps());
    EXPECT_FALSE(gps->isClearIptc() || gps->isClearExif());
    const auto iptc = readRecord();
    iptc->clear(TAVExifData::ClearIptc);
    EXPECT_TRUE(iptc->isClearIptc());
    EXPECT_FALSE(iptc->isClearGps() || iptc->isClearExif());
    EXPECT_TRUE(iptc->copy()->isClearIptc());

    const auto shown = readRecord();
    shown->clearGPS();
    const auto photo = readRecord();
    photo->applyChangeValueFromExifData(*shown);
    EXPECT_TRUE(photo->isClearGps());
    EXPECT_EQ(photo->getValueForKey("Exif.GPSInfo.GPSLatitude", 2), QString(""));
    photo->restore();
    EXPECT_FALSE(photo->isClearGps());
    iptc->removeModifyFlag();
    EXPECT_FALSE(iptc->isClearIptc());
}

TEST(TAVExifDataTest, RestoreAndRemoveModifyFlagReturnToUnchanged)
{
    const auto record = readRecord();
    record->setStrName("Holiday");
    record->setValue("Nikon", "Exif.Image.Make", 0, false, false, true);
    record->clear(0);
    // An entry the read values lack keeps its value.
    TAVEntityMap other = record->mdicUserSetExifDataInfo().value("other");
    other.insert("Exif.Photo.UserComment", TAVEntity::entityWithValue("kept", "Exif.Photo.UserComment"));
    record->setImageExifData(other, TAVExifData::CategoryOther);

    record->restore();
    EXPECT_EQ(record->getValueForKey("Exif.Image.Make", 0), QString("Canon"));
    EXPECT_FALSE(record->isModifiedForKey("Exif.Image.Make", 0));
    EXPECT_FALSE(record->userSetEntity("Exif.Photo.Flash", 1)->isClear());
    EXPECT_EQ(record->getValueForKey("Exif.Photo.UserComment", 3), QString("kept"));
    EXPECT_EQ(record->enuModifyState(), 1);
    EXPECT_TRUE(record->strName().isNull());
    EXPECT_FALSE(record->isClearAll());

    // Dropping the flags keeps the values.
    record->clear(0);
    record->removeModifyFlag();
    EXPECT_EQ(record->getValueForKey("Exif.Image.Make", 0), QString(""));
    EXPECT_FALSE(record->isModifiedForKey("Exif.Image.Make", 0));
    EXPECT_FALSE(record->isGpsClear());
    EXPECT_EQ(record->enuModifyState(), 1);
    EXPECT_FALSE(record->isClearAll());
}

TEST(TAVExifDataTest, ResetAfterSaveSettlesReadValuesSharedWithCopies)
{
    const auto record = readRecord();
    const auto copy = record->copy();
    record->setValue("Nikon", "Exif.Image.Make", 0, false, false, true);
    record->setValue("11:30:00", "Summary.CreateTime", 0, false, false, true);
    record->clear(1);
    record->resetEnityModifyFlag(TAVExifData::CategorySummary);

    for (const char* key : {"Exif.Image.Make", "Summary.CreateTime", "Exif.Image.CreateDate"})
        EXPECT_FALSE(record->isModifiedForKey(key, 0)) << key;
    EXPECT_EQ(record->getValueFromOriginalDataForKey("Exif.Image.Make", 0), QString(""));
    EXPECT_EQ(record->getValueFromOriginalDataForKey("Summary.CreateTime", 0), QString(""));
    // The clear flag survives the reset; other categories are left for their own reset.
    EXPECT_TRUE(record->userSetEntity("Exif.Image.Make", 0)->isClear());
    EXPECT_TRUE(record->isModifiedForKey("Exif.Photo.FNumber", 1));
    EXPECT_EQ(record->getValueFromOriginalDataForKey("Exif.Photo.FNumber", 1), QString("28/10"));

    // The copy shares the read entries, so it sees the saved values; its own
    // user-set entries stay as they were.
    EXPECT_EQ(copy->getValueFromOriginalDataForKey("Exif.Image.Make", 0), QString(""));
    EXPECT_EQ(copy->getValueForKey("Exif.Image.Make", 0), QString("Canon"));
}

TEST(TAVExifDataTest, ApplyChangesMovesOnlyModifiedEntriesAndTheTimeShift)
{
    const auto target = readRecord();
    const auto shown = readRecord();
    target->setValue("Sony", "Exif.Image.Make", 0, false, false, true);
    // A shift that moves nothing is taken but changes nothing.
    TAVTimeOffsetInfo shift;
    shift.setDateOffsetNum(-1);
    shown->setCreatedDateTimeOffset(shift);
    shown->setIsApplyToFileCreatedDateTime(true);
    target->applyChangeValueFromExifData(*shown);
    EXPECT_EQ(target->enuModifyState(), 1);
    EXPECT_EQ(target->getValueForKey("Exif.Image.Make", 0), QString("Sony"));
    EXPECT_TRUE(target->isApplyToFileCreatedDateTime());
    ASSERT_TRUE(target->createdDateTimeOffset().has_value());

    shift.setDateOffsetNum(2);
    shown->setCreatedDateTimeOffset(shift);
    target->applyChangeValueFromExifData(*shown);
    EXPECT_EQ(target->enuModifyState(), 2);
    EXPECT_EQ(target->createdDateTimeOffset()->dateOffsetNum(), 2);

    shown->setCreatedDateTimeOffset(std::nullopt);
    shown->setValue("Nikon", "Exif.Image.Make", 0, false, false, true);
    shown->setValue("b, c", "Iptc.Application2.Keywords", 0, false, false, false);
    shown->clearGPS();
    TAVEntityMap extra = shown->mdicUserSetExifDataInfo().value("other");
    auto onlyInSource = TAVEntity::entityWithValue("new", "Exif.Photo.UserComment");
    onlyInSource->setIsModified(true);
    extra.insert(onlyInSource->key(), onlyInSource);
    shown->setImageExifData(extra, TAVExifData::CategoryOther);
    target->setIsClearAll(true);

    target->applyChangeValueFromExifData(*shown);
    EXPECT_EQ(target->enuModifyState(), 2);
    EXPECT_FALSE(target->isClearAll());
    EXPECT_EQ(target->getValueForKey("Exif.Image.Make", 0), QString("Nikon"));
    EXPECT_FALSE(target->userSetEntity("Iptc.Application2.Keywords", 0)->isOverwrite());
    EXPECT_EQ(target->getValueForKey("Iptc.Application2.Keywords", 0), QString("b, c"));
    EXPECT_TRUE(target->isGpsClear());
    EXPECT_FALSE(target->mdicUserSetExifDataInfo().value("other").contains("Exif.Photo.UserComment"));
    // The entries are taken over by value, not shared.
    EXPECT_NE(target->userSetEntity("Exif.Image.Make", 0), shown->userSetEntity("Exif.Image.Make", 0));
}

TEST(TAVExifDataTest, ApplySettingMovesDifferingValues)
{
    const auto image = readRecord();
    auto preset = readRecord();
    preset->setStrName("Studio");
    preset->setValue("", "Iptc.Application2.Caption", 0, true, false, true);
    preset->setValue("Hasselblad", "Exif.Image.Make", 0, true, false, true);
    preset->userSetEntity("Exif.Image.Make", 0)->setIsClear(true);
    preset->setValue("1 x 1", "Summary.ImageSize", 0, true, false, true);
    image->userSetEntity("Exif.Photo.FNumber", 1)->setIsClear(true);

    image->applyToNewExifDataSetting(*preset);
    EXPECT_EQ(image->getValueForKey("Iptc.Application2.Caption", 0), QString(""));
    EXPECT_TRUE(image->isModifiedForKey("Iptc.Application2.Caption", 0));
    EXPECT_TRUE(image->userSetEntity("Exif.Image.Make", 0)->isClear());
    EXPECT_EQ(image->getValueForKey("Summary.ImageSize", 0), QString("640 x 480"));
    // Equal values are left alone whatever their flags.
    EXPECT_TRUE(image->userSetEntity("Exif.Photo.FNumber", 1)->isClear());
    EXPECT_FALSE(image->isModifiedForKey("Exif.Photo.FNumber", 1));
    EXPECT_EQ(image->enuModifyState(), 2);
    EXPECT_EQ(image->strName(), QString("Studio"));

    // The variant moves only what the source changed or cleared.
    const auto other = readRecord();
    preset->userSetEntity("Iptc.Application2.Caption", 0)->setIsModified(false);
    other->applyToNewExifDataSettingWithModifyFields(*preset);
    EXPECT_EQ(other->getValueForKey("Iptc.Application2.Caption", 0), QString("Harbour"));
    EXPECT_EQ(other->getValueForKey("Exif.Image.Make", 0), QString("Hasselblad"));
}

TEST(TAVExifDataTest, CopyHasOwnUserSetEntriesAndSharedReadEntries)
{
    const auto record = readRecord();
    EXPECT_NE(record->originalEntity("Exif.Image.Make", 0), record->userSetEntity("Exif.Image.Make", 0));
    TAVImageObject image;
    image.setExifData(record);
    record->setStrName("A");
    record->setEnuModifyState(2);
    record->mutableOrgExifData().append(TAVEntity::entityWithValue("Canon", "Exif.Image.Make"));

    const auto copy = record->copy();
    EXPECT_EQ(copy->accessImgObj(), &image);
    EXPECT_EQ(copy->strName(), QString("A"));
    EXPECT_EQ(copy->enuModifyState(), 2);
    ASSERT_EQ(copy->maryOrgExifData().size(), 1);
    EXPECT_NE(copy->maryOrgExifData().first(), record->maryOrgExifData().first());
    EXPECT_EQ(copy->originalEntity("Exif.Image.Make", 0), record->originalEntity("Exif.Image.Make", 0));

    copy->setValue("Leica", "Exif.Image.Make", 0, false, false, true);
    EXPECT_EQ(record->getValueForKey("Exif.Image.Make", 0), QString("Canon"));
    record->clear(0);
    EXPECT_EQ(copy->getValueForKey("Iptc.Application2.Caption", 0), QString("Harbour"));
}

TEST(TAVExifDataTest, KeyFamilyComesFromTheCaseSensitivePrefix)
{
    EXPECT_EQ(TAVExifData::getKeyType("Exif.Photo.FNumber"), 2);
    EXPECT_EQ(TAVExifData::getKeyType("Iptc.Application2.Keywords"), 1);
    EXPECT_EQ(TAVExifData::getKeyType("Xmp.dc.title"), 3);
    EXPECT_EQ(TAVExifData::getKeyType("Summary.CreateTime"), 0);
    EXPECT_EQ(TAVExifData::getKeyType("exif.Photo.FNumber"), 0);
}

TEST(TAVExifDataTest, ArchiveRoundTripKeepsTheSettingAndClearsButNotTheEditState)
{
    TAVExifData::registerKeyedClass();
    const auto preset = readRecord();
    preset->setStrName("Holiday");
    preset->setIsDefault(true);
    preset->setStrImagePath("/photos/a.jpg");
    preset->setEnuModifyState(2);
    preset->mutableOrgExifData().append(TAVEntity::entityWithValue("", "EXIF"));
    preset->setValue("Nikon", "Exif.Image.Make", 0, false, false, true);
    preset->clear(3);
    preset->userSetEntity("Exif.Image.Make", 0)->setDispKey("Maker");
    TAVTimeOffsetInfo shift;
    shift.setDateOffsetNum(3);
    preset->setCreatedDateTimeOffset(shift);

    QString error;
    const auto back = KeyedUnarchiver::unarchive<TAVExifData>(KeyedArchiver::archivedData(preset), &error);
    ASSERT_TRUE(back) << qPrintable(error);
    EXPECT_EQ(back->strName(), QString("Holiday"));
    EXPECT_TRUE(back->isDefault());
    EXPECT_EQ(back->enuModifyState(), 2);
    EXPECT_TRUE(back->strImagePath().isNull());
    EXPECT_EQ(back->accessImgObj(), nullptr);
    ASSERT_EQ(back->maryOrgExifData().size(), 1);
    EXPECT_EQ(back->maryOrgExifData().first()->key(), QString("EXIF"));
    ASSERT_TRUE(back->createdDateTimeOffset().has_value());
    EXPECT_EQ(back->createdDateTimeOffset()->dateOffsetNum(), 3);

    const auto make = back->userSetEntity("Exif.Image.Make", 0);
    ASSERT_TRUE(make);
    EXPECT_EQ(make->value(), QString("Nikon"));
    EXPECT_EQ(make->dispKey(), QString("Maker"));
    EXPECT_FALSE(make->isModified());
    EXPECT_EQ(back->getValueFromOriginalDataForKey("Exif.Image.Make", 0), QString("Canon"));
    // A cleared key stays a clear: a preset applies it as one.
    EXPECT_TRUE(back->userSetEntity("Iptc.Application2.Caption", 0)->isClear());
    EXPECT_FALSE(back->userSetEntity("Iptc.Application2.Caption", 0)->isModified());
    EXPECT_EQ(back->getValueForKey("Exif.GPSInfo.GPSLatitude", 2), QString("37/1 46/1 2900/100"));

    // A record without a shift comes back without one, and clear-all survives.
    preset->setCreatedDateTimeOffset(std::nullopt);
    preset->clear(0);
    const auto plain = KeyedUnarchiver::unarchive<TAVExifData>(KeyedArchiver::archivedData(preset), &error);
    ASSERT_TRUE(plain) << qPrintable(error);
    EXPECT_FALSE(plain->createdDateTimeOffset().has_value());
    EXPECT_TRUE(plain->isClearAll());
}

TEST(TAVExifDataTest, OtherEntriesGetTheirUserSetCopiesBeforeAnyoneCanReachThem)
{
    // Each way in, taken first on a fresh record: the user-set entry is a
    // copy of the read one, and changing either leaves the other alone.
    const std::vector<std::pair<const char*, std::function<void(TAVExifData&)>>> ways = {
        {"lookup", [](TAVExifData& r) { r.getValueForKey("Xmp.dc.title", 3); }},
        {"read entry", [](TAVExifData& r) { r.originalEntity("Xmp.dc.title", 3)->setValue("Read"); }},
        {"read maps",
            [](TAVExifData& r) { r.mdicExifDataInfo().value("other").value("Xmp.dc.title")->setValue("Read"); }},
        {"copy", [](TAVExifData& r) { r.copy()->setValue("Copy", "Xmp.dc.title", 3, false, false, true); }},
        {"user-set maps", [](TAVExifData& r) { r.mdicUserSetExifDataInfo(); }},
        {"clear", [](TAVExifData& r) { r.clear(0); }},
    };
    for (const auto& [way, take] : ways) {
        SCOPED_TRACE(way);
        const auto record = readRecord();
        const TAVEntityPtr read = record->mdicExifDataInfo().value("other").value("Xmp.dc.title");
        take(*record);
        const TAVEntityPtr userSet = record->userSetEntity("Xmp.dc.title", 3);
        ASSERT_TRUE(userSet);
        EXPECT_NE(userSet, read);
        EXPECT_EQ(record->mdicUserSetExifDataInfo().value("other").size(), 3);
        EXPECT_TRUE(userSet->value() == "Boats" || (std::string(way) == "clear" && userSet->value() == ""));
        userSet->setValue("Mine");
        EXPECT_NE(read->value(), QString("Mine"));
    }

    // An edit reaches only the record edited, even when records share their
    // read entries; a category replaced before its copies are made keeps
    // the replacement.
    const auto record = readRecord();
    const auto twin = TAVExifData::create();
    twin->setMdicExifDataInfo(record->mdicExifDataInfo());
    twin->initImageExifData(record->mdicExifDataInfo().value("other"), TAVExifData::CategoryOther);
    EXPECT_TRUE(twin->setValue("Ships", "Xmp.dc.title", 3, false, false, true));
    twin->resetEnityModifyFlag(TAVExifData::CategoryOther);
    EXPECT_EQ(record->getValueForKey("Xmp.dc.title", 3), QString("Boats"));
    const auto replaced = readRecord();
    replaced->setImageExifData(entities({{"Xmp.dc.title", "Own"}}), TAVExifData::CategoryOther);
    EXPECT_EQ(replaced->getValueForKey("Xmp.dc.title", 3), QString("Own"));
    EXPECT_EQ(replaced->mdicUserSetExifDataInfo().value("other").size(), 1);
}

TEST(TAVExifDataTest, ModifiedEntitiesAreTheEditedOnesOfTheirCategory)
{
    const auto record = readRecord();
    EXPECT_TRUE(record->modifiedUserSetEntities(TAVExifData::CategoryOther).isEmpty());
    EXPECT_TRUE(record->setValue("Ships", "Xmp.dc.title", 3, false, false, true));
    const TAVEntityList edited = record->modifiedUserSetEntities(TAVExifData::CategoryOther);
    ASSERT_EQ(edited.size(), 1);
    EXPECT_EQ(edited.first(), record->userSetEntity("Xmp.dc.title", 3));
    EXPECT_EQ(edited.first()->value(), QString("Ships"));
    EXPECT_TRUE(record->modifiedUserSetEntities(TAVExifData::CategorySummary).isEmpty());
    record->resetEnityModifyFlag(TAVExifData::CategoryOther);
    EXPECT_TRUE(record->modifiedUserSetEntities(TAVExifData::CategoryOther).isEmpty());
}

TEST(TAVExifDataTest, OtherCopiesAreMadeOnceWhenThreadsAskTogether)
{
    for (int round = 0; round < 20; ++round) {
        const auto record = readRecord();
        std::vector<std::thread> threads;
        std::vector<TAVEntityPtr> found(4);
        for (size_t i = 0; i < found.size(); ++i)
            threads.emplace_back([&, i] { found[i] = record->userSetEntity("Iptc.Application2.City", 3); });
        for (auto& thread : threads)
            thread.join();
        for (const TAVEntityPtr& entity : found)
            EXPECT_EQ(entity, found.front());
        EXPECT_EQ(found.front()->value(), QString("Kiel"));
    }
}

TEST(TAVExifDataTest, OtherCategoryFromRowsHoldsTheRowsAsTheyWereWhenMade)
{
    const auto rowsRecord = [] {
        auto record = TAVExifData::create();
        for (const auto& [key, value] : std::vector<std::pair<QString, QString>>{{"EXIF", ""},
                 {"Exif.Photo.LightSource", "1"}, {"Exif.Image.Make", "Canon"}, {"", "keyless"},
                 {"Exif.Photo.LightSource", "2"}, {"Xmp.dc.title", "Boats"}})
            record->mutableOrgExifData().append(TAVEntity::entityWithValue(value, key));
        record->initOtherFromRows();
        return record;
    };
    const QStringList expected = {"EXIF", "Exif.Photo.LightSource", "Xmp.dc.title"};
    const std::vector<std::function<void(TAVExifData&)>> firstReaches = {
        [](TAVExifData& r) { r.mutableOrgExifData().append(TAVEntity::entityWithValue("late", "Exif.Photo.Late")); },
        [](TAVExifData& r) { r.mdicExifDataInfo(); },
        [](TAVExifData& r) { r.getValueForKey("Exif.Photo.LightSource", 3); },
    };
    for (const auto& reach : firstReaches) {
        SCOPED_TRACE(&reach - firstReaches.data());
        const auto record = rowsRecord();
        reach(*record);
        const TAVEntityMap read = record->mdicExifDataInfo().value("other");
        EXPECT_EQ(read.keys(), expected);
        EXPECT_EQ(record->getValueForKey("Exif.Photo.LightSource", 3), QString("2"));
        EXPECT_EQ(read.value("Xmp.dc.title"), record->maryOrgExifData().at(5));
        EXPECT_NE(record->userSetEntity("Xmp.dc.title", 3), read.value("Xmp.dc.title"));
    }
}

// A tab looking at a photo's other tags reads what the copies would hold
// without making them (every other tag of every photo viewed would be kept
// twice); an edit then reads as the edit.
TEST(TAVExifDataTest, LookingAtOtherTagsAnswersAsTheCopiesWouldUntilOneIsEdited)
{
    const auto fromRows = [] {
        auto record = TAVExifData::create();
        for (const auto& [key, value] : std::vector<std::pair<QString, QString>>{{"Exif.Photo.LightSource", "1"},
                 {"Exif.Image.Make", "Canon"}, {"Exif.Photo.LightSource", "2"}, {"Xmp.dc.title", "Boats"}})
            record->mutableOrgExifData().append(TAVEntity::entityWithValue(value, key));
        record->initOtherFromRows();
        return record;
    };
    const QStringList keys = {"Exif.Photo.LightSource", "Exif.Image.Make", "Xmp.dc.title", "Xmp.dc.none", ""};
    for (const auto& make : std::vector<std::function<TAVExifDataPtr()>>{fromRows, readRecord}) {
        const TAVExifDataPtr looked = make();
        const TAVExifDataPtr copied = make();
        copied->mdicUserSetExifDataInfo();
        for (const QString& key : keys) {
            SCOPED_TRACE(qPrintable(key));
            EXPECT_EQ(looked->getValueForKey(key, 3), copied->getValueForKey(key, 3));
            EXPECT_EQ(looked->getValueForKey(key, 3).isNull(), copied->getValueForKey(key, 3).isNull());
            EXPECT_EQ(looked->getToolTipsForKey(key, 3), copied->getToolTipsForKey(key, 3));
            EXPECT_FALSE(looked->isModifiedForKey(key, 3));
        }
        EXPECT_TRUE(looked->setValue("Ships", "Xmp.dc.title", 3, false, false, true));
        EXPECT_EQ(looked->getValueForKey("Xmp.dc.title", 3), QString("Ships"));
        EXPECT_TRUE(looked->isModifiedForKey("Xmp.dc.title", 3));
        EXPECT_EQ(looked->getValueFromOriginalDataForKey("Xmp.dc.title", 3), QString("Boats"));
    }
    EXPECT_EQ(fromRows()->getValueForKey("Exif.Photo.LightSource", 3), QString("2")) << "the last row of a key";
}

// Asking whether a photo holds edits, as a clone or a rename over every photo
// does first, finds an edit in any category, the other tags' included once
// their copies exist (they are not made for the question).
TEST(TAVExifDataTest, AskingForEditsFindsAnEditInAnyCategory)
{
    auto record = TAVExifData::create();
    record->mutableOrgExifData().append(TAVEntity::entityWithValue("Boats", "Xmp.dc.title"));
    record->initOtherFromRows();
    EXPECT_FALSE(record->hasEditedEntries());
    record->mdicUserSetExifDataInfo();
    EXPECT_FALSE(record->hasEditedEntries());
    EXPECT_TRUE(record->setValue("Ships", "Xmp.dc.title", 3, false, false, true));
    EXPECT_TRUE(record->hasEditedEntries());

    const auto read = readRecord();
    EXPECT_FALSE(read->hasEditedEntries());
    EXPECT_TRUE(read->setValue("Lisbon", "Iptc.Application2.Caption", 0, false, false, true));
    EXPECT_TRUE(read->hasEditedEntries());
}

// A record keeps its values read until something sets one: the user-set
// copies of a category are made then. Every way an edit reaches a photo
// finds them made (an edit that found none would be lost without a word),
// and a record never edited restores, settles and saves nothing.
TEST(TAVExifDataTest, EveryWayToEditAFreshRecordReachesItsUserSetValues)
{
    struct Edit {
        const char* way;
        std::function<void(TAVExifData&)> apply;
        int32_t category;
        QString key;
        QString value;
    };
    const auto editedShown = [](const QString& key, int32_t category, const QString& value) {
        auto shown = readRecord();
        shown->setValue(value, key, category, false, false, true);
        return shown;
    };
    const std::vector<Edit> edits = {
        {"typed", [](TAVExifData& r) { r.setValue("Nikon", "Exif.Image.Make", 0, false, false, true); }, 0,
            "Exif.Image.Make", "Nikon"},
        {"shown edit",
            [&](TAVExifData& r) { r.applyChangeValueFromExifData(*editedShown("Exif.Photo.FNumber", 1, "4")); }, 1,
            "Exif.Photo.FNumber", "4"},
        {"setting",
            [&](TAVExifData& r) { r.applyToNewExifDataSetting(*editedShown("Iptc.Application2.Caption", 0, "Quay")); },
            0, "Iptc.Application2.Caption", "Quay"},
        {"GPS clear", [](TAVExifData& r) { r.clearGPS(); }, 2, "Exif.GPSInfo.GPSLatitude", ""},
        {"EXIF clear", [](TAVExifData& r) { r.clear(TAVExifData::ClearExif); }, 1, "Exif.Photo.Flash", "Unknown"},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.way);
        const auto record = readRecord();
        const QString read = record->getValueForKey(edit.key, edit.category);
        edit.apply(*record);
        EXPECT_EQ(record->getValueForKey(edit.key, edit.category), edit.value);
        EXPECT_TRUE(record->isModifiedForKey(edit.key, edit.category));
        EXPECT_TRUE(record->hasEditedEntries());
        const TAVEntityList saved = record->modifiedUserSetEntities(edit.category);
        EXPECT_TRUE(
            std::any_of(saved.cbegin(), saved.cend(), [&](const TAVEntityPtr& e) { return e->key() == edit.key; }));
        EXPECT_EQ(record->getValueFromOriginalDataForKey(edit.key, edit.category), read);
    }

    const auto untouched = readRecord();
    untouched->restore();
    untouched->removeModifyFlag();
    for (int32_t category = 0; category <= 3; ++category) {
        untouched->resetEnityModifyFlag(category);
        EXPECT_TRUE(untouched->modifiedUserSetEntities(category).isEmpty());
    }
    EXPECT_FALSE(untouched->hasEditedEntries());
    EXPECT_FALSE(untouched->isGPSModified());
    EXPECT_EQ(untouched->getValueForKey("Exif.Image.Make", 0), QString("Canon"));
    EXPECT_EQ(untouched->copy()->getValueForKey("Exif.Photo.Flash", 1), QString("Fired"));
}
