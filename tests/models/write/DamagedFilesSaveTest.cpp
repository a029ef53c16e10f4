// Saves of real camera files with one damaged field: a save keeps what the
// metadata library cannot read, or fails with the user's file untouched and
// says why. exiftool reads back what was saved.

#include "models/image/TAVImageObject.h"

#include "foundation/FileServices.h"

#include "models/image/ImageImportTest.h"
#include "models/write/WrittenFileProbe.h"
#include "support/ExifTool.h"
#include "support/FakeUiServices.h"
#include "support/ImageFixtures.h"
#include "support/QtPrinters.h"

#include <QJsonObject>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The offset of the first segment with `marker` before the scan, or -1.
qsizetype segmentAt(const QByteArray& jpeg, uint8_t marker)
{
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uint8_t(jpeg[at]) == 0xFF;) {
        const uint8_t found = uint8_t(jpeg[at + 1]);
        if (found == marker)
            return at;
        if (found == 0xDA)
            break;
        at += 2 + qFromBigEndian<quint16>(jpeg.constData() + at + 2);
    }
    return -1;
}

void setBig16(QByteArray& bytes, qsizetype at, uint16_t value)
{
    qToBigEndian<quint16>(value, bytes.data() + at);
}

class DamagedFilesSaveTest : public ImageImportTest<FakeUiServices> {
protected:
    void SetUp() override
    {
        ImageImportTest::SetUp();
        if (!ExifTool::available())
            GTEST_SKIP() << "exiftool missing";
    }

    // The sample as the user has it, changed by `damage`.
    QString damagedSample(const QString& sample, const std::function<void(QByteArray&)>& damage)
    {
        const QString user = ImageFixtures::copySample(sample, tempPath("user"));
        QByteArray bytes = WrittenFileProbe::bytes(user);
        damage(bytes);
        EXPECT_TRUE(FileServices::writeFileAtomically(user, bytes));
        return user;
    }

    static void edit(const TAVImageObjectPtr& image, const QString& key, const QString& value)
    {
        image->exifData()->setValue(value, key, 0, false, false, true);
    }

    // The save fails, says `why`, and the user's file keeps every byte.
    static void expectRefused(const TAVImageObjectPtr& image, const QByteArray& before, const QString& why)
    {
        EXPECT_FALSE(image->saveMetadataToImage());
        EXPECT_TRUE(image->lastSaveFailure().contains(why)) << qPrintable(image->lastSaveFailure());
        EXPECT_EQ(WrittenFileProbe::bytes(image->srcPath()), before);
        EXPECT_EQ(FileServices::contentsOfFolder(QFileInfo(image->srcPath()).absolutePath()),
            QStringList{QFileInfo(image->srcPath()).fileName()});
    }
};

// The tags of `prefix` groups ("IPTC:") that exiftool reads.
QJsonObject tagsOf(const QString& path, const QString& prefix)
{
    QJsonObject result;
    const QJsonObject tags = ExifTool::read(path);
    for (auto it = tags.begin(); it != tags.end(); ++it) {
        if (it.key().startsWith(prefix))
            result.insert(it.key(), it.value());
    }
    return result;
}

// The datasets of the first IPTC resource, as offsets of their length fields.
QList<qsizetype> iptcLengthFields(const QByteArray& jpeg)
{
    QList<qsizetype> fields;
    const qsizetype resource = jpeg.indexOf(QByteArray("8BIM\x04\x04", 6));
    if (resource < 0)
        return fields;
    const qsizetype sizeAt = resource + 6 + ((uint8_t(jpeg[resource + 6]) + 2) & ~1);
    const qsizetype end = sizeAt + 4 + qFromBigEndian<quint32>(jpeg.constData() + sizeAt);
    for (qsizetype at = sizeAt + 4; at + 5 <= end && jpeg[at] == 0x1C;) {
        fields.append(at + 3);
        at += 5 + qFromBigEndian<quint16>(jpeg.constData() + at + 3);
    }
    return fields;
}

// The offset of the IFD0 entry `tag` of a JPEG's little-endian EXIF block.
qsizetype ifd0Entry(const QByteArray& jpeg, uint16_t tag)
{
    const qsizetype tiff = jpeg.indexOf(QByteArray("Exif\0\0II", 8)) + 6;
    if (tiff < 6)
        return -1;
    const qsizetype directory = tiff + qFromLittleEndian<quint32>(jpeg.constData() + tiff + 4);
    const int count = qFromLittleEndian<quint16>(jpeg.constData() + directory);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = directory + 2 + 12 * i;
        if (qFromLittleEndian<quint16>(jpeg.constData() + entry) == tag)
            return entry;
    }
    return -1;
}

} // namespace

