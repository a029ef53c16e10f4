#include "app/TAVFolderMigration.h"
#include "app/TAVAppDelegate.h"
#include "foundation/FileServices.h"
#include "foundation/UserDefaults.h"
#include "foundation/VXFileLocalManager.h"
#include "support/QtPrinters.h"
#include "support/TempFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

class FolderMigrationTest : public TempFolderTest {
protected:
    TAVFolderMigration::Folders folders() const
    {
        return {tempPath(QStringLiteral("share/Lumetta/Lumetta")), tempPath(QStringLiteral("share/lumetta")),
            tempPath(QStringLiteral("config/Lumetta/Lumetta.conf")),
            tempPath(QStringLiteral("config/lumetta/lumetta.conf"))};
    }

    static void write(const QString& path, const QByteArray& data)
    {
        ASSERT_TRUE(FileServices::createFolder(QFileInfo(path).absolutePath()));
        ASSERT_TRUE(FileServices::writeFileAtomically(path, data));
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // What an earlier version left: settings, two presets, working copies,
    // the written-out help page and its instance lock.
    void writeEarlierVersion() const
    {
        const auto old = folders();
        write(old.oldSettings, "[General]\nremember_photo_list_size=false\n");
        write(old.oldData + QStringLiteral("/Presets/Holiday.preset"), "holiday");
        write(old.oldData + QStringLiteral("/Presets/Studio.preset"), "studio");
        write(old.oldData + QStringLiteral("/Temp/src_temp/IMG_0001.JPG"), "a working copy");
        write(old.oldData + QStringLiteral("/Help/Frequently Asked Questions.html"), "<html/>");
        write(old.oldData + QStringLiteral("/instance.lock"), "1234\n");
    }
};

} // namespace

TEST_F(FolderMigrationTest, SettingsAndPresetsAreCopiedToTheEmptyNewPlaceWithoutTheThrowAwayFiles)
{
    writeEarlierVersion();
    const auto paths = folders();
    // The new data folder exists already but is empty (made by a first look-up).
    ASSERT_TRUE(FileServices::createFolder(paths.newData));

    TAVFolderMigration::adoptOldFolders(paths);

    EXPECT_EQ(read(paths.newSettings), read(paths.oldSettings));
    EXPECT_EQ(FileServices::subpathsOfFolder(paths.newData),
        (QStringList{"Presets", "Presets/Holiday.preset", "Presets/Studio.preset"}));
    EXPECT_EQ(read(paths.newData + QStringLiteral("/Presets/Studio.preset")), QByteArray("studio"));
    EXPECT_FALSE(QFileInfo::exists(paths.newData + QStringLiteral(".adopting")));
    // The earlier version still finds everything of its own.
    EXPECT_TRUE(QFileInfo::exists(paths.oldData + QStringLiteral("/Presets/Holiday.preset")));
    EXPECT_TRUE(QFileInfo::exists(paths.oldData + QStringLiteral("/Temp/src_temp/IMG_0001.JPG")));

    // Read through the user defaults as the application reads them.
    UserDefaults defaults(paths.newSettings);
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("remember_photo_list_size")));
}

TEST_F(FolderMigrationTest, WhatTheNewPlaceAlreadyHoldsIsNeverReplaced)
{
    writeEarlierVersion();
    const auto paths = folders();
    write(paths.newSettings, "[General]\nremember_photo_list_size=true\n");
    write(paths.newData + QStringLiteral("/Presets/New.preset"), "new");

    TAVFolderMigration::adoptOldFolders(paths);

    EXPECT_EQ(read(paths.newSettings), QByteArray("[General]\nremember_photo_list_size=true\n"));
    EXPECT_EQ(FileServices::subpathsOfFolder(paths.newData), (QStringList{"Presets", "Presets/New.preset"}));

    // Nothing earlier at all: nothing is made.
    TempFolder fresh;
    const TAVFolderMigration::Folders none{
        fresh.filePath("old"), fresh.filePath("new"), fresh.filePath("old.conf"), fresh.filePath("new.conf")};
    TAVFolderMigration::adoptOldFolders(none);
    EXPECT_TRUE(FileServices::contentsOfFolder(fresh.path()).isEmpty());
}

TEST_F(FolderMigrationTest, TheStandardFoldersAreTheUndoubledOnesOfThisUser)
{
    const auto paths = TAVFolderMigration::standardFolders();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_EQ(paths.oldData, data + QStringLiteral("/Lumetta/Lumetta"));
    EXPECT_EQ(paths.newData, data + QStringLiteral("/lumetta"));
    EXPECT_EQ(VXFileLocalManager::appHomeDirectory(), paths.newData);
    EXPECT_TRUE(paths.oldSettings.endsWith(QStringLiteral("/Lumetta/Lumetta.ini"))
        || paths.oldSettings.endsWith(QStringLiteral("/Lumetta/Lumetta.conf")))
        << paths.oldSettings.toStdString();
    EXPECT_EQ(paths.newSettings, UserDefaults::standardFilePath());
    EXPECT_TRUE(paths.newSettings.contains(QStringLiteral("/lumetta/lumetta."))) << paths.newSettings.toStdString();

    // Working copies live in the cache folder, apart from the data folder that backups copy.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    EXPECT_TRUE(cache.endsWith(QStringLiteral("/lumetta"))) << cache.toStdString();
    EXPECT_EQ(TAVAppDelegate::tempRootPath(), cache + QStringLiteral("/Temp"));
    EXPECT_FALSE(TAVAppDelegate::tempRootPath().startsWith(paths.newData + QLatin1Char('/')));
}

TEST_F(FolderMigrationTest, TheEarlierTempFolderGoesUnlessAnEarlierVersionRunsThere)
{
    writeEarlierVersion();
    const QString earlier = folders().oldData;
    QFile::remove(earlier + QStringLiteral("/instance.lock"));
    {
        QLockFile running(earlier + QStringLiteral("/instance.lock"));
        ASSERT_TRUE(running.tryLock(0));
        TAVAppDelegate::removeEarlierTempFolder(earlier);
        EXPECT_TRUE(QFileInfo::exists(earlier + QStringLiteral("/Temp/src_temp/IMG_0001.JPG")));
    }
    TAVAppDelegate::removeEarlierTempFolder(earlier);
    EXPECT_FALSE(QFileInfo::exists(earlier + QStringLiteral("/Temp")));
    EXPECT_EQ(FileServices::contentsOfFolder(earlier), (QStringList{"Help", "Presets"}));

    // A Temp that is a link: the link goes, never what it points at.
    TempFolder outside;
    write(outside.filePath(QStringLiteral("keep.jpg")), "keep");
    ASSERT_TRUE(QFile::link(outside.path(), earlier + QStringLiteral("/Temp")));
    TAVAppDelegate::removeEarlierTempFolder(earlier);
    EXPECT_FALSE(QFileInfo(earlier + QStringLiteral("/Temp")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("keep.jpg"))));
}
