// What a save does to a photo when the disk fills, the file is damaged, another
// program changed it, or the process is killed: the user's file is either the
// old version or the complete new one, and a failed save says so.

#include "models/image/TAVImageObject.h"

#include "foundation/DateServices.h"
#include "foundation/FileServices.h"
#include "foundation/UiServices.h"
#include "foundation/UserDefaults.h"

#include "models/image/ImageImportTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/DiskCallsProbe.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/FileSizeLimit.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"
#include "support/StrictUmask.h"
#include "support/TempFolder.h"
#include "support/UnprivilegedStep.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ImageFixtures::Tag;

uint32_t read32(const QByteArray& bytes, qsizetype at, bool little)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t byte = uint8_t(bytes.at(at + (little ? 3 - i : i)));
        value = (value << 8) | byte;
    }
    return value;
}

uint16_t read16(const QByteArray& bytes, qsizetype at, bool little)
{
    const uint16_t first = uint8_t(bytes.at(at));
    const uint16_t second = uint8_t(bytes.at(at + 1));
    return little ? uint16_t(first | (second << 8)) : uint16_t((first << 8) | second);
}

void write16(QByteArray& bytes, qsizetype at, bool little, uint16_t value)
{
    bytes[at + (little ? 0 : 1)] = char(value & 0xFF);
    bytes[at + (little ? 1 : 0)] = char(value >> 8);
}

// Calls `patch` with the position of each entry of the first directory of the
// TIFF structure that starts at `tiff`.
void forEachEntry(QByteArray& bytes, qsizetype tiff, const std::function<void(qsizetype, bool)>& patch)
{
    const bool little = bytes.at(tiff) == 'I';
    const qsizetype directory = tiff + read32(bytes, tiff + 4, little);
    const int count = read16(bytes, directory, little);
    for (int i = 0; i < count; ++i)
        patch(directory + 2 + 12 * i, little);
}

bool rewrite(const QString& path, const std::function<void(QByteArray&)>& change)
{
    QByteArray bytes = WrittenFileProbe::bytes(path);
    change(bytes);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class SaveRoadSafetyTest : public ImageImportTest<FakeUiServices> {
protected:
    static void editArtist(const TAVImageObjectPtr& image, const QString& artist)
    {
        image->exifData()->setValue(artist, "Exif.Image.Artist", 0, false, false, true);
    }

    // The save either failed and left the user's file as it was, or it
    // succeeded and exiftool reads the edit and every value it read before.
    void expectWholeOrUntouched(
        const TAVImageObjectPtr& image, bool saved, const QByteArray& before, const QJsonObject& tagsBefore)
    {
        if (!saved) {
            EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), before);
            EXPECT_EQ(image->exifData()->enuModifyState(), 4);
            return;
        }
        QJsonObject tagsAfter = ExifTool::read(image->srcPath(), {"-n"});
        EXPECT_EQ(tagsAfter.take("IFD0:Artist").toString(), QString("Lumetta Tester"));
        for (auto it = tagsBefore.begin(); it != tagsBefore.end(); ++it) {
            if (!it.key().startsWith("System:") && !it.key().startsWith("File:") && it.key() != "IFD0:Artist") {
                EXPECT_EQ(tagsAfter.value(it.key()), it.value()) << qPrintable(it.key());
            }
        }
    }
};

} // namespace

