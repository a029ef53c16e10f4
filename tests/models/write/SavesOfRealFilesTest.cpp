// Saves of real camera files through the whole save road, read back by
// exiftool: files whose bytes the library legitimately changes on a write are
// saved, and malformed files are saved where every reader finds the edit or
// refused with the user's file untouched.

#include "models/formats/JpegSegments.h"
#include "models/formats/PngExifChunk.h"
#include "models/image/TAVImageObject.h"
#include "models/read/TAVMetadataReaderMgr.h"
#include "models/write/TAVExifWriter.h"

#include "foundation/FileServices.h"

#include "models/image/ImageImportTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QtEndian>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <iostream>

namespace {

class SavesOfRealFilesTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }
};

void edit(const TAVImageObjectPtr& image, const QString& key, int category, const QString& value)
{
    image->exifData()->setValue(value, key, category, false, false, true);
}

// The tags of every group whose name starts with `prefix` ("XMP-").
QJsonObject groupsOf(const QJsonObject& tags, const QString& prefix)
{
    QJsonObject result;
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().startsWith(prefix))
            result.insert(it.key(), it.value());
    }
    return result;
}

// The tags that differ between two reads, as "key: before -> after".
QStringList differences(const QJsonObject& before, const QJsonObject& after)
{
    QStringList lines;
    QStringList keys = before.keys() + after.keys();
    keys.removeDuplicates();
    for (const QString& key : keys) {
        if (before.value(key) != after.value(key)) {
            lines.append(
                QStringLiteral("%1: %2 -> %3")
                    .arg(key, before.value(key).toVariant().toString(), after.value(key).toVariant().toString()));
        }
    }
    return lines;
}

} // namespace

// A photo editor's export whose IFD0 holds PhotometricInterpretation, which
// the library drops from every JPEG it writes: EXIF and IPTC edits land. Saved
// after a photo whose maker note has a member of the same number, which is
// no image-structure tag there, and after a TIFF, where the tag describes the
// picture and is kept.
TEST_F(SavesOfRealFilesTest, AJpegWhoseFirstDirectoryHoldsImageStructureTagsIsSaved)
{
    const QString canon = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user"));
    {
        auto file = Exiv2::ImageFactory::open(canon.toStdString());
        file->readMetadata();
        file->exifData()["Exif.Canon.0x0106"] = uint16_t(2);
        file->writeMetadata();
    }
    const auto before = openWorkingCopy(canon);
    edit(before, "Exif.Image.Artist", 0, "Lumetta Tester");
    ASSERT_TRUE(before->saveMetadataToImage());
    {
        auto saved = Exiv2::ImageFactory::open(canon.toStdString());
        saved->readMetadata();
        ASSERT_EQ(saved->exifData()["Exif.Canon.0x0106"].toLong(), 2);
    }

    const auto tiff = importSample("goexif.tif");
    edit(tiff, "Exif.Image.Artist", 0, "Lumetta Tester");
    ASSERT_TRUE(tiff->saveMetadataToImage());

    const auto image = importSample("npm-nikon-d90-photometric.jpg");
    edit(image, "Exif.Image.Artist", 0, "Lumetta Tester");
    edit(image, "Iptc.Application2.ObjectName", 0, "Harbour");
    ASSERT_TRUE(image->saveMetadataToImage());
    const QJsonObject tags = ExifTool::read(image->srcPath());
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tags.value("IPTC:ObjectName").toString(), QString("Harbour"));
}

// A Windows photo tool's packet, which the library re-serialises even when
// asked to keep it, and a TIFF's: an edit that does not touch XMP lands, and
// the packet is the file's own, byte for byte.
TEST_F(SavesOfRealFilesTest, AnXmpPacketTheLibraryReserialisesKeepsItsProperties)
{
    for (const char* sample : {"npm-windows-xmp.jpg", "npm-arbitro.tiff"}) {
        SCOPED_TRACE(sample);
        const auto image = importSample(sample);
        const QJsonObject before = groupsOf(ExifTool::read(image->srcPath()), "XMP-");
        const QByteArray packet = ExifTool::binary(image->srcPath(), "XMP");
        ASSERT_FALSE(before.isEmpty());
        edit(image, "Exif.Photo.FNumber", 1, "4.0");
        ASSERT_TRUE(image->saveMetadataToImage());
        const QJsonObject tags = ExifTool::read(image->srcPath(), {"-n"});
        EXPECT_DOUBLE_EQ(tags.value("ExifIFD:FNumber").toDouble(), 4.0);
        EXPECT_EQ(differences(before, groupsOf(ExifTool::read(image->srcPath()), "XMP-")), QStringList());
        EXPECT_EQ(ExifTool::binary(image->srcPath(), "XMP"), packet);
    }
}

