// Clears of whole families and edits that outgrow a block, on real camera
// files, read back by exiftool: what the clear takes is gone, what it does
// not take is kept, and a save that cannot be made says why.
#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"

#include "models/write/CameraFileSaveTest.h"
#include "models/write/TiffView.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/QtPrinters.h"

#include <QJsonObject>

#include <functional>

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

// The tags of one group, by their names.
QJsonObject groupOf(const QJsonObject& tags, const QString& prefix)
{
    QJsonObject group;
    for (const QString& key : tagsOf(tags, {prefix}))
        group.insert(key, tags.value(key));
    return group;
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

namespace {

// The XMP tags exiftool reads, but the toolkit's name each writer puts its own in.
QJsonObject xmpOf(const QString& path)
{
    QJsonObject xmp = groupOf(ExifTool::read(path), "XMP-");
    xmp.remove("XMP-x:XMPToolkit");
    return xmp;
}

} // namespace

// A clear of one family takes it and the XMP that mirrors it alone: EXIF's
// exif:, tiff:, aux: and exifEX: schemas, the GPS properties of exif:, and
// IPTC's Core and Extension schemas. A property other families share stays
// as it was: the photographer, rights, title and description that a photo
// may hold in XMP alone, the dates of the xmp: and Photoshop schemas, and
// Photoshop's words on the picture itself; Photoshop's place names, headline
// and credit repeat IPTC alone and go with it.
TEST_F(CameraSavesTest, AFamilyClearTakesOnlyTheXmpThatMirrorsIt)
{
    const auto isExifMirror = [](const QString& tag) {
        return tag.startsWith("XMP-exif:") || tag.startsWith("XMP-tiff:") || tag.startsWith("XMP-aux:")
            || tag.startsWith("XMP-exifEX:");
    };
    const struct {
        int kind;
        const char* family;
        std::function<bool(const QString&)> mirrors;
    } clears[] = {
        {TAVExifData::ClearExif, "IFD0:", isExifMirror},
        {TAVExifData::ClearGps, "GPS:", [](const QString& tag) { return tag.startsWith("XMP-exif:GPS"); }},
        {TAVExifData::ClearIptc, "IPTC:",
            [](const QString& tag) {
                // Photoshop's schema holds IPTC's places, headline and credit
                // for IPTC alone; its creation date is EXIF's too.
                static const QStringList iptcOnly = {"XMP-photoshop:City", "XMP-photoshop:State",
                    "XMP-photoshop:Country", "XMP-photoshop:Headline", "XMP-photoshop:Credit"};
                return tag.startsWith("XMP-iptcCore:") || tag.startsWith("XMP-iptcExt:") || iptcOnly.contains(tag);
            }},
    };
    for (const auto& clear : clears) {
        SCOPED_TRACE(clear.family);
        // A Lightroom file (aux:, exifEX:, Iptc4xmpCore:, Photoshop's
        // places) given the texts and mirrors other programs write.
        const QString path = ImageFixtures::copySample(
            "gowebp-pentax.jpg", tempPath("user"), QString::number(clear.kind) + QStringLiteral(".jpg"));
        ASSERT_TRUE(ImageFixtures::writeTags(path,
            {{"Xmp.dc.creator", "Ann Lee", {}}, {"Xmp.dc.rights", "(c) 2017 Ann Lee", {}},
                {"Xmp.dc.description", "Harbour at dusk", {}}, {"Xmp.dc.title", "Harbour", {}},
                {"Xmp.xmp.CreateDate", "2017-10-27T08:38:52", {}}, {"Xmp.xmp.ModifyDate", "2017-11-23T09:56:54", {}},
                {"Xmp.xmpRights.UsageTerms", "No reuse", {}}, {"Xmp.tiff.Make", "PENTAX", {}},
                {"Xmp.exif.DateTimeOriginal", "2017-10-27T08:38:52", {}}, {"Xmp.exif.GPSLatitude", "36,35.8465N", {}},
                {"Xmp.exif.GPSLongitude", "4,30.5077W", {}}, {"Xmp.iptc.Location", "Puerto Marina", {}},
                {"Xmp.iptcExt.PersonInImage", "Bo", {}}, {"Xmp.exif.Flash/exif:Fired", "True", {}},
                {"Xmp.photoshop.Headline", "Dusk", {}}, {"Xmp.photoshop.Credit", "Ann Lee", {}},
                {"Xmp.iptc.CreatorContactInfo/Iptc4xmpCore:CiAdrCity", "Malaga", {}}}));
        const QJsonObject before = xmpOf(path);
        QJsonObject kept = before;
        for (const QString& tag : before.keys()) {
            if (clear.mirrors(tag))
                kept.remove(tag);
        }
        ASSERT_LT(kept.size(), before.size());
        for (const char* shared : {"XMP-dc:Creator", "XMP-dc:Rights", "XMP-dc:Description", "XMP-dc:Title",
                 "XMP-xmp:CreateDate", "XMP-photoshop:DateCreated", "XMP-xmpRights:UsageTerms"})
            ASSERT_TRUE(kept.contains(shared)) << shared;
        // The place names stay unless IPTC, whose datasets they repeat, is cleared.
        ASSERT_EQ(kept.contains("XMP-photoshop:City"), clear.kind != TAVExifData::ClearIptc);
        ASSERT_FALSE(tagsOf(ExifTool::read(path), {clear.family}).isEmpty());

        const auto image = openWorkingCopy(path);
        image->clear(clear.kind);
        ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(tagsOf(ExifTool::read(path), {clear.family}), QStringList());
        const QJsonObject after = xmpOf(path);
        EXPECT_EQ(after.keys(), kept.keys());
        EXPECT_EQ(after, kept);
    }

    // A photo editor's file: its caption and date in XMP, and what
    // Photoshop's schema says of the picture, outlast a clear of IPTC.
    const auto photoEditor = importSample("npm-nikon-d90-photometric.jpg");
    const QJsonObject before = xmpOf(photoEditor->srcPath());
    photoEditor->clear(TAVExifData::ClearIptc);
    ASSERT_TRUE(photoEditor->saveMetadataToImage()) << qPrintable(photoEditor->lastSaveFailure());
    EXPECT_EQ(tagsOf(ExifTool::read(photoEditor->srcPath()), {"IPTC:"}), QStringList());
    const QJsonObject after = xmpOf(photoEditor->srcPath());
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_EQ(after, before);
}

namespace {

// The EXIF tags exiftool reads, by group and name: the directories of the
// file's TIFF structure and every maker note.
QStringList exifTagNames(const QJsonObject& tags)
{
    return tagsOf(tags,
        {"IFD0:", "IFD1:", "IFD2:", "SubIFD", "ExifIFD:", "GPS:", "InteropIFD:", "MakerNotes:", "Canon", "Nikon",
            "Sony:", "Pentax:", "Apple:"});
}

} // namespace

// Clear > EXIF leaves what Clear All leaves of EXIF: nothing in a JPEG or a
// PNG, only what the picture needs in a TIFF. No clear writes the "unknown"
// stand-ins of a contrast, white balance or program (four of which EXIF
// does not define), whether the camera held those tags or not.
TEST_F(CameraSavesTest, ClearingExifLeavesWhatClearingAllLeaves)
{
    for (const char* sample : {"npm-canon-s40.jpg", "1x1_exif_xmp.jpg", "png-nikon-d3.png", "goexif.tif"}) {
        SCOPED_TRACE(sample);
        const auto exif = importSample(QLatin1String(sample));
        const auto all = openWorkingCopy(
            ImageFixtures::copySample(QLatin1String(sample), tempPath("user"), QStringLiteral("all-") + sample));
        exif->clear(TAVExifData::ClearExif);
        all->clear(TAVExifData::ClearAll);
        ASSERT_TRUE(exif->saveMetadataToImage()) << qPrintable(exif->lastSaveFailure());
        ASSERT_TRUE(all->saveMetadataToImage()) << qPrintable(all->lastSaveFailure());

        EXPECT_EQ(exifTagNames(ExifTool::read(exif->srcPath())), exifTagNames(ExifTool::read(all->srcPath())));
    }
}

// Photoshop's resources in a TIFF's first directory are not EXIF: Clear >
// EXIF keeps them byte for byte, as it keeps the IPTC and XMP blocks beside
// them; Clear All takes those and keeps the resources as a JPEG's Photoshop
// segment is kept, without their IPTC.
TEST_F(CameraSavesTest, ClearingExifKeepsATiffsPhotoshopResources)
{
    // Resolution 300 dpi, grid and guides, and the IPTC copy: "8BIM", the
    // resource's number, an empty name, the size and the data.
    QStringList bytes;
    for (const char byte : QByteArray::fromHex("3842494d03ed000000000010012c000000010001012c000000010001"
                                               "3842494d040400000000000c1c02050007486172626f7572"
                                               "3842494d040800000000001000000001000000010000000100000001"))
        bytes.append(QString::number(uint8_t(byte)));
    const auto tiffWithResources = [&](const QString& name) {
        const QString path = ImageFixtures::copySample("npm-arbitro.tiff", tempPath("user"), name);
        EXPECT_TRUE(ImageFixtures::writeTags(path,
            {{"Exif.Image.ImageResources", bytes.join(' '), 7}, {"Exif.Image.Artist", "Ann", std::nullopt},
                {"Iptc.Application2.ObjectName", "Harbour", std::nullopt}, {"Xmp.dc.title", "Boats", std::nullopt}}));
        return openWorkingCopy(path);
    };
    // The resources' bytes as the file's own directory places them.
    const auto resourcesOf = [](const QString& path) {
        const QByteArray file = WrittenFileProbe::bytes(path);
        const TiffView tiff(file);
        const qsizetype entry = tiff.entry(tiff.ifd0(), 0x8649);
        return entry == 0 ? QByteArray() : file.mid(tiff.read(entry + 8, 4), tiff.read(entry + 4, 4));
    };
    const auto exif = tiffWithResources("exif.tiff");
    const QByteArray resources = resourcesOf(exif->srcPath());
    ASSERT_TRUE(resources.contains("Harbour"));
    const QJsonObject before = ExifTool::read(exif->srcPath());
    const QJsonObject photoshop = groupOf(before, "Photoshop:");
    ASSERT_EQ(photoshop.value("Photoshop:XResolution").toInt(), 300);
    const QJsonObject iptc = groupOf(before, "IPTC");
    ASSERT_FALSE(iptc.isEmpty());
    exif->clear(TAVExifData::ClearExif);
    ASSERT_TRUE(exif->saveMetadataToImage()) << qPrintable(exif->lastSaveFailure());
    EXPECT_EQ(resourcesOf(exif->srcPath()), resources);
    QJsonObject tags = ExifTool::read(exif->srcPath());
    EXPECT_EQ(groupOf(tags, "Photoshop:"), photoshop);
    EXPECT_FALSE(tags.contains("IFD0:Artist"));
    EXPECT_EQ(groupOf(tags, "IPTC"), iptc);
    EXPECT_EQ(tags.value("XMP-dc:Title").toString(), QString("Boats"));

    const auto all = tiffWithResources("all.tiff");
    all->clear(TAVExifData::ClearAll);
    ASSERT_TRUE(all->saveMetadataToImage()) << qPrintable(all->lastSaveFailure());
    tags = ExifTool::read(all->srcPath());
    EXPECT_EQ(groupOf(tags, "Photoshop:"), photoshop);
    EXPECT_EQ(tagsOf(tags, {"IPTC", "XMP"}), QStringList());
    EXPECT_FALSE(resourcesOf(all->srcPath()).contains("Harbour"));
}