TEST_F(SaveRoadSafetyTest, AFullDiskFailsTheSaveAndTheRetryPublishesTheWholePhoto)
{
    const QString user = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user"));
    const QByteArray original = WrittenFileProbe::bytes(user);
    const QImage pixels(user);
    const auto image = openWorkingCopy(user);
    editArtist(image, "Lumetta Tester");

    // Writes past 16 KiB fail, as on a disk with that much room left.
    bool savedOnFullDisk = true;
    {
        const FileSizeLimit fullDisk(16 * 1024);
        ASSERT_TRUE(fullDisk.isActive());
        savedOnFullDisk = image->saveMetadataToImage();
    }

    EXPECT_FALSE(savedOnFullDisk);
    EXPECT_EQ(image->exifData()->enuModifyState(), 4);
    EXPECT_EQ(ui_.alerts().size(), 1);
    // The user learns why the disk refused the new file.
    EXPECT_TRUE(image->lastSaveFailure().startsWith("The file could not be replaced: "))
        << qPrintable(image->lastSaveFailure());
    EXPECT_TRUE(image->lastSaveFailure().contains(user)) << qPrintable(image->lastSaveFailure());
    EXPECT_TRUE(image->lastSaveFailure().endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(WrittenFileProbe::bytes(user), original);
    EXPECT_EQ(WrittenFileProbe::bytes(image->path()), original);
    EXPECT_EQ(FileServices::contentsOfFolder(tempPath("user")), QStringList{"npm-canon-s40.jpg"});

    // Room again: the retry publishes a complete photo with the edit.
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(QImage(user), pixels);
}

TEST_F(SaveRoadSafetyTest, DamagedFilesAreSavedWholeOrLeftAsTheyWere)
{
    UserDefaults::standard().setBool(true, "save_continue_after_error");
    const auto renameStripByteCounts = [](QByteArray& bytes) {
        forEachEntry(bytes, 0, [&bytes](qsizetype entry, bool little) {
            if (read16(bytes, entry, little) == 0x0117)
                write16(bytes, entry, little, 0x0118);
        });
    };
    const auto unreadableDirectory = [](QByteArray& bytes) {
        const bool little = bytes.at(0) == 'I';
        write16(bytes, read32(bytes, 4, little), little, 0xFFFF);
    };
    // The copyright declares the artist's value area as its own.
    const auto overlappingValues = [](QByteArray& bytes) {
        const qsizetype tiff = bytes.indexOf(QByteArray("Exif\0\0", 6)) + 6;
        qsizetype artistOffset = -1;
        forEachEntry(bytes, tiff, [&](qsizetype entry, bool little) {
            const uint16_t tag = read16(bytes, entry, little);
            if (tag == 0x013B)
                artistOffset = entry + 8;
            if (tag == 0x8298 && artistOffset > 0)
                bytes.replace(entry + 8, 4, bytes.mid(artistOffset, 4));
        });
    };
    const auto withoutHeaderChunk = [](QByteArray& bytes) { bytes.remove(8, 12 + 13); };
    struct Damage {
        const char* sample;
        std::function<void(QByteArray&)> change;
        bool mustFail;
    };
    const Damage damages[] = {
        {"goexif.tif", renameStripByteCounts, true},
        {"npm-arbitro.tiff", renameStripByteCounts, true},
        {"goexif.tif", unreadableDirectory, true},
        {"overlap.jpg", overlappingValues, false},
        {"png-sony-gps.png", withoutHeaderChunk, false},
    };
    int round = 0;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.sample);
        const QString folder = tempPath(QString("user/%1").arg(++round));
        QDir().mkpath(folder);
        QString user = folder + "/" + damage.sample;
        if (QString(damage.sample) == "overlap.jpg") {
            ASSERT_TRUE(ImageFixtures::makeImageWithTags(user,
                {Tag{"Exif.Image.Artist", "Ann Example", std::nullopt},
                    Tag{"Exif.Image.Copyright", "Copyright Holder", std::nullopt}}));
        } else {
            user = ImageFixtures::copySample(damage.sample, folder);
        }
        ASSERT_TRUE(rewrite(user, damage.change));
        const QByteArray before = WrittenFileProbe::bytes(user);
        const QJsonObject tagsBefore = ExifTool::read(user, {"-n"});

        QDir().mkpath(tempPath(QString("work/%1").arg(round)));
        const QString work = tempPath(QString("work/%1/%2").arg(round).arg(damage.sample));
        ASSERT_TRUE(FileServices::copyItem(user, work));
        const auto image = TAVImageObject::create(work);
        image->setSrcPath(user);
        editArtist(image, "Lumetta Tester");
        const bool saved = image->saveMetadataToImage();
        if (damage.mustFail) {
            EXPECT_FALSE(saved);
        }
        expectWholeOrUntouched(image, saved, before, tagsBefore);

        image->clear(0);
        const bool cleared = image->saveMetadataToImage();
        if (damage.mustFail) {
            EXPECT_FALSE(cleared);
            EXPECT_EQ(WrittenFileProbe::bytes(user), before);
        }
        // New bytes that failed their check leave nothing beside the photo.
        EXPECT_EQ(FileServices::contentsOfFolder(folder), QStringList{QFileInfo(user).fileName()});
    }
}

