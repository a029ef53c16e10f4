// Clears of whole families and edits that outgrow a block, on real camera
// files, read back by exiftool: what the clear takes is gone, what it does
// not take is kept, and a save that cannot be made says why.
#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"

#include "models/write/CameraFileSaveTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/QtPrinters.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using CameraSavesTest = CameraFileSaveTest;

// The tags of every group whose name starts with one of `prefixes`.
QStringList tagsOf(const QJsonObject& tags, const QStringList& prefixes)
{
    QStringList found;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        for (const QString& prefix : prefixes) {
            if (it.key().startsWith(prefix))
                found.append(it.key());
        }
    }
    return found;
}

} // namespace

// Clear > Exif takes the camera's make, and with it the maker note, which
// the library cannot write without the make: the save succeeds, and no
// reader finds the maker note or the cleared tags; IPTC stays.
TEST_F(CameraSavesTest, ClearingExifTakesTheMakerNoteAlong)
{
    const QStringList makerGroups = {"Sony", "Canon", "Nikon", "MakerNotes"};
    for (const char* sample : {"npm-sony-a6000.jpg", "png-sony-gps.png", "npm-canon-s40.jpg", "png-nikon-d3.png"}) {
        SCOPED_TRACE(sample);
        const auto image = importSample(QLatin1String(sample));
        ASSERT_FALSE(tagsOf(ExifTool::read(image->srcPath()), makerGroups).isEmpty());
        edit(image, "Iptc.Application2.ObjectName", "Harbour");
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        const QStringList warnings = ExifTool::warnings(image->srcPath());

        image->clear(1);
        EXPECT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        const QJsonObject tags = ExifTool::read(image->srcPath());
        EXPECT_EQ(tagsOf(tags, makerGroups), QStringList());
        for (const char* tag : {"IFD0:Make", "IFD0:Model", "ExifIFD:DateTimeOriginal", "ExifIFD:FNumber"})
            EXPECT_FALSE(tags.contains(tag)) << tag;
        EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
        EXPECT_EQ(ExifTool::warnings(image->srcPath()), warnings);
    }
}

// A PNG's EXIF block is written to the size of a JPEG's segment: an edit
// that outgrows it is refused and says so, with the user's file untouched;
// one that fits is saved.
TEST_F(CameraSavesTest, AnEditThatOutgrowsAPngsExifBlockSaysSo)
{
    const auto image = importSample("png-sony-gps.png");
    const QByteArray before = WrittenFileProbe::bytes(image->srcPath());
    edit(image, "Exif.Image.ImageDescription", QString(30000, 'd'));
    EXPECT_FALSE(image->saveMetadataToImage());
    EXPECT_TRUE(image->lastSaveFailure().contains("the metadata no longer fits in the file's EXIF block"))
        << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), before);
    EXPECT_EQ(FileServices::contentsOfFolder(tempPath("user")), QStringList{"png-sony-gps.png"});

    const QString fits(20000, 'd');
    edit(image, "Exif.Image.ImageDescription", fits);
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(image->srcPath()).value("IFD0:ImageDescription").toString(), fits);
}

// Clear > IPTC takes the IPTC datasets and the XMP properties that repeat
// them, and leaves what XMP says of the picture itself, in Photoshop's
// schema too; EXIF stays.
TEST_F(CameraSavesTest, ClearingIptcTakesOnlyTheXmpThatRepeatsIt)
{
    const auto photoEditor = importSample("npm-nikon-d90-photometric.jpg");
    const auto camera = importSample("gowebp-pentax.jpg");
    for (const auto& image : {photoEditor, camera}) {
        image->clear(3);
        EXPECT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    }
    QJsonObject tags = ExifTool::read(photoEditor->srcPath());
    EXPECT_EQ(tagsOf(tags, {"IPTC:"}), QStringList());
    for (const char* gone : {"XMP-dc:Description", "XMP-photoshop:DateCreated"})
        EXPECT_FALSE(tags.contains(gone)) << gone;
    EXPECT_EQ(tags.value("XMP-photoshop:ColorMode").toString(), QString("RGB"));
    EXPECT_EQ(tags.value("XMP-photoshop:ICCProfileName").toString(), QString("sRGB IEC61966-2.1"));
    EXPECT_EQ(tags.value("XMP-dc:Format").toString(), QString("image/jpeg"));

    tags = ExifTool::read(camera->srcPath());
    EXPECT_EQ(tagsOf(tags, {"IPTC:"}), QStringList());
    for (const char* gone : {"XMP-photoshop:City", "XMP-photoshop:State", "XMP-photoshop:Country",
             "XMP-iptcCore:CountryCode", "XMP-dc:Subject", "XMP-dc:Creator"})
        EXPECT_FALSE(tags.contains(gone)) << gone;
    EXPECT_EQ(tags.value("IFD0:Make").toString(), QString("RICOH IMAGING COMPANY, LTD."));
}