// A save reads back only the segments it changed: the XMP it kept, not read
// again, is still in the record, as a new import of the saved file reads it.
// Two photos saved one after the other keep their own XMP.
TEST_F(SavesOfRealFilesTest, KeptXmpStaysInTheRecordAfterTheSave)
{
    const auto xmpRows = [](const TAVImageObjectPtr& image) {
        QStringList rows;
        for (const TAVEntityPtr& row : image->readerMgr()->keptRows()) {
            if (row->key().startsWith("Xmp."))
                rows.append(row->key() + "=" + row->value());
        }
        return rows;
    };
    const auto windows = importSample("npm-windows-xmp.jpg");
    const auto pentax = importSample("gowebp-pentax.jpg");
    for (const auto& image : {windows, pentax}) {
        const QStringList before = xmpRows(image);
        ASSERT_FALSE(before.isEmpty());
        edit(image, "Exif.Photo.FNumber", 1, "4.0");
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(xmpRows(image), before);
        EXPECT_EQ(xmpRows(TAVImageObject::create(image->srcPath())), before);
    }
    EXPECT_NE(xmpRows(windows), xmpRows(pentax));
}

// A save loop reads a small photo into the memory a large one was read into:
// the small photo is saved with its own picture and nothing of the other's.
TEST_F(SavesOfRealFilesTest, ALoopSavesEachPhotoWithItsOwnBytesOnly)
{
    const auto large = importSample("npm-sony-a6000.jpg");
    const auto small = importSample("npm-canon-s40.jpg");
    const auto pictureOf = [](const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return bytes.mid(JpegSegments::header(bytes).value_or(JpegSegments::Header()).scanStart);
    };
    const QByteArray smallPicture = pictureOf(small->srcPath());
    ASSERT_GT(smallPicture.size(), 1000);
    {
        const TAVImageObject::ChangedFilesAlert loop(false);
        for (const auto& image : {large, small}) {
            edit(image, "Exif.Image.Artist", 0, "Lumetta Tester");
            ASSERT_TRUE(image->saveMetadataToImage());
        }
    }
    EXPECT_EQ(pictureOf(small->srcPath()), smallPicture);
    EXPECT_EQ(pictureOf(small->path()), smallPicture);
    EXPECT_EQ(ExifTool::read(small->srcPath()).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
}

// Erasing the maker note's ISO members moves the Nikon preview directory: the
// pointer is compared by what it points to, and the edits land.
TEST_F(SavesOfRealFilesTest, MakerNoteDirectoriesThatMoveAreFollowed)
{
    const auto image = importSample("png-nikon-d3.png");
    edit(image, "Exif.Photo.ISOSpeedRatings", 1, "400");
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(image->srcPath(), {"-n"}).value("ExifIFD:ISO").toInt(), 400);
    edit(image, "Exif.Photo.SubjectDistanceRange", 1, "Macro");
    ASSERT_TRUE(image->saveMetadataToImage());
}

