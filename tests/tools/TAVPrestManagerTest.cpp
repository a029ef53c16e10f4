// The presets store: what it reads back, what it never touches, and how a
// rename keeps every preset file whole.
#include "tools/TAVPrestManager.h"

#include "PresetsTestSupport.h"

#include "foundation/KeyedArchiver.h"

#include "support/QtPrinters.h"
#include "support/StrictUmask.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using namespace PresetsTest;

class PresetsStoreTest : public PresetsFolderTest { };

TEST_F(PresetsStoreTest, MissingOrEmptyFolderHoldsNoPresets)
{
    EXPECT_FALSE(store().loadPresets().has_value());
    EXPECT_EQ(store().presetWithName("A"), nullptr);
    EXPECT_FALSE(FileServices::isFolder(folder())) << "reading must not create the folder";

    EXPECT_EQ(store().presetsDataSavePath(), folder());
    ASSERT_TRUE(FileServices::isFolder(folder()));
    EXPECT_FALSE(store().loadPresets().has_value());
    EXPECT_EQ(store().presetWithName("A"), nullptr);

    // Something in the folder, even nothing readable, gives a list.
    ASSERT_TRUE(put(file("notes.txt"), "hello"));
    ASSERT_TRUE(store().loadPresets().has_value());
    EXPECT_TRUE(store().loadPresets()->isEmpty());
}