TEST_F(SaveRoadSafetyTest, AFileChangedOrReplacedByALinkSinceTheImportIsNotOverwritten)
{
    const QString user = tempPath("user/photo.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(user, {Tag{"Exif.Image.Artist", "Ann", std::nullopt}}));
    const auto image = openWorkingCopy(user);
    // Another program writes a newer version.
    ASSERT_TRUE(ImageFixtures::writeTags(user, {Tag{"Exif.Image.Artist", "Other program", std::nullopt}}));
    const QByteArray newer = WrittenFileProbe::bytes(user);
    const QByteArray working = WrittenFileProbe::bytes(image->path());
    editArtist(image, "Lumetta Tester");

    EXPECT_FALSE(image->saveMetadataToImage());
    EXPECT_EQ(image->exifData()->enuModifyState(), 4);
    EXPECT_EQ(WrittenFileProbe::bytes(user), newer);
    EXPECT_EQ(WrittenFileProbe::bytes(image->path()), working);
    ASSERT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(ui_.alerts().first().message,
        QString("The file was changed by another program since it was imported: photo.jpg"));

    // A save loop names all such files in one alert.
    {
        TAVImageObject::ChangedFilesAlert loopAlert;
        for (const char* name : {"a.jpg", "b.jpg"}) {
            const QString path = tempPath(QString("user/") + name);
            ASSERT_TRUE(ImageFixtures::makeImage(path));
            const auto changed = openWorkingCopy(path);
            ASSERT_TRUE(ImageFixtures::writeTags(path, {Tag{"Exif.Image.Artist", "Other program", std::nullopt}}));
            editArtist(changed, "Lumetta Tester");
            EXPECT_FALSE(changed->saveMetadataToImage());
        }
        EXPECT_EQ(ui_.alerts().size(), 1);
    }
    ASSERT_EQ(ui_.alerts().size(), 2);
    EXPECT_EQ(ui_.alerts().last().message,
        QString("The files were changed by another program since they were imported: a.jpg, b.jpg"));

    // The path swapped for a link to another photo: that photo stays as it is.
    const QString linked = tempPath("user/linked.jpg");
    ASSERT_TRUE(ImageFixtures::makeImageWithTags(linked, {Tag{"Exif.Image.Artist", "Ann", std::nullopt}}));
    const auto second = openWorkingCopy(linked);
    const QString elsewhere = tempPath("elsewhere.jpg");
    ASSERT_TRUE(FileServices::moveItem(linked, elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, linked));
    const QByteArray elsewhereBytes = WrittenFileProbe::bytes(elsewhere);
    editArtist(second, "Lumetta Tester");
    EXPECT_FALSE(second->saveMetadataToImage());
    EXPECT_EQ(WrittenFileProbe::bytes(elsewhere), elsewhereBytes);
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
}

// Another program writes or replaces the photo while a save runs: while the
// new bytes are flushed (the work the writer's hook starts as soon as the
// bytes are made), when the save puts them in place, and there on a file
// system that cannot exchange two files. Its version is kept every time,
// the save fails with the changed-file alert, and nothing is left beside it.
TEST_F(SaveRoadSafetyTest, AFileChangedWhileTheSaveRunsIsNeverOverwritten)
{
    struct Change {
        const char* name;
        std::function<void(const QString&)> make;
    };
    const std::vector<Change> changes = {
        {"rewritten in place",
            [](const QString& path) { ASSERT_TRUE(rewrite(path, [](QByteArray& bytes) { bytes.append("more"); })); }},
        // Same inode and length: only the content and the time differ.
        {"rewritten in place with the same length",
            [](const QString& path) {
                ASSERT_TRUE(rewrite(path, [](QByteArray& bytes) {
                    const qsizetype artist = bytes.indexOf("Ann");
                    ASSERT_GT(artist, 0);
                    bytes.replace(artist, 3, "Bob");
                }));
                ASSERT_TRUE(FileServices::setFileDates(path, QDateTime(QDate(2011, 3, 4), QTime(5, 6, 7), Qt::UTC)));
            }},
        {"replaced by a new version",
            [](const QString& path) {
                const QString newer = path + ".new.jpg";
                ASSERT_TRUE(ImageFixtures::makeImageWithTags(newer, {Tag{"Exif.Image.Artist", "Other", std::nullopt}}));
                ASSERT_EQ(::rename(QFile::encodeName(newer).constData(), QFile::encodeName(path).constData()), 0);
            }},
    };
    enum Moment { WhileFlushed, WhenPutInPlace, WhenRenamedWithoutExchange };
    int round = 0;
    for (const Change& change : changes) {
        for (const Moment moment : {WhileFlushed, WhenPutInPlace, WhenRenamedWithoutExchange}) {
            SCOPED_TRACE(testing::Message() << change.name << " at moment " << int(moment));
            const QString user = tempPath(QString("user/photo%1.jpg").arg(++round));
            ASSERT_TRUE(ImageFixtures::makeImageWithTags(user, {Tag{"Exif.Image.Artist", "Ann", std::nullopt}}));
            const auto image = openWorkingCopy(user);
            editArtist(image, "Lumetta Tester");
            QByteArray otherVersion;
            const auto otherProgram = [&] {
                change.make(user);
                otherVersion = WrittenFileProbe::bytes(user);
            };
            const int alertsBefore = int(ui_.alerts().size());
            {
                DiskCallsProbe probe(user);
                if (moment == WhileFlushed)
                    probe.atNextFileFlush(otherProgram);
                else
                    probe.atNextExchange(otherProgram, moment == WhenRenamedWithoutExchange);
                EXPECT_FALSE(image->saveMetadataToImage());
            }
            EXPECT_EQ(WrittenFileProbe::bytes(user), otherVersion);
            EXPECT_EQ(image->exifData()->enuModifyState(), 4);
            ASSERT_EQ(int(ui_.alerts().size()), alertsBefore + 1);
            EXPECT_EQ(ui_.alerts().last().message,
                "The file was changed by another program since it was imported: " + QFileInfo(user).fileName());
            EXPECT_EQ(FileServices::contentsOfFolder(tempPath("user")).filter(".tmp"), QStringList());
        }
    }

    // Imported again, the other program's version takes the edit.
    const QString user = tempPath("user/photo1.jpg");
    ASSERT_TRUE(QFile::remove(tempPath("work/photo1.jpg")));
    const auto image = openWorkingCopy(user);
    editArtist(image, "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
}

// A file changed before the save begins is not even written beside: the save
// stops before the new bytes are made.
TEST_F(SaveRoadSafetyTest, AFileChangedBeforeTheSaveHasNothingWrittenBesideIt)
{
    const auto image = import("photo.jpg", {{"Exif.Image.Artist", "Ann"}});
    ASSERT_TRUE(rewrite(image->srcPath(), [](QByteArray& bytes) { bytes.append("more"); }));
    editArtist(image, "Lumetta Tester");
    DiskCallsProbe probe(image->srcPath());
    EXPECT_FALSE(image->saveMetadataToImage());
    EXPECT_TRUE(probe.flushes().empty());
    EXPECT_EQ(probe.exchanges(), 0);
    EXPECT_EQ(ui_.alerts().size(), 1);
}

// A photo others may read (0644) or its group may read (0640) keeps that
// mode through every kind of save, whatever the umask.
TEST_F(SaveRoadSafetyTest, APhotoKeepsItsModeThroughEverySave)
{
    const StrictUmask strictUmask;
    for (const mode_t mode : {mode_t(0644), mode_t(0640)}) {
        SCOPED_TRACE(mode);
        const auto image = import(QString("photo%1.jpg").arg(mode, 0, 8), {{"Exif.Image.Artist", "Ann"}});
        ASSERT_TRUE(StrictUmask::setMode(image->srcPath(), mode));
        image->setSrcPath(image->srcPath());
        editArtist(image, "Lumetta Tester");
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(StrictUmask::modeOf(image->srcPath()), mode) << "edit";
        // Nothing edited: the working copy as it is replaces the file.
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(StrictUmask::modeOf(image->srcPath()), mode) << "save without edits";
        image->exifData()->setIsClearAll(true);
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(StrictUmask::modeOf(image->srcPath()), mode) << "clear all";
    }
}

// A camera photo of mode 0444 in a folder the user may write: the rename a
// save ends with would replace it, yet the user may not change the file. The
// save is refused with the reason and the photo stays byte for byte; once
// the user makes it writable the same edit is saved.
TEST_F(SaveRoadSafetyTest, APhotoTheUserMayNotWriteIsRefusedAndLeftAsItWas)
{
    const auto image = importSample("npm-canon-s40.jpg");
    const QString user = image->srcPath();
    ASSERT_TRUE(StrictUmask::setMode(user, 0444));
    ASSERT_TRUE(UnprivilegedStep::handOver(tempFolder()));
    if (const QString closed = UnprivilegedStep::unreachable(tempFolder()); !closed.isEmpty())
        GTEST_SKIP() << qPrintable(closed);
    const QByteArray before = WrittenFileProbe::bytes(user);
    const FileServices::Identity identity = FileServices::identityOf(user);
    editArtist(image, "Lumetta Tester");
    {
        const UnprivilegedStep step;
        ASSERT_TRUE(step.isUnprivileged());
        EXPECT_FALSE(image->saveMetadataToImage());
    }
    EXPECT_EQ(WrittenFileProbe::bytes(user), before);
    EXPECT_EQ(FileServices::identityOf(user), identity);
    EXPECT_EQ(StrictUmask::modeOf(user), mode_t(0444));
    EXPECT_EQ(image->exifData()->enuModifyState(), 4);
    EXPECT_EQ(image->lastSaveFailure(),
        QString("The file is read-only: you do not have permission to change it, so it was left as it was"));
    EXPECT_EQ(ui_.alerts().size(), 1);
    EXPECT_EQ(FileServices::contentsOfFolder(tempPath("user")), QStringList{"npm-canon-s40.jpg"});
    if (ExifTool::available()) {
        EXPECT_FALSE(ExifTool::read(user).contains("IFD0:Artist"));
    }

    ASSERT_TRUE(StrictUmask::setMode(user, 0644));
    {
        const UnprivilegedStep step;
        EXPECT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    }
    if (ExifTool::available()) {
        EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    }
}

// A save that only gives the file its photo's date sets the dates in place;
// the next save, which finds the file as that save left it, is not refused
// as changed by another program. A file the user may write but does not
// own takes no dates from the user: in a folder the user may not write
// either, where it cannot be replaced by a dated copy, the save fails with
// its reason and the file keeps its bytes and its dates.
TEST_F(SaveRoadSafetyTest, ADatesOnlySaveSetsTheDatesOrFailsAndTheNextSaveFollows)
{
    const auto owned = importSample("npm-canon-s40.jpg");
    const QDateTime captured = DateServices::instantOfWallClock(DateServices::dateValue(
        owned->getValueForKey("Exif.Image.CreateDate", 0) + " " + owned->getValueForKey("Summary.CreateTime", 0)));
    ASSERT_TRUE(captured.isValid());
    ASSERT_TRUE(QDir().mkpath(tempPath("user/closed")));
    const auto foreign
        = openWorkingCopy(ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user/closed"), "foreign.jpg"));
    ASSERT_TRUE(StrictUmask::setMode(foreign->srcPath(), 0666));
    ASSERT_TRUE(UnprivilegedStep::handOver(tempFolder()));
    if (const QString closed = UnprivilegedStep::unreachable(tempFolder()); !closed.isEmpty())
        GTEST_SKIP() << qPrintable(closed);
    // Handed back to root: the unprivileged user may write the file, and
    // neither owns it nor may write its folder.
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(::chown(QFile::encodeName(foreign->srcPath()).constData(), 0, 0), 0);
        ASSERT_EQ(::chown(QFile::encodeName(tempPath("user/closed")).constData(), 0, 0), 0);
    }
    const QByteArray foreignBytes = WrittenFileProbe::bytes(foreign->srcPath());
    const FileServices::Identity foreignIdentity = FileServices::identityOf(foreign->srcPath());

    const UnprivilegedStep step;
    ASSERT_TRUE(step.isUnprivileged());
    const FileServices::Identity identity = FileServices::identityOf(owned->srcPath());
    owned->exifData()->setIsApplyToFileCreatedDateTime(true);
    ASSERT_TRUE(owned->saveMetadataToImage()) << qPrintable(owned->lastSaveFailure());
    EXPECT_EQ(FileServices::modificationDate(owned->srcPath()), captured);
    EXPECT_EQ(FileServices::identityOf(owned->srcPath()).inode, identity.inode);
    owned->exifData()->setIsApplyToFileCreatedDateTime(false);
    editArtist(owned, "Lumetta Tester");
    EXPECT_TRUE(owned->saveMetadataToImage()) << qPrintable(owned->lastSaveFailure());
    if (ExifTool::available()) {
        EXPECT_EQ(ExifTool::read(owned->srcPath()).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    }

    if (!asRoot)
        return;
    foreign->exifData()->setIsApplyToFileCreatedDateTime(true);
    EXPECT_FALSE(foreign->saveMetadataToImage());
    EXPECT_TRUE(foreign->lastSaveFailure().startsWith("The file could not be replaced"))
        << qPrintable(foreign->lastSaveFailure());
    EXPECT_EQ(foreign->exifData()->enuModifyState(), TAVExifData::StateSaveFailed);
    EXPECT_EQ(WrittenFileProbe::bytes(foreign->srcPath()), foreignBytes);
    EXPECT_EQ(FileServices::identityOf(foreign->srcPath()), foreignIdentity);
}

// Children save the same 50 photos in a loop and are killed at random moments;
// every photo stays whole (the old version or a saved one) and the next save
// clears what the killed ones left behind.
TEST_F(SaveRoadSafetyTest, KillsDuringSavesLeaveEveryPhotoWholeAndNoTemporaries)
{
    UserDefaults::standard().setBool(true, "save_continue_after_error");
    UiServices::setShared(nullptr);
    std::vector<TAVImageObjectPtr> images;
    for (int i = 0; i < 50; ++i) {
        const QString user = tempPath(QString("user/photo%1.jpg").arg(i));
        ASSERT_TRUE(ImageFixtures::makeImageWithTags(user, {Tag{"Exif.Image.Artist", "old", std::nullopt}}));
        images.push_back(openWorkingCopy(user));
    }
    const QImage pixels(images.front()->srcPath());

    for (int round = 0; round < 200; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A fresh process imports the photos as they are now and saves
            // them round and round until it is killed.
            for (const auto& image : images)
                image->setSrcPath(image->srcPath());
            for (int pass = 0; pass < 1000; ++pass) {
                for (const auto& image : images) {
                    editArtist(image, QString("saved %1").arg(round));
                    image->saveMetadataToImage();
                }
            }
            ::_exit(0);
        }
        ::usleep(useconds_t(QRandomGenerator::global()->bounded(200, 6000)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
    }

    for (const auto& image : images) {
        SCOPED_TRACE(qPrintable(image->srcPath()));
        const QString artist = WrittenFileProbe::value(image->srcPath(), "Exif.Image.Artist");
        EXPECT_TRUE(artist == "old" || artist.startsWith("saved ")) << qPrintable(artist);
        EXPECT_EQ(QImage(image->srcPath()), pixels);
        image->setSrcPath(image->srcPath());
        editArtist(image, "final");
        EXPECT_TRUE(image->saveMetadataToImage());
    }
    EXPECT_EQ(FileServices::contentsOfFolder(tempPath("user")).size(), 50);
}

// A save loop forces each photo's new content to disk once, before it
// replaces the user's file, and the folder once, when the loop ends and before
// it tells of anything; the working copies, made again from the user's files
// whenever they may be behind, are never forced.
TEST_F(SaveRoadSafetyTest, ASaveLoopForcesEachPhotoToDiskOnceAndTheFolderOnceAtItsEnd)
{
    std::vector<TAVImageObjectPtr> images;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        images.push_back(import(name, {{"Exif.Image.Artist", "Ann"}}));
    const QString folder = QFileInfo(images.front()->srcPath()).canonicalPath();
    const QByteArray before = WrittenFileProbe::bytes(images.back()->srcPath());
    DiskCallsProbe probe(images.back()->srcPath());
    {
        const TAVImageObject::ChangedFilesAlert loop(false);
        for (const TAVImageObjectPtr& image : images) {
            editArtist(image, "Lumetta Tester");
            ASSERT_TRUE(image->saveMetadataToImage());
        }
        const std::vector<DiskCallsProbe::Flush> flushes = probe.flushes();
        ASSERT_EQ(flushes.size(), 3u);
        for (size_t i = 0; i < flushes.size(); ++i) {
            EXPECT_EQ(flushes[i].flushed, folder + "/." + QFileInfo(images[i]->srcPath()).fileName() + ".lumetta.tmp");
        }
    }
    const std::vector<DiskCallsProbe::Flush> flushes = probe.flushes();
    ASSERT_EQ(flushes.size(), 4u);
    EXPECT_EQ(flushes.back().flushed, folder);
    EXPECT_NE(flushes.back().watchedHeld, before);
    for (const TAVImageObjectPtr& image : images)
        EXPECT_EQ(ExifTool::read(image->srcPath()).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
}