// Title, keywords, capture date and position on a Pentax file with a 23 KB
// packet: every XMP property the edit did not reach is kept.
TEST_F(SavesOfRealFilesTest, XmpPropertiesTheEditDidNotReachAreKept)
{
    const auto image = importSample("gowebp-pentax.jpg");
    const QJsonObject before = groupsOf(ExifTool::read(image->srcPath()), "XMP-");
    ASSERT_EQ(before.value("XMP-photoshop:City").toString(), QString("Benalmádena"));
    edit(image, "Iptc.Application2.ObjectName", 0, "Coast");
    edit(image, "Iptc.Application2.Keywords", 0, "sea, sand");
    edit(image, "Exif.Image.CreateDate", 0, "2018-05-06");
    edit(image, "Summary.CreateTime", 0, "10:20:30");
    edit(image, "Exif.GPSInfo.GPSLatitudeRef", 2, "N");
    edit(image, "Exif.GPSInfo.GPSLatitude", 2, "36/1 35/1 0/1");
    edit(image, "Exif.GPSInfo.GPSLongitudeRef", 2, "W");
    edit(image, "Exif.GPSInfo.GPSLongitude", 2, "4/1 31/1 0/1");
    ASSERT_TRUE(image->saveMetadataToImage());
    QJsonObject after = groupsOf(ExifTool::read(image->srcPath()), "XMP-");
    QJsonObject untouched = before;
    for (const char* edited : {"XMP-dc:Subject", "XMP-xmp:CreateDate", "XMP-photoshop:DateCreated",
             "XMP-xmp:ModifyDate", "XMP-x:XMPToolkit"}) {
        untouched.remove(edited);
        after.remove(edited);
    }
    EXPECT_EQ(differences(untouched, after), QStringList());
}

// Sony names its preview by an offset into the file's trailer, which the
// library cannot follow: the save sets it again to where the preview moved,
// and other programs still find the same preview.
TEST_F(SavesOfRealFilesTest, ASonyPreviewIsFoundAfterTheSave)
{
    const auto image = importSample("npm-sony-a6000.jpg");
    const QByteArray preview = ExifTool::binary(image->srcPath(), "Sony:PreviewImage");
    ASSERT_GT(preview.size(), 100000);
    const QStringList warnings = ExifTool::warnings(image->srcPath());
    edit(image, "Exif.Image.Artist", 0, "A much longer artist name than the file had");
    ASSERT_TRUE(image->saveMetadataToImage());
    EXPECT_EQ(ExifTool::read(image->srcPath()).value("IFD0:Artist").toString(),
        QString("A much longer artist name than the file had"));
    EXPECT_EQ(ExifTool::binary(image->srcPath(), "Sony:PreviewImage"), preview);
    EXPECT_EQ(ExifTool::warnings(image->srcPath()), warnings);

    // Clearing the EXIF block takes the maker note and its preview entry along.
    TAVExifWriter writer(image->srcPath());
    ASSERT_TRUE(writer.clearAllMetadata());
    ASSERT_TRUE(writer.saveModifiedMetadata());
    EXPECT_TRUE(ExifTool::binary(image->srcPath(), "Sony:PreviewImage").isEmpty());
    EXPECT_TRUE(ExifTool::read(image->srcPath()).value("IFD0:Artist").isUndefined());
}

// A TIFF whose first-directory pointer is two bytes off reads as a directory
// of garbage to every reader; the library would save it as a file without its
// picture. The save fails and the user's file stays as it was.
TEST_F(SavesOfRealFilesTest, ATiffWhoseFirstDirectoryCannotBeFoundIsLeftAlone)
{
    const QString user = ImageFixtures::copySample("goexif.tif", tempPath("user"));
    QByteArray bytes = WrittenFileProbe::bytes(user);
    ASSERT_EQ(bytes.left(2), QByteArray("II"));
    const uint32_t first
        = uint8_t(bytes[4]) | uint8_t(bytes[5]) << 8 | uint8_t(bytes[6]) << 16 | uint32_t(uint8_t(bytes[7])) << 24;
    bytes[4] = char(uint8_t(first + 2));
    bytes[5] = char(uint8_t((first + 2) >> 8));
    ASSERT_TRUE(FileServices::writeFileAtomically(user, bytes));
    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", 0, "Lumetta Tester");
    EXPECT_FALSE(image->saveMetadataToImage());
    EXPECT_EQ(WrittenFileProbe::bytes(user), bytes);
}