// One corrupted segment length (a quantisation or Huffman table declared
// 65535 bytes long, a frame header's length off by a few bytes) hides where
// the picture is: the library would write the file without most of it. In a
// small file the table runs past its end, and the library cannot read it.
TEST_F(DamagedFilesSaveTest, AJpegWhosePictureCannotBeLocatedIsRefused)
{
    struct Damage {
        const char* sample;
        uint8_t marker;
        std::function<uint16_t(uint16_t)> length;
        const char* why;
    };
    const auto longest = [](uint16_t) { return uint16_t(65535); };
    const char* const unlocated = "its picture data cannot be located";
    const Damage damages[] = {
        {"npm-iphone6p.jpg", 0xDB, longest, unlocated},
        {"npm-lumia.jpg", 0xC4, longest, unlocated},
        {"npm-canon-s40.jpg", 0xC0, [](uint16_t length) { return uint16_t(length + 3); }, unlocated},
        {"npm-windows-xmp.jpg", 0xDB, longest, "the file's metadata could not be read: "},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.sample);
        const QString user = damagedSample(damage.sample, [&](QByteArray& bytes) {
            const qsizetype at = segmentAt(bytes, damage.marker);
            ASSERT_GT(at, 0);
            setBig16(bytes, at + 2, damage.length(qFromBigEndian<quint16>(bytes.constData() + at + 2)));
        });
        const QByteArray before = WrittenFileProbe::bytes(user);
        const auto image = openWorkingCopy(user);
        edit(image, "Exif.Image.Artist", "Lumetta Tester");
        expectRefused(image, before, damage.why);
        QFile::remove(user);
    }
}

// An IPTC block whose last dataset claims more bytes than the block holds:
// the library reads no dataset of it, other programs read all but that one.
// An edit elsewhere keeps the block byte for byte; an IPTC edit, which the
// library would write into an otherwise empty block, is refused.
TEST_F(DamagedFilesSaveTest, AnIptcBlockTheLibraryCannotReadIsKeptOrTheSaveRefused)
{
    const QString user = damagedSample("gowebp-pentax.jpg", [](QByteArray& bytes) {
        const QList<qsizetype> fields = iptcLengthFields(bytes);
        ASSERT_GE(fields.size(), 9);
        setBig16(bytes, fields.last(), 0x4000);
    });
    const QJsonObject iptcBefore = tagsOf(user, "IPTC:");
    ASSERT_GE(iptcBefore.size(), 9);

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(user).value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tagsOf(user, "IPTC:"), iptcBefore);

    const QByteArray saved = WrittenFileProbe::bytes(user);
    edit(image, "Iptc.Application2.ObjectName", "Coast");
    expectRefused(image, saved, "IPTC block is damaged");
}

// IFD0's pointer to the EXIF directory typed UNDEFINED instead of LONG: the
// library does not follow it, other programs do. An IPTC edit keeps the EXIF
// block byte for byte, with the maker note; an EXIF edit is refused.
TEST_F(DamagedFilesSaveTest, AnExifDirectoryTheLibraryCannotFollowIsKeptOrTheSaveRefused)
{
    const QString user = damagedSample("npm-canon-s40.jpg", [](QByteArray& bytes) {
        const qsizetype entry = ifd0Entry(bytes, 0x8769);
        ASSERT_GT(entry, 0);
        ASSERT_EQ(qFromLittleEndian<quint16>(bytes.constData() + entry + 2), 4);
        qToLittleEndian<quint16>(7, bytes.data() + entry + 2);
    });
    const QJsonObject exifBefore = tagsOf(user, "ExifIFD:");
    const QJsonObject makerBefore = tagsOf(user, "Canon:");
    ASSERT_GE(exifBefore.size(), 20);
    ASSERT_GE(makerBefore.size(), 20);
    const QByteArray before = WrittenFileProbe::bytes(user);

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    expectRefused(image, before, "EXIF directory Exif.Image.ExifTag");

    ASSERT_TRUE(QFile::remove(tempPath("work/npm-canon-s40.jpg")));
    const auto second = openWorkingCopy(user);
    edit(second, "Iptc.Application2.ObjectName", "Harbour");
    ASSERT_TRUE(second->saveMetadataToImage()) << qPrintable(second->lastSaveFailure());
    EXPECT_EQ(ExifTool::read(user).value("IPTC:ObjectName").toString(), QString("Harbour"));
    EXPECT_EQ(tagsOf(user, "ExifIFD:"), exifBefore);
    EXPECT_EQ(tagsOf(user, "Canon:"), makerBefore);
}

// A camera file whose EXIF block already nearly fills its 64 KB segment: an
// edit that makes it outgrow the segment is refused and says so; one that
// still fits is saved.
TEST_F(DamagedFilesSaveTest, AnEditThatOutgrowsTheExifSegmentSaysSo)
{
    const QString user = ImageFixtures::copySample("npm-canon-s40.jpg", tempPath("user"));
    const QString long19k(19000, 'a');
    ASSERT_TRUE(ImageFixtures::writeTags(user,
        {{"Exif.Image.ImageDescription", long19k, std::nullopt}, {"Exif.Image.Copyright", long19k, std::nullopt},
            {"Exif.Image.Artist", long19k, std::nullopt},
            {"Exif.Image.DocumentName", QString(1700, 'n'), std::nullopt}}));
    const QByteArray before = WrittenFileProbe::bytes(user);
    const qsizetype exifSegment = before.indexOf(QByteArray("Exif\0\0", 6)) - 2;
    ASSERT_GT(qFromBigEndian<quint16>(before.constData() + exifSegment), 65400);

    const auto image = openWorkingCopy(user);
    edit(image, "Exif.Image.Artist", long19k + QString(100, 'b'));
    expectRefused(image, before, "the metadata no longer fits in the file's EXIF segment");

    edit(image, "Exif.Image.Artist", "Lumetta Tester");
    ASSERT_TRUE(image->saveMetadataToImage()) << qPrintable(image->lastSaveFailure());
    const QJsonObject tags = ExifTool::read(user);
    EXPECT_EQ(tags.value("IFD0:Artist").toString(), QString("Lumetta Tester"));
    EXPECT_EQ(tags.value("IFD0:DocumentName").toString(), QString(1700, 'n'));
}