TEST_F(PresetsStoreTest, StoredRecordComesBackUnmarkedWithShiftAndFileDateFlag)
{
    auto preset = record("Holiday", {{"Exif.Image.Make", "Canon"}, {"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(preset->setValue(
        "Nikon", "Exif.Image.Make", TAVExifData::getLocalShowKeyType("Exif.Image.Make"), false, true, true));
    preset->setEnuModifyState(TAVExifData::StateModified);
    TAVTimeOffsetInfo shift;
    shift.setDateUnit(TAVTimeOffsetInfo::Day);
    shift.setDateOffsetNum(2);
    shift.setTimeUnit(TAVTimeOffsetInfo::Minute);
    shift.setTimeOffsetNum(30);
    preset->setCreatedDateTimeOffset(shift);
    preset->setIsApplyToFileCreatedDateTime(true);
    ASSERT_TRUE(store().addPreset(preset));

    const auto loaded = store().loadPresets();
    ASSERT_TRUE(loaded.has_value());
    ASSERT_EQ(loaded->size(), 1);
    const TAVExifDataPtr back = loaded->first();
    EXPECT_EQ(back->strName(), QStringLiteral("Holiday"));
    EXPECT_EQ(back->enuModifyState(), TAVExifData::StateUnchanged);
    const int category = TAVExifData::getLocalShowKeyType("Exif.Image.Make");
    EXPECT_EQ(back->getValueForKey("Exif.Image.Make", category), QStringLiteral("Nikon"));
    EXPECT_FALSE(back->isModifiedForKey("Exif.Image.Make", category));
    EXPECT_EQ(back->getValueForKey("Exif.Image.Artist", TAVExifData::getLocalShowKeyType("Exif.Image.Artist")),
        QStringLiteral("Ann"));
    ASSERT_TRUE(back->createdDateTimeOffset().has_value());
    EXPECT_TRUE(*back->createdDateTimeOffset() == shift);
    EXPECT_TRUE(back->isApplyToFileCreatedDateTime());
    EXPECT_TRUE(store().presetWithName("Holiday") != nullptr);

    const QJsonObject document = QJsonDocument::fromJson(contents(file("Holiday.data"))).object();
    EXPECT_EQ(document.value("$top").toObject().value("$class").toString(), QStringLiteral("TAVExifData"));
}

TEST_F(PresetsStoreTest, ForeignHiddenAndDamagedFilesAreSkippedAndKept)
{
    addPreset("Good", {{"Exif.Image.Make", "Canon"}});
    const QByteArray good = contents(file("Good.data"));
    const TAVEntityPtr entity = TAVEntity::entityWithValue("x", "Exif.Image.Make");
    const std::vector<std::pair<QString, QByteArray>> others = {
        {".hidden.data", good},
        {"notes.txt", "my notes"},
        {"bad.data", good.left(good.size() / 2)},
        {"entity.data", KeyedArchiver::archivedData(entity.get())},
        {"Good.data.bak", good},
    };
    for (const auto& [name, data] : others) {
        ASSERT_TRUE(put(file(name), data));
    }
    ASSERT_TRUE(QDir(folder()).mkdir("Folder.data"));

    EXPECT_EQ(storedNames(), QStringList{"Good"});
    for (const auto& [name, data] : others) {
        EXPECT_EQ(contents(file(name)), data) << name.toStdString();
    }
    EXPECT_TRUE(FileServices::isFolder(file("Folder.data")));
}

TEST_F(PresetsStoreTest, RenameWritesTheNewFileAndKeepsOtherPresetsWhole)
{
    addPreset("A", {{"Exif.Image.Make", "Canon"}});
    addPreset("B", {{"Exif.Image.Make", "Nikon"}});

    // Onto another preset's name: refused, both files as they were.
    const QByteArray a = contents(file("A.data"));
    const QByteArray b = contents(file("B.data"));
    const TAVExifDataPtr presetA = store().presetWithName("A");
    ASSERT_TRUE(presetA != nullptr);
    EXPECT_FALSE(store().updatePreset(presetA, "B"));
    EXPECT_EQ(presetA->strName(), QStringLiteral("A"));
    EXPECT_EQ(contents(file("A.data")), a);
    EXPECT_EQ(contents(file("B.data")), b);

    // A write that fails (a folder stands where the file would go) keeps A.
    ASSERT_TRUE(QDir(folder()).mkdir("C.data"));
    EXPECT_FALSE(store().updatePreset(presetA, "C"));
    EXPECT_EQ(presetA->strName(), QStringLiteral("A"));
    EXPECT_EQ(contents(file("A.data")), a);

    // A real rename.
    EXPECT_TRUE(store().updatePreset(presetA, "D"));
    EXPECT_EQ(presetA->strName(), QStringLiteral("D"));
    EXPECT_FALSE(FileServices::fileExists(file("A.data")));
    EXPECT_EQ(storedNames(), (QStringList{"B", "D"}));

    // Its own name: the file is written again with what the record holds
    // now, keeping the mode the user gave it.
    const int category = TAVExifData::getLocalShowKeyType("Exif.Image.Make");
    presetA->setValue("Leica", "Exif.Image.Make", category, false, true, true);
    const StrictUmask strictUmask;
    ASSERT_TRUE(StrictUmask::setMode(file("D.data"), 0640));
    EXPECT_TRUE(store().updatePreset(presetA, "D"));
    EXPECT_EQ(StrictUmask::modeOf(file("D.data")), mode_t(0640));
    EXPECT_FALSE(presetA->isModifiedForKey("Exif.Image.Make", category));
    EXPECT_EQ(store().presetWithName("D")->getValueForKey("Exif.Image.Make", category), QStringLiteral("Leica"));
    EXPECT_EQ(storedNames(), (QStringList{"B", "D"}));
}

TEST_F(PresetsStoreTest, NamesThatWouldLeaveOrHideInTheFolderAreRefused)
{
    addPreset("Kept", {{"Exif.Image.Make", "Canon"}});
    const QString parent = VXFileLocalManager::appSupportDirectory();
    ASSERT_TRUE(put(QDir(parent).filePath("x.data"), "someone else's"));
    const QStringList parentBefore = FileServices::contentsOfFolder(parent);
    const QStringList folderBefore = FileServices::contentsOfFolder(folder());

    const QString tooLong(252, QLatin1Char('n')); // 257 bytes with ".data"
    for (const QString& name : {QString("../x"), QString("a/b"), QString("."), QString(".."), QString(".x"),
             QString(""), QString(), tooLong}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(TAVPrestManager::isValidPresetName(name));
        EXPECT_FALSE(store().addPreset(record(name, {{"Exif.Image.Make", "Evil"}})));
        EXPECT_FALSE(store().updatePreset(store().presetWithName("Kept"), name));
        store().deletePreset(name);
        EXPECT_EQ(store().presetWithName(name), nullptr);
    }
    EXPECT_EQ(FileServices::contentsOfFolder(parent), parentBefore);
    EXPECT_EQ(FileServices::contentsOfFolder(folder()), folderBefore);
    EXPECT_EQ(storedNames(), QStringList{"Kept"});
    EXPECT_TRUE(TAVPrestManager::isValidPresetName(QString(250, QLatin1Char('n'))));
    EXPECT_TRUE(TAVPrestManager::isValidPresetName("Summer 2024 (Ann's)"));
}

TEST_F(PresetsStoreTest, ListingIsByNameIgnoringCaseAndTheFirstOfOneNameWins)
{
    addPreset("b", {{"Exif.Image.Make", "first-b"}});
    addPreset("C", {{"Exif.Image.Make", "C"}});
    addPreset("a", {{"Exif.Image.Make", "a"}});
    addPreset("B", {{"Exif.Image.Make", "second-B"}});
    EXPECT_EQ(storedNames(), (QStringList{"a", "B", "b", "C"}));

    // Two files whose records carry one name.
    ASSERT_TRUE(FileServices::copyItem(file("b.data"), file("A2.data")));
    ASSERT_TRUE(FileServices::copyItem(file("C.data"), file("A1.data")));
    auto changed = store().presetWithName("C");
    changed->setStrName("b");
    ASSERT_TRUE(KeyedArchiver::archiveRootObject(changed.get(), file("A1.data")));
    const TAVExifDataPtr found = store().presetWithName("b");
    ASSERT_TRUE(found != nullptr);
    EXPECT_EQ(found->getValueForKey("Exif.Image.Make", TAVExifData::getLocalShowKeyType("Exif.Image.Make")),
        QStringLiteral("C"));

    store().deletePreset("B");
    EXPECT_FALSE(FileServices::fileExists(file("B.data")));
    EXPECT_TRUE(FileServices::fileExists(file("b.data")));
    store().deletePreset("missing");
}

} // namespace