namespace {

// Where the first EXIF block of a file starts and how long it is: a PNG's
// eXIf chunk, a JPEG's EXIF APP1 segment.
std::pair<qsizetype, qsizetype> firstExifBlock(const QByteArray& bytes)
{
    const bool png = bytes.startsWith("\x89PNG");
    qsizetype size = 0;
    for (qsizetype at = png ? 8 : 2; at + 12 <= bytes.size(); at += size) {
        if (png) {
            size = 12 + qsizetype(qFromBigEndian<quint32>(bytes.constData() + at));
            if (bytes.mid(at + 4, 4) == "eXIf")
                return {at, size};
        } else {
            size = 2 + qFromBigEndian<quint16>(bytes.constData() + at + 2);
            if (uint8_t(bytes[at + 1]) == 0xE1 && bytes.mid(at + 4, 6) == QByteArray("Exif\0\0", 6))
                return {at, size};
        }
    }
    return {0, 0};
}

// `target` with the first EXIF block of `donor` put `copies` times right after its own.
QByteArray withExifBlockOf(const QByteArray& target, const QByteArray& donor, int copies)
{
    const auto [at, size] = firstExifBlock(target);
    const auto [donorAt, donorSize] = firstExifBlock(donor);
    QByteArray result = target;
    for (int i = 0; i < copies; ++i)
        result.insert(at + size, donor.mid(donorAt, donorSize));
    return size > 0 && donorSize > 0 ? result : QByteArray();
}

// Every IFD0 artist exiftool finds in the file, duplicates included.
QStringList artistsOf(const QString& path)
{
    QProcess process;
    process.start("exiftool", {"-a", "-s3", "-IFD0:Artist", path});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// A camera PNG with its eXIf chunk three times and a camera JPEG with two
// EXIF segments (the later blocks another program's, with a tag of their
// own): the edit lands where every reader finds it, in the one EXIF block the
// saved file holds, with the tag only a later block had.
TEST_F(SavesOfRealFilesTest, RepeatedExifBlocksBecomeOneThatHoldsTheEdit)
{
    const std::tuple<const char*, int, const char*> cases[]
        = {{"png-sony-gps.png", 2, "SONY"}, {"npm-canon-s40.jpg", 1, "Canon"}};
    for (const auto& [sample, copies, make] : cases) {
        SCOPED_TRACE(sample);
        const QString user = ImageFixtures::copySample(sample, tempPath("user"));
        const QString donor = tempPath(QString("donor-") + sample);
        ASSERT_TRUE(ImageFixtures::makeImageWithTags(donor,
            {{"Exif.Image.Artist", "Older", std::nullopt}, {"Exif.Image.DocumentName", "Harbour", std::nullopt}}));
        ASSERT_TRUE(PngExifChunk::restoreExifChunk(donor));
        const QByteArray repeated
            = withExifBlockOf(WrittenFileProbe::bytes(user), WrittenFileProbe::bytes(donor), copies);
        ASSERT_FALSE(repeated.isEmpty());
        ASSERT_TRUE(FileServices::writeFileAtomically(user, repeated));

        const auto image = openWorkingCopy(user);
        edit(image, "Exif.Image.Artist", 0, "New");
        ASSERT_TRUE(image->saveMetadataToImage());
        EXPECT_EQ(artistsOf(user), QStringList({"New"}));
        const QJsonObject tags = ExifTool::read(user);
        EXPECT_EQ(tags.value("IFD0:Make").toString(), QString(make));
        EXPECT_EQ(tags.value("IFD0:DocumentName").toString(), QString("Harbour"));
        EXPECT_EQ(WrittenFileProbe::values(user, "Exif.Image.Artist"), QStringList({"New"}));
    }
}

// Every committed camera file takes an edit of each family (EXIF, IPTC, XMP)
// read back by exiftool, or is refused as it was before the library's own
// reports of damage counted: only the two files damaged on purpose are. The
// outcome of each save is printed.
TEST_F(SavesOfRealFilesTest, EveryCameraFileTakesAnEditOfEachFamily)
{
    struct Family {
        const char* name;
        const char* key;
        int category;
        const char* value;
        const char* readBack;
    };
    const Family families[] = {
        {"EXIF", "Exif.Image.Artist", TAVExifData::CategorySummary, "Lumetta Tester", "IFD0:Artist"},
        {"IPTC", "Iptc.Application2.ObjectName", TAVExifData::CategorySummary, "Harbour", "IPTC:ObjectName"},
        {"XMP", "Xmp.dc.title", TAVExifData::CategoryOther, "Ships", "XMP-dc:Title"},
        {"XMP", "Xmp.xmp.CreatorTool", TAVExifData::CategoryOther, "Lumetta", "XMP-xmp:CreatorTool"},
    };
    const QStringList samples = QDir(QFileInfo(ImageFixtures::sample("npm-lumia.jpg")).absolutePath())
                                    .entryList({"*.jpg", "*.png", "*.tif", "*.tiff"}, QDir::Files);
    ASSERT_GE(samples.size(), 15);
    QStringList refused;
    for (const QString& sample : samples) {
        const QJsonObject held = ExifTool::read(ImageFixtures::sample(sample));
        for (const Family& family : families) {
            SCOPED_TRACE(qPrintable(sample + " " + family.key));
            const QString folder = tempPath(QStringLiteral("user/%1").arg(family.key));
            ASSERT_TRUE(QDir().mkpath(folder));
            const QString user = ImageFixtures::copySample(sample, folder);
            const auto image = openWorkingCopy(user);
            edit(image, family.key, family.category, family.value);
            const bool saved = image->saveMetadataToImage();
            QString outcome = saved ? QStringLiteral("saved") : image->lastSaveFailure();
            // A row of the Other category is edited where the file holds
            // it; elsewhere the save writes nothing.
            const bool lands = QString(family.name) != "XMP" || held.contains(family.readBack);
            if (saved && lands)
                EXPECT_EQ(ExifTool::read(user).value(family.readBack).toVariant().toString(), family.value);
            else if (saved)
                outcome += QStringLiteral(" (the file holds no such XMP row)");
            else
                refused.append(sample);
            std::cout << qPrintable(sample) << " " << family.name << " " << family.key << ": " << qPrintable(outcome)
                      << "\n";
            QFile::remove(tempPath("work/" + sample));
        }
    }
    refused.removeDuplicates();
    EXPECT_EQ(refused, (QStringList{"huge_tag_exif.jpg", "infinite_loop_exif.jpg"}));
}

// Formats the library reads but cannot write: an EPS file of an old
// Illustrator (the Tcl Powered logo, which other readers read without a
// word) and a BMP. Every edit and the clears are refused, the message
// naming the kind of file and, where the library gives one, its reason,
// and the file keeps every byte.
TEST_F(SavesOfRealFilesTest, AFileTheLibraryCannotWriteIsRefusedNamingItsKind)
{
    const QString bmp = tempPath("user/picture.bmp");
    ASSERT_TRUE(ImageFixtures::makeImage(bmp));
    const struct {
        QString user;
        QString why;
    } files[] = {
        {ImageFixtures::copySample("tk-pwrdLogo.eps", tempPath("user")),
            "the image library cannot write metadata into this EPS file (Unable to write to EPS files created by "
            "Adobe Illustrator 8.0 or older), so the file was left as it was"},
        {bmp, "the image library cannot write metadata into this BMP file, so the file was left as it was"},
    };
    for (const auto& file : files) {
        const QByteArray before = WrittenFileProbe::bytes(file.user);
        for (const char* key : {"Exif.Image.Artist", "Iptc.Application2.ObjectName", "clear all", "clear EXIF"}) {
            SCOPED_TRACE(qPrintable(file.user + " " + key));
            const auto image = openWorkingCopy(file.user);
            if (QString(key) == "clear all")
                image->clear(TAVExifData::ClearAll);
            else if (QString(key) == "clear EXIF")
                image->clear(TAVExifData::ClearExif);
            else
                edit(image, key, TAVExifData::CategorySummary, "Harbour");
            EXPECT_FALSE(image->saveMetadataToImage());
            EXPECT_TRUE(image->lastSaveFailure().endsWith(": " + file.why)) << qPrintable(image->lastSaveFailure());
            EXPECT_EQ(WrittenFileProbe::bytes(file.user), before);
            QFile::remove(image->path());
        }
    }
}
